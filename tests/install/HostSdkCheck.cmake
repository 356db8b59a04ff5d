# Configures the project against host SDK folders that each lack one file,
# and requires every configuration to fail with a message naming that file.
#
#   -DSOURCE_DIR=  the project
#   -DWORK_DIR=    scratch space, emptied first
#   -DGENERATOR=   the CMake generator
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(SOURCE_DIR WORK_DIR GENERATOR)

set(files include/KaString.h include/FetchIndexInfo.h include/EvDebug.h
          lib/libKaUtils.so lib/libLmLib.so lib/libDivorar.so)
file(REMOVE_RECURSE "${WORK_DIR}")
set(failures "")
foreach(missing IN LISTS files)
  string(MAKE_C_IDENTIFIER "${missing}" case)
  set(sdk "${WORK_DIR}/${case}/sdk")
  foreach(file IN LISTS files)
    if(NOT file STREQUAL missing)
      file(WRITE "${sdk}/${file}" "")
    endif()
  endforeach()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/${case}/build" -G "${GENERATOR}"
            -DVSCR_HOST_SDK_DIR=${sdk} -DVSCR_BUILD_TESTS=OFF
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  # CMake wraps long messages at blanks; the path itself stays whole.
  string(REGEX REPLACE "[ \n]+" " " flat "${output}")
  string(FIND "${flat}" "${sdk}/${missing} is missing" named)
  if(result EQUAL 0)
    string(APPEND failures "\n  without ${missing} the configuration succeeded")
  elseif(named EQUAL -1)
    string(APPEND failures "\n  without ${missing} it failed, but not naming it:\n${output}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "A host SDK that lacks a file must fail at configure time:${failures}")
endif()
