# Test fixture: a fresh install of the build into PREFIX, the way a host
# team installs it, with the stand-in host libraries added in their Base64
# folder so that programs built against the prefix can run.
#
#   -DBUILD_DIR=  the build tree to install
#   -DPREFIX=     the install prefix, emptied first
#   -DHOSTLIBDIR= the stand-ins' folder under the prefix
#   -DSTANDINS_BY_DEFAULT=  the build's VSCR_INSTALL_STANDINS
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(BUILD_DIR PREFIX HOSTLIBDIR STANDINS_BY_DEFAULT)

file(REMOVE_RECURSE "${PREFIX}")
vscr_run("install" COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}")

# The stand-ins must not shadow a host's own libraries unless asked for.
set(standins libKaUtils.so libLmLib.so libDivorar.so)
foreach(library IN LISTS standins)
  set(path "${PREFIX}/${HOSTLIBDIR}/${library}")
  if(STANDINS_BY_DEFAULT AND NOT EXISTS "${path}")
    message(FATAL_ERROR "VSCR_INSTALL_STANDINS is on, yet ${path} was not installed")
  elseif(NOT STANDINS_BY_DEFAULT AND EXISTS "${path}")
    message(FATAL_ERROR "VSCR_INSTALL_STANDINS is off, yet ${path} was installed")
  endif()
endforeach()

vscr_run("install of the stand-ins"
  COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
          --component VscrHostStandins)
