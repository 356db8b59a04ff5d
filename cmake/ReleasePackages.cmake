# Release packages, made by CPack: `cmake --workflow --preset package`
# builds, tests and packs into build-package/
# - the tarball VivodStubCollectReader-<version>-Linux-<arch>.tar.gz: one
#   folder holding the plain install (lib/, include/, bin/, share/);
# - on Debian, three packages that install under /usr in Debian's layout,
#   and for a trial build a fourth with our stand-ins
#   (cmake/DebianPackages.cmake).
# No other package holds our stand-ins: installed beside a host's own
# libraries, they would shadow them.
set(VSCR_PACKAGE_MAINTAINER
  "Seed 483a6fdd maintainers <maintainers@users.noreply.c-seed-483a6fdd.example>")

# The reader must be compiled against the class layouts of the host it ships
# to (host/README.md). Built against our own host/ headers instead, a
# release is for trials only: its version carries ~standins, which sorts
# below the plain version, so that a real release replaces a trial one.
if(NOT VSCR_USE_STANDINS)
  set(VSCR_PACKAGE_VERSION ${PROJECT_VERSION})
  set(vscr_file_version ${PROJECT_VERSION})
  set(VSCR_BUILT_AGAINST "against the host SDK's headers and libraries")
  set(VSCR_TRIALS_NOTE "")
else()
  set(VSCR_PACKAGE_VERSION ${PROJECT_VERSION}~standins)
  set(vscr_file_version ${PROJECT_VERSION}-standins)
  set(VSCR_BUILT_AGAINST "against the project's stand-ins, for trials only")
  file(READ ${PROJECT_SOURCE_DIR}/cmake/packaging/trials.note VSCR_TRIALS_NOTE)
  string(STRIP "${VSCR_TRIALS_NOTE}" VSCR_TRIALS_NOTE)
endif()

set(CPACK_PACKAGE_NAME VivodStubCollectReader)
set(CPACK_PACKAGE_VENDOR "The VivodStubCollectReader authors")
set(CPACK_PACKAGE_CONTACT "${VSCR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${VSCR_PACKAGE_VERSION})
set(CPACK_PACKAGE_FILE_NAME
  VivodStubCollectReader-${vscr_file_version}-Linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_GENERATOR TGZ)
set(CPACK_STRIP_FILES ON)
# Every package repacked the same whoever builds it, the Debian ones mended,
# and SHA256SUMS beside them.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/packaging/MendPackages.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/packaging/CPackProjectConfig.cmake)

# The tarball takes every component of the install, the stand-ins and the
# Debian packages' own files excepted.
get_cmake_property(vscr_components COMPONENTS)
list(FILTER vscr_components EXCLUDE REGEX "^(VscrHostStandins|VscrDeb.*)$")
set(CPACK_VSCR_ARCHIVE_COMPONENTS ${vscr_components})

# Reproducible packages: every file in them is dated VSCR_SOURCE_DATE_EPOCH
# (cmake/ReleaseDate.cmake), which cmake/packaging/CPackProjectConfig.cmake
# hands to cpack as SOURCE_DATE_EPOCH.
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseDate.cmake)
set(CPACK_VSCR_SOURCE_DATE_EPOCH ${VSCR_SOURCE_DATE_EPOCH})

# The Debian packages need Debian's multiarch library folder, which
# GNUInstallDirs picks for CMAKE_INSTALL_PREFIX=/usr (the package preset).
if(CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_LIBDIR STREQUAL "lib/${CMAKE_LIBRARY_ARCHITECTURE}")
  include(${CMAKE_CURRENT_LIST_DIR}/DebianPackages.cmake)
else()
  message(STATUS "No Debian packages: CMAKE_INSTALL_LIBDIR is ${CMAKE_INSTALL_LIBDIR}, "
    "not lib/${CMAKE_LIBRARY_ARCHITECTURE} (configure with CMAKE_INSTALL_PREFIX=/usr)")
endif()
include(CPack)
