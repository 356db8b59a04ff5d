# Test fixture: a fresh install of the build into PREFIX, the way a host
# team installs it, which holds no host library: a host brings its own.
# Then host libraries go into their Base64 folder, so that programs built
# against the prefix can run: our stand-ins, through their own install
# component, or the SDK's libraries when the build used one.
#
#   -DBUILD_DIR=  the build tree to install
#   -DPREFIX=     the install prefix, emptied first
#   -DHOSTLIBDIR= the host libraries' folder under the prefix
#   -DHOST_SONAMES= the names the reader asks the loader for, comma-separated
#   -DHOST_SDK_DIR= the build's VSCR_HOST_SDK_DIR, may be empty
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Common.cmake)
vscr_require(BUILD_DIR PREFIX HOSTLIBDIR HOST_SONAMES HOST_SDK_DIR)

file(REMOVE_RECURSE "${PREFIX}")
vscr_run("install" COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}")
file(GLOB_RECURSE strays "${PREFIX}/*libKaUtils*" "${PREFIX}/*libLmLib*" "${PREFIX}/*libDivorar*")
if(strays)
  message(FATAL_ERROR "the install holds host libraries: ${strays}")
endif()

if(HOST_SDK_DIR)
  # As the host team does: its own libraries into their folder, under the
  # names the loader looks for (an SDK may version them: libKaUtils.so.3).
  string(REPLACE "," ";" sonames "${HOST_SONAMES}")
  file(MAKE_DIRECTORY "${PREFIX}/${HOSTLIBDIR}")
  foreach(library soname IN ZIP_LISTS sonames sonames)
    string(REGEX REPLACE "\\.so.*$" ".so" library "${library}")
    file(REAL_PATH "${HOST_SDK_DIR}/lib/${library}" sdk_file)
    file(COPY_FILE "${sdk_file}" "${PREFIX}/${HOSTLIBDIR}/${soname}")
  endforeach()
else()
  vscr_run("install of the stand-ins"
    COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
            --component VscrHostStandins)
endif()
