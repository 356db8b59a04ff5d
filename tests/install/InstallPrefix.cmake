# Test fixture: a fresh install of the build into PREFIX, the way a host
# team installs it, with host libraries added in their Base64 folder so that
# programs built against the prefix can run: our stand-ins, or the SDK's own
# libraries when the build used one.
#
#   -DBUILD_DIR=  the build tree to install
#   -DPREFIX=     the install prefix, emptied first
#   -DHOSTLIBDIR= the host libraries' folder under the prefix
#   -DHOST_SONAMES= the names the reader asks the loader for, comma-separated
#   -DSTANDINS_BY_DEFAULT=  the build's VSCR_INSTALL_STANDINS
#   -DHOST_SDK_DIR=         the build's VSCR_HOST_SDK_DIR, may be empty
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(BUILD_DIR PREFIX HOSTLIBDIR HOST_SONAMES STANDINS_BY_DEFAULT HOST_SDK_DIR)

file(REMOVE_RECURSE "${PREFIX}")
vscr_run("install" COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}")

# No host library is installed unless asked for: a host brings its own, and
# a build against a host SDK has nothing else to install.
set(host_libraries libKaUtils.so libLmLib.so libDivorar.so)
foreach(library IN LISTS host_libraries)
  set(path "${PREFIX}/${HOSTLIBDIR}/${library}")
  if(HOST_SDK_DIR)
    if(EXISTS "${path}")
      message(FATAL_ERROR "built against the host SDK ${HOST_SDK_DIR}, yet ${path} was installed")
    endif()
  elseif(STANDINS_BY_DEFAULT AND NOT EXISTS "${path}")
    message(FATAL_ERROR "VSCR_INSTALL_STANDINS is on, yet ${path} was not installed")
  elseif(NOT STANDINS_BY_DEFAULT AND EXISTS "${path}")
    message(FATAL_ERROR "VSCR_INSTALL_STANDINS is off, yet ${path} was installed")
  endif()
endforeach()

if(HOST_SDK_DIR)
  # As the host team does: its own libraries into their folder, under the
  # names the loader looks for (an SDK may version them: libKaUtils.so.3).
  file(MAKE_DIRECTORY "${PREFIX}/${HOSTLIBDIR}")
  string(REPLACE "," ";" sonames "${HOST_SONAMES}")
  foreach(library soname IN ZIP_LISTS host_libraries sonames)
    file(REAL_PATH "${HOST_SDK_DIR}/lib/${library}" sdk_file)
    file(COPY_FILE "${sdk_file}" "${PREFIX}/${HOSTLIBDIR}/${soname}")
  endforeach()
else()
  vscr_run("install of the stand-ins"
    COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
            --component VscrHostStandins)
endif()
