# What `cmake --install` puts under the prefix for hosts that build against
# the reader: the library (runtime name, SONAME link and the plain .so link),
# its one public header, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(vscr_package VivodStubCollectReader)
set(vscr_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/${vscr_package})
set(vscr_pkgconfigdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS VivodStubCollectReader EXPORT ${vscr_package}Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/reader/include/VivodStubCollectReader.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT ${vscr_package}Targets
  NAMESPACE ${vscr_package}::
  DESTINATION ${vscr_cmakedir})
configure_package_config_file(
  cmake/${vscr_package}Config.cmake.in
  ${PROJECT_BINARY_DIR}/${vscr_package}Config.cmake
  INSTALL_DESTINATION ${vscr_cmakedir})
# The class layout is part of the ABI: a new major version may change it, so
# a host built against 1.x accepts any later 1.x and nothing else.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/${vscr_package}ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/${vscr_package}Config.cmake
  ${PROJECT_BINARY_DIR}/${vscr_package}ConfigVersion.cmake
  DESTINATION ${vscr_cmakedir})

# The .pc file names its folders relative to its own place (${pcfiledir}),
# so it stays right after `cmake --install --prefix` or a move of the tree.
if(IS_ABSOLUTE "${vscr_pkgconfigdir}")
  set(VSCR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  set(VSCR_PC_PREFIX "\${pcfiledir}")
  string(REPLACE "/" ";" vscr_components "${vscr_pkgconfigdir}")
  foreach(vscr_component IN LISTS vscr_components)
    if(NOT vscr_component STREQUAL "" AND NOT vscr_component STREQUAL ".")
      string(APPEND VSCR_PC_PREFIX "/..")
    endif()
  endforeach()
endif()
function(vscr_pc_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
vscr_pc_path(VSCR_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
vscr_pc_path(VSCR_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
configure_file(cmake/vivodstubcollectreader.pc.in
  ${PROJECT_BINARY_DIR}/vivodstubcollectreader.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vivodstubcollectreader.pc
  DESTINATION ${vscr_pkgconfigdir})
