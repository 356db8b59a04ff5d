# Read by cpack once for each generator (CPACK_PROJECT_CONFIG_FILE): the
# tarball and the Debian packages take different components of the install,
# under different prefixes. The lists come from cmake/ReleasePackages.cmake.
# Every file is dated to the commit built, so that two builds of it give
# the same bytes.
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_VSCR_SOURCE_DATE_EPOCH}")
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL ${CPACK_VSCR_DEB_COMPONENTS})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # CPackDeb looks dpkg-shlibdeps up only when this is unset: our script
  # (cmake/DebianPackages.cmake) keeps the machine's packages out of Depends.
  set(SHLIBDEPS_EXECUTABLE "${CPACK_VSCR_DPKG_SHLIBDEPS}")
  # CPackDeb strips the binaries itself, once it has moved their debug
  # information into the -dbgsym packages.
  set(CPACK_STRIP_FILES OFF)
  # CPackDeb puts a package-wide summary before each package's description
  # unless the summary is CPack's default; each of ours has its own.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_DEFAULT_PACKAGE_DESCRIPTION_SUMMARY}")
else()
  # One archive of exactly these components: a monolithic one would take
  # the whole default install.
  set(CPACK_COMPONENTS_ALL ${CPACK_VSCR_ARCHIVE_COMPONENTS})
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
