# Checks what the fixture installed beside the library: the operator
# programs, which must run from bin/ with nothing but their RUNPATH to find
# the reader and the host libraries (installed in HOSTLIBDIR by the fixture),
# the sample collect-walk walks, and the README and copyright notice.
#
#   -DPREFIX= -DBINDIR= -DDATADIR= -DDOCDIR=   the install layout
#   -DPROGRAMS=  the programs the build made, comma-separated
#   -DREADELF=   readelf
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(PREFIX BINDIR DATADIR DOCDIR PROGRAMS READELF)
string(REPLACE "," ";" programs "${PROGRAMS}")

set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()

set(documents "${DOCDIR}/README.md" "${DOCDIR}/copyright")
if("collect-walk" IN_LIST programs)
  list(APPEND documents "${DATADIR}/VivodStubCollectReader/sample/archived-files.lst"
                        "${DATADIR}/VivodStubCollectReader/sample/stub-collect.txt")
endif()
foreach(file IN LISTS documents)
  if(NOT EXISTS "${PREFIX}/${file}")
    fail("${PREFIX}/${file} is missing")
  endif()
endforeach()
if(EXISTS "${PREFIX}/${DOCDIR}/copyright")
  file(READ "${PREFIX}/${DOCDIR}/copyright" copyright)
  if(NOT copyright MATCHES "All rights reserved")
    fail("${PREFIX}/${DOCDIR}/copyright does not say All rights reserved")
  endif()
endif()

# A program that found a library through the build tree or the environment
# would prove nothing: its RUNPATH must name folders beside it only.
set(bin "${PREFIX}/${BINDIR}")
foreach(program IN LISTS programs)
  if(NOT EXISTS "${bin}/${program}")
    fail("${bin}/${program} is missing")
    continue()
  endif()
  vscr_run("readelf" COMMAND ${READELF} -d "${bin}/${program}" OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "Library runpath: \\[([^]\n]*)\\]")
    fail("${program} has no RUNPATH")
  elseif(CMAKE_MATCH_1 MATCHES "(^|:)[^$]")
    fail("${program}'s RUNPATH names a folder outside the install: ${CMAKE_MATCH_1}")
  endif()
endforeach()

if("vscr-host-check" IN_LIST programs AND EXISTS "${bin}/vscr-host-check")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
                          "${bin}/vscr-host-check"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT output MATCHES "host contract: ([0-9]+) of ([0-9]+) hold\n?$"
     OR NOT CMAKE_MATCH_1 EQUAL CMAKE_MATCH_2)
    fail("the installed vscr-host-check failed (${result}):\n${output}${errors}")
  endif()
endif()
if("collect-walk" IN_LIST programs AND EXISTS "${bin}/collect-walk")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH "${bin}/collect-walk"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    fail("the installed collect-walk failed to walk its sample (${result}):\n${output}${errors}")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "The installed programs and documents under ${PREFIX} are wrong:${failures}")
endif()
