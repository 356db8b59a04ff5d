# Configures the project with the fuzz build's scaled-down line limits
# (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION): with the install rules the
# configuration must fail, so that no such library is installed or packaged;
# without them, as the fuzz preset has it, it must succeed.
#
#   -DSOURCE_DIR=  the project
#   -DWORK_DIR=    scratch space, emptied first
#   -DGENERATOR=   the CMake generator
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(SOURCE_DIR WORK_DIR GENERATOR)

file(REMOVE_RECURSE "${WORK_DIR}")
set(failures "")
foreach(install ON OFF)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/install-${install}" -G "${GENERATOR}"
            -DCMAKE_CXX_FLAGS=-DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
            -DVSCR_INSTALL=${install} -DVSCR_BUILD_TESTS=OFF -DVSCR_BUILD_TOOLS=OFF
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \n]+" " " flat "${output}")
  string(FIND "${flat}" "such a build is for fuzzing only and needs -DVSCR_INSTALL=OFF" refused)
  if(install AND (result EQUAL 0 OR refused EQUAL -1))
    string(APPEND failures "\n  with the install rules it was not refused:\n${output}")
  elseif(NOT install AND NOT result EQUAL 0)
    string(APPEND failures "\n  without the install rules it failed:\n${output}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "Scaled-down limits must never reach an install:${failures}")
endif()
