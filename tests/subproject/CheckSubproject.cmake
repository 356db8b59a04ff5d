# Test: the reader as a sub-project. Configures the parent project in this
# folder three ways (the parent checks the folders, options and targets
# itself), and checks that the reader adds no install rules to the parent's
# install:
# - with a library folder of its own: the library and our stand-ins only;
# - without one, asking for the tools: the tools as well;
# - against a host SDK (headers and libraries that are only names here,
#   since nothing is built): the library alone.
#
#   -DVSCR_SOURCE_DIR=  the reader's source tree
#   -DBINARY_DIR=       a scratch folder, emptied first
#   -DGENERATOR=  -DCXX_COMPILER=
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../install/Common.cmake)
vscr_require(VSCR_SOURCE_DIR BINARY_DIR GENERATOR CXX_COMPILER)

set(sdk "${BINARY_DIR}/sdk")
file(REMOVE_RECURSE "${sdk}")
foreach(file include/KaString.h include/FetchIndexInfo.h include/EvDebug.h
             lib/libKaUtils.so lib/libLmLib.so lib/libDivorar.so)
  file(WRITE "${sdk}/${file}" "")
endforeach()

set(library_and_standins "Divorar;KaUtils;LmLib;VivodStubCollectReader")
foreach(variant own-folder tools host-sdk)
  set(build "${BINARY_DIR}/${variant}")
  file(REMOVE_RECURSE "${build}")
  if(variant STREQUAL "own-folder")
    set(args "-DPARENT_LIBRARY_DIR=${build}/parent-libs")
    set(expected "${library_and_standins}")
  elseif(variant STREQUAL "tools")
    set(args -DVSCR_BUILD_TOOLS=ON)
    set(expected "${library_and_standins};collect-walk;collect_walk_core;vscr-host-check;vscr-host-check-probes;vscr_tool_core")
  else()
    set(args "-DVSCR_HOST_SDK_DIR=${sdk}")
    set(expected "VivodStubCollectReader")
  endif()
  list(SORT expected)
  vscr_run("configure of the parent project (${variant})"
    COMMAND ${CMAKE_COMMAND} -S "${CMAKE_CURRENT_LIST_DIR}" -B "${build}"
            -G "${GENERATOR}" -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
            -DVSCR_SOURCE_DIR=${VSCR_SOURCE_DIR} -DCMAKE_CXX_FLAGS=-fsanitize=address ${args}
            "-DEXPECTED_TARGETS=${expected}")

  file(GLOB_RECURSE install_scripts "${build}/vscr/cmake_install.cmake")
  if(NOT install_scripts)
    message(FATAL_ERROR "no install script under ${build}/vscr")
  endif()
  foreach(script IN LISTS install_scripts)
    file(STRINGS "${script}" rules REGEX "file\\(INSTALL")
    if(rules)
      message(FATAL_ERROR "VSCR_INSTALL is off, yet ${script} installs:\n${rules}")
    endif()
  endforeach()
endforeach()
