# Checks what the fixture installed: the library under its three names, the
# headers, the CMake package, the pkg-config file, the host libraries in
# Base64, the dynamic section that a host's loader reads, and the programs,
# which must run from bin/ with their RUNPATH alone, their sample and the
# documents.
#
#   -DPREFIX= -DLIBDIR= -DINCLUDEDIR= -DHOSTLIBDIR= -DBINDIR= -DDOCDIR=
#                             the install layout
#   -DHOST_SONAMES=           the host libraries' SONAMEs, comma-separated
#   -DVERSION= -DSOVERSION=   the library's version and SONAME version
#   -DHEADER_DIR=             the public headers in the source tree
#   -DPROGRAMS=               the programs the build made, comma-separated
#   -DSAMPLEDIR=              where collect-walk's sample goes
#   -DREADELF=                readelf
#   -DEMULATOR=               the build's emulator, in a cross build (Common.cmake)
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(PREFIX LIBDIR INCLUDEDIR HOSTLIBDIR BINDIR DOCDIR HOST_SONAMES VERSION SOVERSION
  HEADER_DIR PROGRAMS SAMPLEDIR READELF)
string(REPLACE "," ";" host_sonames "${HOST_SONAMES}")
string(REPLACE "," ";" programs "${PROGRAMS}")
set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()
function(expect_files)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS "${PREFIX}/${file}")
      fail("${PREFIX}/${file} is missing")
    endif()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

# The loader looks for the SONAME, the link editor for the plain name.
set(name ${LIBDIR}/libVivodStubCollectReader.so)
set(links ${name} ${name}.${SOVERSION})
set(targets ${name}.${SOVERSION} ${name}.${VERSION})
foreach(link target IN ZIP_LISTS links targets)
  set(actual "(no link)")
  if(IS_SYMLINK "${PREFIX}/${link}")
    file(READ_SYMLINK "${PREFIX}/${link}" actual)
  endif()
  cmake_path(GET target FILENAME target)
  if(NOT actual STREQUAL target)
    fail("${link} points to '${actual}', not ${target}")
  endif()
endforeach()
set(package ${LIBDIR}/cmake/VivodStubCollectReader/VivodStubCollectReader)
expect_files(${name}.${VERSION} ${package}Config.cmake ${package}ConfigVersion.cmake
  ${package}Targets.cmake ${LIBDIR}/pkgconfig/vivodstubcollectreader.pc
  ${DOCDIR}/README.md ${DOCDIR}/copyright)
list(TRANSFORM host_sonames PREPEND "${HOSTLIBDIR}/" OUTPUT_VARIABLE host_libraries)
expect_files(${host_libraries})
foreach(header IN ITEMS VivodStubCollectReader.h VivodStubCollectWalk.h)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${HEADER_DIR}/${header}"
    "${PREFIX}/${INCLUDEDIR}/${header}" RESULT_VARIABLE differs OUTPUT_QUIET ERROR_QUIET)
  if(differs)
    fail("${INCLUDEDIR}/${header} is missing or differs from ${HEADER_DIR}/${header}")
  endif()
endforeach()
# A consumer of the package must not be asked for our stand-ins: a host
# brings its own host libraries.
file(GLOB targets_files "${PREFIX}/${package}Targets*.cmake")
foreach(file IN LISTS targets_files)
  file(READ "${file}" text)
  if(text MATCHES "KaUtils|LmLib|Divorar|vscr_")
    fail("${file} names a target of our build: ${CMAKE_MATCH_0}")
  endif()
endforeach()

if(EXISTS "${PREFIX}/${name}.${VERSION}")
  vscr_run("readelf" COMMAND ${READELF} -d "${PREFIX}/${name}.${VERSION}" OUTPUT_VARIABLE dynamic)
  list(TRANSFORM host_sonames REPLACE "(.+)" "Shared library: [\\1]" OUTPUT_VARIABLE lines)
  foreach(line IN ITEMS "Library soname: [libVivodStubCollectReader.so.${SOVERSION}]"
                        "Library runpath: [$ORIGIN:$ORIGIN/../Base64]" ${lines})
    string(FIND "${dynamic}" "${line}" at)
    if(at EQUAL -1)
      fail("the library's dynamic section lacks ${line}")
    endif()
  endforeach()
  if(dynamic MATCHES "\\(RPATH\\)")
    fail("DT_RPATH set: it would outrank LD_LIBRARY_PATH, which hosts rely on")
  endif()
endif()

# A program that found a library through the build tree or the environment
# would prove nothing: its RUNPATH must name folders beside it only.
if("collect-walk" IN_LIST programs)
  expect_files(${SAMPLEDIR}/archived-files.lst ${SAMPLEDIR}/stub-collect.txt)
endif()
foreach(program IN LISTS programs)
  set(path "${PREFIX}/${BINDIR}/${program}")
  vscr_run("readelf" COMMAND ${READELF} -d "${path}" OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "Library runpath: \\[([^]\n]*)\\]")
    fail("${program} has no RUNPATH")
  elseif(CMAKE_MATCH_1 MATCHES "(^|:)[^$]")
    fail("${program}'s RUNPATH names a folder outside the install: ${CMAKE_MATCH_1}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${vscr_emulator} "${path}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(program STREQUAL "vscr-host-check" AND (NOT output MATCHES "host contract: ([0-9]+) of ([0-9]+) hold\n?$"
     OR NOT CMAKE_MATCH_1 EQUAL CMAKE_MATCH_2))
    set(result "not every check holds")
  endif()
  if(NOT result EQUAL 0)
    fail("the installed ${program} failed (${result}):\n${output}${errors}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The installed tree under ${PREFIX} is wrong:${failures}")
endif()
