# The Debian packages, following Debian's library policy:
# - libvivodstubcollectreader1: the library and its SONAME link
#   (cmake/Packaging.cmake), with a shlibs and a symbols file;
# - libvivodstubcollectreader-dev: the headers, the .so link, the CMake
#   package and a .pc file that names /usr plainly, depending on the
#   runtime package at the same version;
# - vivodstubcollectreader-tools: collect-walk, vscr-host-check and the
#   sample (cmake/InstallTools.cmake);
# - vivodstubcollectreader-trial-host, in a build against our stand-ins
#   only: the stand-ins in /usr/lib/Base64, for a trial with no host;
# - a -dbgsym package beside each package with programs or libraries, with
#   the debug information that CPack strips from them, found by build ID.
# The runtime and -dev packages are Multi-Arch: same, their files sit in
# /usr/lib/<multiarch>. Each carries the copyright file, a changelog and
# its lintian overrides from cmake/packaging/. Included by
# cmake/ReleasePackages.cmake, which has set VSCR_PACKAGE_VERSION,
# VSCR_PACKAGE_MAINTAINER and VSCR_TRIALS_NOTE.
find_program(VSCR_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(VSCR_FILE file)
find_program(VSCR_GZIP gzip)
if(NOT VSCR_DPKG_SHLIBDEPS OR NOT VSCR_FILE OR NOT VSCR_GZIP)
  message(WARNING "No Debian packages: they need dpkg-shlibdeps, file and gzip "
    "(Debian: apt-get install dpkg-dev file gzip)")
  return()
endif()

# CPack takes dpkg's own architecture for the packages' unless told; a
# cross build's is the Debian name of its target (arm64 for aarch64-linux-gnu).
if(CMAKE_CROSSCOMPILING)
  find_program(VSCR_DPKG_ARCHITECTURE dpkg-architecture REQUIRED)
  execute_process(
    COMMAND ${VSCR_DPKG_ARCHITECTURE} -qDEB_HOST_ARCH -t${CMAKE_LIBRARY_ARCHITECTURE}
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
endif()

set(vscr_debian ${PROJECT_BINARY_DIR}/packaging)
set(vscr_runtime_package libvivodstubcollectreader${PROJECT_VERSION_MAJOR})
set(vscr_same_version "${vscr_runtime_package} (= ${VSCR_PACKAGE_VERSION})")

# Debian compresses the changelog with gzip -9n: no name or time in its
# header, so that every build of a version gives the same bytes.
configure_file(${PROJECT_SOURCE_DIR}/cmake/packaging/changelog.in ${vscr_debian}/changelog @ONLY)
execute_process(COMMAND ${VSCR_GZIP} -9nc ${vscr_debian}/changelog
  OUTPUT_FILE ${vscr_debian}/changelog.gz RESULT_VARIABLE vscr_gzip_result)
if(NOT vscr_gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip of ${vscr_debian}/changelog failed: ${vscr_gzip_result}")
endif()

# vscr_debian_package(<package> GROUP <group> SECTION <section>
#                     COMPONENTS <component>... [MULTIARCH_SAME] [DBGSYM])
# One package: the components that make it, its section and description,
# and Debian's own files, installed with the group's first component.
function(vscr_debian_package package)
  cmake_parse_arguments(PARSE_ARGV 1 arg "MULTIARCH_SAME;DBGSYM" "GROUP;SECTION" "COMPONENTS")
  string(TOUPPER "${arg_GROUP}" group)
  list(GET arg_COMPONENTS 0 own_component)
  foreach(component IN LISTS arg_COMPONENTS)
    string(TOUPPER "${component}" component)
    set(CPACK_COMPONENT_${component}_GROUP ${arg_GROUP} PARENT_SCOPE)
  endforeach()
  set(packaging ${PROJECT_SOURCE_DIR}/cmake/packaging)
  install(FILES ${packaging}/copyright ${vscr_debian}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    COMPONENT ${own_component} EXCLUDE_FROM_ALL)
  if(EXISTS ${packaging}/${package}.lintian-overrides)
    install(FILES ${packaging}/${package}.lintian-overrides
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
      COMPONENT ${own_component} EXCLUDE_FROM_ALL)
  endif()

  file(READ ${packaging}/${package}.description description)
  string(CONFIGURE "${description}" description @ONLY)
  string(STRIP "${description}" description)
  if(VSCR_TRIALS_NOTE)
    string(APPEND description "\n\n${VSCR_TRIALS_NOTE}")
  endif()
  set(CPACK_DEBIAN_${group}_DESCRIPTION "${description}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${group}_PACKAGE_NAME ${package} PARENT_SCOPE)
  # CPackDeb has no Multi-Arch field, and writes each field as it is given:
  # the section carries it on a line of its own.
  if(arg_MULTIARCH_SAME)
    string(APPEND arg_SECTION "\nMulti-Arch: same")
    set(CPACK_VSCR_MULTIARCH_SAME ${CPACK_VSCR_MULTIARCH_SAME} ${package} PARENT_SCOPE)
  endif()
  set(CPACK_DEBIAN_${group}_PACKAGE_SECTION "${arg_SECTION}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${group}_DEBUGINFO_PACKAGE ${arg_DBGSYM} PARENT_SCOPE)
endfunction()

# The Debian packages' own files go with an install component of their own
# in the tools package, since VscrTools and VscrSample serve the tarball too.
vscr_debian_package(${vscr_runtime_package} GROUP Runtime SECTION libs
  COMPONENTS VscrDebRuntime VscrRuntime MULTIARCH_SAME DBGSYM)
vscr_debian_package(libvivodstubcollectreader-dev GROUP Development SECTION libdevel
  COMPONENTS VscrDebDevelopment VscrDevelopment MULTIARCH_SAME)
vscr_debian_package(vivodstubcollectreader-tools GROUP Tools SECTION utils
  COMPONENTS VscrDebTools VscrTools VscrSample DBGSYM)
set(CPACK_VSCR_DEB_COMPONENTS
  VscrDebRuntime VscrRuntime VscrDebDevelopment VscrDevelopment VscrDebTools VscrTools VscrSample)

# The trial host: our stand-ins, where the runtime looks for the host's
# libraries. Packages of a host declare the virtual package
# vivodstubcollectreader-host-libraries; this one provides, conflicts with
# and replaces it, so that dpkg never keeps both, and its preinst refuses
# to install over a host's libraries that no package owns.
if(VSCR_USE_STANDINS)
  set(vscr_trial_host vivodstubcollectreader-trial-host)
  set(vscr_host_virtual vivodstubcollectreader-host-libraries)
  set(VSCR_HOSTLIBDIR_ABSOLUTE /usr/${VSCR_INSTALL_HOSTLIBDIR})
  vscr_debian_package(${vscr_trial_host} GROUP TrialHost SECTION misc
    COMPONENTS VscrDebTrialHost VscrHostStandins DBGSYM)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/packaging/${vscr_trial_host}.preinst
    ${vscr_debian}/${vscr_trial_host}/preinst @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
  set(CPACK_DEBIAN_TRIALHOST_PACKAGE_CONTROL_EXTRA ${vscr_debian}/${vscr_trial_host}/preinst)
  set(CPACK_DEBIAN_TRIALHOST_PACKAGE_PROVIDES ${vscr_host_virtual})
  set(CPACK_DEBIAN_TRIALHOST_PACKAGE_CONFLICTS ${vscr_host_virtual})
  set(CPACK_DEBIAN_TRIALHOST_PACKAGE_REPLACES ${vscr_host_virtual})
  list(APPEND CPACK_VSCR_DEB_COMPONENTS VscrDebTrialHost VscrHostStandins)
endif()

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE vivodstubcollectreader)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VSCR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The runtime package tells packages built against it which version they
# need (a shlibs file); they then accept any later 1.x.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# dpkg refreshes the loader's cache through the ldconfig trigger. CPack
# names a control file after its source file.
configure_file(${PROJECT_SOURCE_DIR}/cmake/packaging/${vscr_runtime_package}.triggers
  ${vscr_debian}/${vscr_runtime_package}/triggers COPYONLY)
# The symbols file names the release that brought each exported symbol, so
# that a package built against us depends on the release its calls need
# (1.1 for GetSeekOffset). A trial build's releases carry ~standins, as its
# package version does. scripts/package-check.sh holds it to the library.
if(VSCR_USE_STANDINS)
  set(VSCR_SYMBOLS_SUFFIX "~standins")
else()
  set(VSCR_SYMBOLS_SUFFIX "")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/packaging/${vscr_runtime_package}.symbols
  ${vscr_debian}/${vscr_runtime_package}/symbols @ONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${vscr_debian}/${vscr_runtime_package}/triggers ${vscr_debian}/${vscr_runtime_package}/symbols)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends on the C and C++ runtime comes from dpkg-shlibdeps. The host's
# libraries belong to no package: it finds them, and our reader, in the
# build's library folder and, given no package information for them
# (--ignore-missing-info, which CPack passes), leaves them out.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${VSCR_LIBRARY_OUTPUT_DIRECTORY})
# dpkg-shlibdeps follows a program's RUNPATH first, and the tools' RUNPATH
# names /usr/lib/<multiarch>: on a machine where our runtime package is
# installed, it found the installed reader there, read that package's
# symbols file and added a looser Depends. So CPackDeb calls it through a
# script that hands it, with -S, a package tree of our own, searched before
# the machine: it holds only a link to this build's reader, in the folder
# that the RUNPATH names, and no package information, so the reader of
# this build is found and left out whatever the machine has installed.
set(vscr_shlibdeps_tree ${vscr_debian}/shlibdeps-tree)
set(vscr_reader_soname libVivodStubCollectReader.so.${PROJECT_VERSION_MAJOR})
file(MAKE_DIRECTORY ${vscr_shlibdeps_tree}/usr/${CMAKE_INSTALL_BINDIR}
  ${vscr_shlibdeps_tree}/usr/${CMAKE_INSTALL_LIBDIR})
file(CREATE_LINK ${VSCR_LIBRARY_OUTPUT_DIRECTORY}/${vscr_reader_soname}
  ${vscr_shlibdeps_tree}/usr/${CMAKE_INSTALL_LIBDIR}/${vscr_reader_soname} SYMBOLIC)
file(CONFIGURE OUTPUT ${vscr_debian}/dpkg-shlibdeps @ONLY CONTENT [[#!/bin/sh
exec "@VSCR_DPKG_SHLIBDEPS@" "-S@vscr_shlibdeps_tree@" "$@"
]])
file(CHMOD ${vscr_debian}/dpkg-shlibdeps PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_VSCR_DPKG_SHLIBDEPS ${vscr_debian}/dpkg-shlibdeps)
# The -dev package needs the library its .so link points at, and the tools
# the reader that collect-walk links; dpkg-shlibdeps leaves our reader out
# like the host's libraries, so both are named here.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${vscr_same_version}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${vscr_same_version}")
list(APPEND CPACK_GENERATOR DEB)
