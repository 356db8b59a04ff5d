# Test: the host loop of examples/ (-DHOST_LOOP) on the sample list of
# archived files (-DSAMPLE) walks the whole collect file once; then, in a
# fresh work dir (below -DWORK_DIR), it stops after -DSTOP_AFTER results and
# a second run goes on from the stored progress. The two runs together print
# what the whole walk printed, and the finished job leaves no progress.
# With -DSOURCE_DIR (examples/) and -DPREFIX instead of -DHOST_LOOP, it first
# builds examples/ on its own against the install, with -DGENERATOR,
# -DMAKE_PROGRAM and -DCXX_COMPILER, as the README tells a host to. In a
# cross build the program runs under -DEMULATOR.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../install/Common.cmake)
vscr_require(SAMPLE WORK_DIR STOP_AFTER)

if(DEFINED SOURCE_DIR)
  vscr_require(PREFIX GENERATOR MAKE_PROGRAM CXX_COMPILER)
  file(REMOVE_RECURSE "${WORK_DIR}/build")
  vscr_run("configure of examples/ against ${PREFIX}"
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build"
            -G "${GENERATOR}" "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}"
            "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_PREFIX_PATH=${PREFIX}")
  vscr_run("build of examples/" COMMAND ${CMAKE_COMMAND} --build "${WORK_DIR}/build")
  set(HOST_LOOP "${WORK_DIR}/build/host-loop")
endif()
vscr_require(HOST_LOOP)

# Runs the program in `dir`, its standard output and error into `out_var`:
# the sample has no line to skip, so nothing may come on standard error.
function(host_loop out_var dir)
  execute_process(COMMAND ${vscr_emulator} "${HOST_LOOP}" "${SAMPLE}" "${dir}" ${ARGN}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "host-loop ${ARGN} failed (${result}):\n${output}${errors}")
  endif()
  set(${out_var} "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}/whole" "${WORK_DIR}/paused")
file(MAKE_DIRECTORY "${WORK_DIR}/whole" "${WORK_DIR}/paused")

host_loop(whole "${WORK_DIR}/whole")
string(REGEX MATCHALL "\n" feeds "${whole}")
list(LENGTH feeds records)
if(records LESS_EQUAL STOP_AFTER)
  message(FATAL_ERROR "the sample gave ${records} records, not more than ${STOP_AFTER}:\n${whole}")
endif()

host_loop(first "${WORK_DIR}/paused" ${STOP_AFTER})
if(NOT EXISTS "${WORK_DIR}/paused/progress")
  message(FATAL_ERROR "a paused run stored no progress")
endif()
host_loop(rest "${WORK_DIR}/paused")
if(NOT "${first}${rest}" STREQUAL "${whole}")
  message(FATAL_ERROR "paused and resumed:\n${first}--- resumed:\n${rest}--- whole walk:\n${whole}")
endif()
foreach(dir whole paused)
  if(EXISTS "${WORK_DIR}/${dir}/progress")
    message(FATAL_ERROR "a finished job left ${WORK_DIR}/${dir}/progress behind")
  endif()
endforeach()
message(STATUS "${records} records; paused after ${STOP_AFTER} and resumed: the same walk")
