# Checks what the fixture installed: the library under its three names, the
# header, the CMake package, the pkg-config file, the stand-ins in Base64,
# and the dynamic section that a host's loader reads.
#
#   -DPREFIX= -DLIBDIR= -DINCLUDEDIR= -DHOSTLIBDIR=  the install layout
#   -DHOST_SONAMES=           the host libraries' SONAMEs, comma-separated
#   -DVERSION= -DSOVERSION=   the library's version and SONAME version
#   -DHEADER=                 the public header in the source tree
#   -DREADELF=                readelf
#   -DSAMPLEDIR=              where the tools' sample goes, when they are built
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(PREFIX LIBDIR INCLUDEDIR HOSTLIBDIR HOST_SONAMES VERSION SOVERSION HEADER READELF)
string(REPLACE "," ";" host_sonames "${HOST_SONAMES}")

set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()

set(lib "${PREFIX}/${LIBDIR}")
set(name libVivodStubCollectReader.so)
set(runtime "${lib}/${name}.${VERSION}")
if(NOT EXISTS "${runtime}" OR IS_SYMLINK "${runtime}")
  fail("${runtime} is not a regular file")
endif()
# The loader looks for the SONAME, the link editor for the plain name.
foreach(link_and_target IN ITEMS "${name}.${SOVERSION}=${name}.${VERSION}"
                                 "${name}=${name}.${SOVERSION}")
  string(REPLACE "=" ";" pair "${link_and_target}")
  list(GET pair 0 link)
  list(GET pair 1 target)
  if(NOT IS_SYMLINK "${lib}/${link}")
    fail("${lib}/${link} is not a symbolic link")
  else()
    file(READ_SYMLINK "${lib}/${link}" actual)
    if(NOT actual STREQUAL target)
      fail("${lib}/${link} points to ${actual}, not ${target}")
    endif()
  endif()
endforeach()

# The tools' sample, where an installed collect-walk looks for it.
if(DEFINED SAMPLEDIR)
  foreach(file IN ITEMS archived-files.lst stub-collect.txt)
    if(NOT EXISTS "${PREFIX}/${SAMPLEDIR}/${file}")
      fail("${PREFIX}/${SAMPLEDIR}/${file} is missing")
    endif()
  endforeach()
endif()

# The public header and the walker beside it, as they are in the source tree.
cmake_path(GET HEADER PARENT_PATH header_dir)
foreach(name IN ITEMS VivodStubCollectReader.h VivodStubCollectWalk.h)
  set(header "${PREFIX}/${INCLUDEDIR}/${name}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${header_dir}/${name}" "${header}"
    RESULT_VARIABLE differs OUTPUT_QUIET ERROR_QUIET)
  if(differs)
    fail("${header} is missing or differs from ${header_dir}/${name}")
  endif()
endforeach()

set(package "${lib}/cmake/VivodStubCollectReader")
foreach(file IN ITEMS VivodStubCollectReaderConfig.cmake
                      VivodStubCollectReaderConfigVersion.cmake
                      VivodStubCollectReaderTargets.cmake)
  if(NOT EXISTS "${package}/${file}")
    fail("${package}/${file} is missing")
  endif()
endforeach()
if(NOT EXISTS "${lib}/pkgconfig/vivodstubcollectreader.pc")
  fail("${lib}/pkgconfig/vivodstubcollectreader.pc is missing")
endif()

# A consumer of the package must not be asked for our stand-ins: a host
# brings its own host libraries.
file(GLOB targets_files "${package}/VivodStubCollectReaderTargets*.cmake")
foreach(file IN LISTS targets_files)
  file(READ "${file}" text)
  if(text MATCHES "KaUtils|LmLib|Divorar|vscr_")
    fail("${file} names a target of our build: ${CMAKE_MATCH_0}")
  endif()
endforeach()

foreach(library IN LISTS host_sonames)
  if(NOT EXISTS "${PREFIX}/${HOSTLIBDIR}/${library}")
    fail("${PREFIX}/${HOSTLIBDIR}/${library} is missing")
  endif()
endforeach()

if(EXISTS "${runtime}")
  vscr_run("readelf" COMMAND ${READELF} -d "${runtime}" OUTPUT_VARIABLE dynamic)
  set(expected_lines
    "Library soname: [${name}.${SOVERSION}]"
    "Library runpath: [$ORIGIN:$ORIGIN/../Base64]")
  foreach(library IN LISTS host_sonames)
    list(APPEND expected_lines "Shared library: [${library}]")
  endforeach()
  foreach(line IN LISTS expected_lines)
    string(FIND "${dynamic}" "${line}" at)
    if(at EQUAL -1)
      fail("the dynamic section lacks ${line}")
    endif()
  endforeach()
  if(dynamic MATCHES "\\(RPATH\\)")
    fail("DT_RPATH set: it would outrank LD_LIBRARY_PATH, which hosts rely on")
  endif()
endif()

if(failures)
  message(FATAL_ERROR "The installed tree under ${PREFIX} is wrong:${failures}")
endif()
