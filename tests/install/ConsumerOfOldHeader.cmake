# Builds the consumer as a host of release 1.0 would have been built: against
# the 1.0 header, kept in tests/consumer/header-1.0, and linked with the
# installed library. It must load and pass against this 1.x library.
#
#   -DPREFIX= -DLIBDIR=   the install prefix and its library folder
#   -DHOSTLIBDIR=         where the stand-ins sit in it
#   -DSOURCE_DIR=         tests/consumer
#   -DOUTPUT=             the program to build
#   -DCXX_COMPILER=       the compiler of our build
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(PREFIX LIBDIR HOSTLIBDIR SOURCE_DIR OUTPUT CXX_COMPILER)

file(REMOVE "${OUTPUT}")
vscr_run("build of the 1.0 consumer"
  COMMAND ${CXX_COMPILER} -std=c++17 -Wall -Wextra -Wpedantic -Werror
          -DVSCR_CONSUMER_OF_1_0 "-I${SOURCE_DIR}/header-1.0"
          "${SOURCE_DIR}/main.cpp" "-L${PREFIX}/${LIBDIR}" -lVivodStubCollectReader
          "-Wl,-rpath,${PREFIX}/${LIBDIR}" -o "${OUTPUT}")
vscr_run("the 1.0 consumer"
  COMMAND ${vscr_emulator} "${OUTPUT}" "${PREFIX}/${LIBDIR}" "${PREFIX}/${HOSTLIBDIR}"
  OUTPUT_VARIABLE output)
message(STATUS "${output}")
