# What `cmake --install` puts under the prefix for hosts that build against
# the reader: the library (runtime name, SONAME link and the plain .so link),
# its one public header, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

# The .pc file names its folders relative to its own place (${pcfiledir}),
# so it stays right after `cmake --install --prefix` or a move of the tree.
function(vscr_pc_prefix pkgconfigdir out)
  if(IS_ABSOLUTE "${pkgconfigdir}")
    set(${out} "${CMAKE_INSTALL_PREFIX}" PARENT_SCOPE)
    return()
  endif()
  set(prefix "\${pcfiledir}")
  string(REPLACE "/" ";" components "${pkgconfigdir}")
  foreach(component IN LISTS components)
    if(NOT component STREQUAL "" AND NOT component STREQUAL ".")
      string(APPEND prefix "/..")
    endif()
  endforeach()
  set(${out} "${prefix}" PARENT_SCOPE)
endfunction()

function(vscr_pc_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

# vscr_install_library(LIBDIR <dir> RUNTIME <component> DEVELOPMENT <component>
#                      EXPORT <set> [EXCLUDE_FROM_ALL])
# Installs the library into <dir> (runtime file and SONAME link in RUNTIME,
# the .so link in DEVELOPMENT), and the header, the CMake package and the
# .pc file (DEVELOPMENT). Called once per library folder we ship: the plain
# install and the release tarball use CMAKE_INSTALL_LIBDIR, the Debian
# packages Debian's multiarch folder. The CMake package and the .pc file
# find the prefix by counting folders up from their own, so each folder
# needs its own copy of them, and its own export set.
function(vscr_install_library)
  cmake_parse_arguments(PARSE_ARGV 0 arg "EXCLUDE_FROM_ALL" "LIBDIR;RUNTIME;DEVELOPMENT;EXPORT" "")
  set(package VivodStubCollectReader)
  set(cmakedir ${arg_LIBDIR}/cmake/${package})
  set(pkgconfigdir ${arg_LIBDIR}/pkgconfig)
  set(staging ${PROJECT_BINARY_DIR}/install-files/${arg_EXPORT})
  set(exclude)
  if(arg_EXCLUDE_FROM_ALL)
    set(exclude EXCLUDE_FROM_ALL)
  endif()

  install(TARGETS VivodStubCollectReader EXPORT ${arg_EXPORT}
    LIBRARY DESTINATION ${arg_LIBDIR}
      COMPONENT ${arg_RUNTIME} NAMELINK_COMPONENT ${arg_DEVELOPMENT} ${exclude})
  install(FILES ${PROJECT_SOURCE_DIR}/reader/include/VivodStubCollectReader.h
                ${PROJECT_SOURCE_DIR}/reader/include/VivodStubCollectWalk.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT ${arg_DEVELOPMENT} ${exclude})
  install(EXPORT ${arg_EXPORT} FILE ${package}Targets.cmake
    NAMESPACE ${package}:: DESTINATION ${cmakedir}
    COMPONENT ${arg_DEVELOPMENT} ${exclude})

  configure_package_config_file(
    ${PROJECT_SOURCE_DIR}/cmake/${package}Config.cmake.in
    ${staging}/${package}Config.cmake
    INSTALL_DESTINATION ${cmakedir})
  # The class layout is part of the ABI: a new major version may change it,
  # so a host built against 1.x accepts any later 1.x and nothing else.
  write_basic_package_version_file(
    ${staging}/${package}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
  install(FILES ${staging}/${package}Config.cmake ${staging}/${package}ConfigVersion.cmake
    DESTINATION ${cmakedir} COMPONENT ${arg_DEVELOPMENT} ${exclude})

  vscr_pc_prefix("${pkgconfigdir}" VSCR_PC_PREFIX)
  vscr_pc_path(VSCR_PC_LIBDIR "${arg_LIBDIR}")
  vscr_pc_path(VSCR_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/vivodstubcollectreader.pc.in
    ${staging}/vivodstubcollectreader.pc @ONLY)
  install(FILES ${staging}/vivodstubcollectreader.pc
    DESTINATION ${pkgconfigdir} COMPONENT ${arg_DEVELOPMENT} ${exclude})
endfunction()

vscr_install_library(LIBDIR ${CMAKE_INSTALL_LIBDIR}
  RUNTIME VscrRuntime DEVELOPMENT VscrDevelopment
  EXPORT VivodStubCollectReaderTargets)

# Debian's layout, for the Debian packages alone (cmake/ReleasePackages.cmake):
# under /usr, the library in Debian's multiarch folder, and the host's
# libraries, which no package holds, in lib/Base64 beside it, where the
# reader's RUNPATH $ORIGIN/../Base64 looks. Left out of a plain install.
if(PROJECT_IS_TOP_LEVEL AND CMAKE_LIBRARY_ARCHITECTURE)
  set(VSCR_DEBIAN_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
  set(VSCR_DEBIAN_HOSTLIBDIR lib/Base64)
  vscr_install_library(LIBDIR ${VSCR_DEBIAN_LIBDIR}
    RUNTIME VscrDebRuntime DEVELOPMENT VscrDebDevelopment
    EXPORT VivodStubCollectReaderDebianTargets EXCLUDE_FROM_ALL)
endif()
