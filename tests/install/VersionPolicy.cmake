# Checks that the installed package accepts a request for the same major
# version, up to its own minor version, and refuses every other: the class
# layout may change with the major version only.
#
#   -DSOURCE_DIR=  the version probe project
#   -DBINARY_DIR=  a scratch folder
#   -DPREFIX= -DLIBDIR=   the install prefix and its library folder
#   -DVERSION=     the installed version, major.minor.patch
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(SOURCE_DIR BINARY_DIR PREFIX LIBDIR VERSION)

string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
math(EXPR next_major "${major} + 1")
math(EXPR next_minor "${minor} + 1")
set(accepted "${major}" "${major}.${minor}" "${VERSION}")
set(refused "${next_major}" "${major}.${next_minor}")
if(major GREATER 0)
  math(EXPR previous_major "${major} - 1")
  list(APPEND refused "${previous_major}.99")
endif()

# Named directly: the search itself is the consumer tests' business, and a
# project without languages would not look in a multiarch lib/<triplet>.
set(package_dir "${PREFIX}/${LIBDIR}/cmake/VivodStubCollectReader")
if(NOT EXISTS "${package_dir}/VivodStubCollectReaderConfigVersion.cmake")
  message(FATAL_ERROR "no version file in ${package_dir}")
endif()

set(failures "")
foreach(requested IN LISTS accepted refused)
  set(probe "${BINARY_DIR}/${requested}")
  file(REMOVE_RECURSE "${probe}")
  vscr_run("version probe for ${requested}"
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${probe}"
            "-DVivodStubCollectReader_DIR=${package_dir}"
            "-DPROBE_VERSION=${requested}"
    OUTPUT_VARIABLE output)
  if(output MATCHES "probe: accepted ([^\n]*)")
    set(answer accepted)
    if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
      string(APPEND failures "\n  ${requested}: found version ${CMAKE_MATCH_1}")
    endif()
  else()
    set(answer refused)
  endif()
  if(requested IN_LIST accepted)
    set(expected accepted)
  else()
    set(expected refused)
  endif()
  if(NOT answer STREQUAL expected)
    string(APPEND failures "\n  a request for ${requested} was ${answer}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The installed ${VERSION} package:${failures}")
endif()
message(STATUS "accepted: ${accepted}; refused: ${refused}")
