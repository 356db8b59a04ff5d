# Configures the consumer project against the installed prefix alone
# (find_package through CMAKE_PREFIX_PATH), builds it and runs it.
#
#   -DSOURCE_DIR=  the consumer project
#   -DBINARY_DIR=  its build folder, emptied first
#   -DPREFIX=      the install prefix
#   -DLIBDIR= -DHOSTLIBDIR=   where the reader and the stand-ins sit in it
#   -DGENERATOR= -DMAKE_PROGRAM= -DCXX_COMPILER= -DEMULATOR=   the toolchain of our build
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(SOURCE_DIR BINARY_DIR PREFIX LIBDIR HOSTLIBDIR GENERATOR MAKE_PROGRAM CXX_COMPILER)

file(REMOVE_RECURSE "${BINARY_DIR}")
vscr_run("configure of the consumer"
  COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${BINARY_DIR}"
          -G "${GENERATOR}" "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}"
          "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" -DCMAKE_BUILD_TYPE=Release
          "-DCMAKE_PREFIX_PATH=${PREFIX}")
vscr_run("build of the consumer" COMMAND ${CMAKE_COMMAND} --build "${BINARY_DIR}")
# CMake's build RUNPATH finds the reader in the prefix; the reader's own
# RUNPATH must find the host libraries in Base64.
vscr_run("the consumer"
  COMMAND ${vscr_emulator} "${BINARY_DIR}/consumer" "${PREFIX}/${LIBDIR}" "${PREFIX}/${HOSTLIBDIR}"
  OUTPUT_VARIABLE output)
message(STATUS "${output}")
