# Test: the reader as a sub-project. Configures the parent project in this
# folder twice, with and without a library folder of its own (the parent
# checks the folders and options itself), and checks that the reader adds
# no install rules to the parent's install.
#
#   -DVSCR_SOURCE_DIR=  the reader's source tree
#   -DBINARY_DIR=       a scratch folder, emptied first
#   -DGENERATOR=  -DCXX_COMPILER=
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../install/Common.cmake)
vscr_require(VSCR_SOURCE_DIR BINARY_DIR GENERATOR CXX_COMPILER)

foreach(variant own-folder no-folder)
  set(build "${BINARY_DIR}/${variant}")
  file(REMOVE_RECURSE "${build}")
  set(folder_arg)
  if(variant STREQUAL "own-folder")
    set(folder_arg "-DPARENT_LIBRARY_DIR=${build}/parent-libs")
  endif()
  vscr_run("configure of the parent project (${variant})"
    COMMAND ${CMAKE_COMMAND} -S "${CMAKE_CURRENT_LIST_DIR}" -B "${build}"
            -G "${GENERATOR}" -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
            -DVSCR_SOURCE_DIR=${VSCR_SOURCE_DIR} -DVSCR_SANITIZE=ON ${folder_arg})

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
