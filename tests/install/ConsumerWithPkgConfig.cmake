# Builds the consumer's main.cpp with the compiler directly, taking every
# path and library from `pkg-config --cflags --libs`, and runs it. The link
# editor must resolve the reader's host libraries through the reader's own
# RUNPATH: nothing here points at Base64.
#
#   -DPKG_CONFIG=   pkg-config, empty when the machine lacks it
#   -DSOURCE=       the consumer's main.cpp
#   -DOUTPUT=       the program to build
#   -DPREFIX= -DLIBDIR= -DHOSTLIBDIR=   the install layout
#   -DCXX_COMPILER=  the compiler of our build
#   -DVERSION=       the version the .pc file must state
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(PKG_CONFIG SOURCE OUTPUT PREFIX LIBDIR HOSTLIBDIR CXX_COMPILER VERSION)

if(NOT PKG_CONFIG)
  message(FATAL_ERROR "pkg-config not found (Debian: apt-get install pkg-config)")
endif()
set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
set(module vivodstubcollectreader)

vscr_run("pkg-config --modversion"
  COMMAND ${PKG_CONFIG} --modversion ${module} OUTPUT_VARIABLE modversion)
string(STRIP "${modversion}" modversion)
if(NOT modversion STREQUAL VERSION)
  message(FATAL_ERROR "the .pc file states version '${modversion}', not ${VERSION}")
endif()

vscr_run("pkg-config --cflags --libs"
  COMMAND ${PKG_CONFIG} --cflags --libs ${module} OUTPUT_VARIABLE flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
vscr_run("pkg-config --variable=libdir"
  COMMAND ${PKG_CONFIG} --variable=libdir ${module} OUTPUT_VARIABLE libdir)
string(STRIP "${libdir}" libdir)

file(REMOVE "${OUTPUT}")
vscr_run("build of the consumer"
  COMMAND ${CXX_COMPILER} -Wall -Wextra -Wpedantic -Werror
          "${SOURCE}" ${flags} -o "${OUTPUT}")
# A .pc file carries no run path; the host's start script sets one.
vscr_run("the consumer"
  COMMAND ${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${libdir}"
          ${vscr_emulator} "${OUTPUT}" "${PREFIX}/${LIBDIR}" "${PREFIX}/${HOSTLIBDIR}"
  OUTPUT_VARIABLE output)
message(STATUS "${output}")

# A compiler whose default is C++14 (RHEL 8's g++ 8) meets the walker's
# header: it says at once that it needs C++17, and nothing else.
vscr_run("pkg-config --cflags"
  COMMAND ${PKG_CONFIG} --cflags ${module} OUTPUT_VARIABLE cflags)
separate_arguments(cflags UNIX_COMMAND "${cflags}")
file(WRITE "${OUTPUT}-walk.cpp" "#include \"VivodStubCollectWalk.h\"\n")
foreach(standard IN ITEMS c++14 c++17)
  execute_process(COMMAND ${CXX_COMPILER} -std=${standard} -fsyntax-only ${cflags}
                          "${OUTPUT}-walk.cpp"
    RESULT_VARIABLE result OUTPUT_VARIABLE errors ERROR_VARIABLE errors)
  string(REGEX MATCHALL "error:" told "${errors}")
  list(LENGTH told told)
  if(standard STREQUAL "c++17" AND NOT result EQUAL 0)
    message(FATAL_ERROR "the walker's header does not build as C++17:\n${errors}")
  elseif(standard STREQUAL "c++14" AND NOT (told EQUAL 1 AND errors MATCHES "needs C\\+\\+17"))
    message(FATAL_ERROR "as C++14 the walker's header should stop with one #error naming C++17:\n${errors}")
  endif()
endforeach()
