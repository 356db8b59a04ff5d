# What `cmake --install` puts under the prefix for hosts that build against
# the reader, once, in CMAKE_INSTALL_LIBDIR: the library (runtime file and
# SONAME link in VscrRuntime, the .so link in VscrDevelopment), its headers
# and a CMake package (VscrDevelopment), and a pkg-config file
# (VscrPkgConfig). The tarball and the Debian packages are made from this
# one install (cmake/ReleasePackages.cmake).
include(CMakePackageConfigHelpers)

set(vscr_package VivodStubCollectReader)
set(vscr_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/${vscr_package})
set(vscr_pkgconfigdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(vscr_staging ${PROJECT_BINARY_DIR}/install-files)
# The package files find the prefix by counting folders up from their own.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR must be relative to the prefix")
endif()

install(TARGETS VivodStubCollectReader EXPORT ${vscr_package}Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT VscrRuntime NAMELINK_COMPONENT VscrDevelopment)
install(FILES ${PROJECT_SOURCE_DIR}/reader/include/VivodStubCollectReader.h
              ${PROJECT_SOURCE_DIR}/reader/include/VivodStubCollectWalk.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT VscrDevelopment)
install(EXPORT ${vscr_package}Targets FILE ${vscr_package}Targets.cmake
  NAMESPACE ${vscr_package}:: DESTINATION ${vscr_cmakedir} COMPONENT VscrDevelopment)

configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/${vscr_package}Config.cmake.in
  ${vscr_staging}/${vscr_package}Config.cmake
  INSTALL_DESTINATION ${vscr_cmakedir})
# The class layout is part of the ABI: a new major version may change it,
# so a host built against 1.x accepts any later 1.x and nothing else.
write_basic_package_version_file(
  ${vscr_staging}/${vscr_package}ConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${vscr_staging}/${vscr_package}Config.cmake
              ${vscr_staging}/${vscr_package}ConfigVersion.cmake
  DESTINATION ${vscr_cmakedir} COMPONENT VscrDevelopment)

# vscr_pkg_config_file(<prefix> <component> [EXCLUDE_FROM_ALL]): the .pc
# file, with prefix=<prefix> and its folders below it.
function(vscr_pkg_config_file prefix component)
  set(VSCR_PC_PREFIX "${prefix}")
  set(VSCR_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(VSCR_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/vivodstubcollectreader.pc.in
    ${vscr_staging}/${component}/vivodstubcollectreader.pc @ONLY)
  install(FILES ${vscr_staging}/${component}/vivodstubcollectreader.pc
    DESTINATION ${vscr_pkgconfigdir} COMPONENT ${component} ${ARGN})
endfunction()

# The install's .pc file names its folders relative to its own place
# (${pcfiledir}), so it stays right after `cmake --install --prefix` or a
# move of the tree, as the tarball is moved.
string(REGEX REPLACE "[^/]+" ".." vscr_up "${vscr_pkgconfigdir}")
vscr_pkg_config_file("\${pcfiledir}/${vscr_up}" VscrPkgConfig)
# The Debian -dev package's names /usr plainly: pkg-config leaves
# /usr/include and the multiarch library folder out of its output only when
# they are written so, and an explicit -L of a system folder could shadow a
# user's own -L.
vscr_pkg_config_file(/usr VscrDebDevelopment EXCLUDE_FROM_ALL)
