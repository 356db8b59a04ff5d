# Run by cpack once the packages are made (CPACK_POST_BUILD_SCRIPTS). The
# -dbgsym packages that CPackDeb makes (.ddeb) need mending before Debian
# takes them: their md5sums name each file by its build-tree path, their
# .debug files carry the execute bit, and they have no copyright file,
# where Debian's own point usr/share/doc/<package>-dbgsym at the main
# package's folder. The dbgsym of a Multi-Arch: same package is one too.
# Each is unpacked, mended and packed again with dpkg-deb, dated
# SOURCE_DATE_EPOCH, under its name, which cpack then copies out.
foreach(ddeb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT ddeb MATCHES "\\.ddeb$")
    continue()
  endif()
  set(tree "${ddeb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${ddeb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)

  file(READ "${tree}/DEBIAN/md5sums" md5sums)
  string(REGEX REPLACE "([0-9a-f]+  )/[^\n]*-dbgsym/" "\\1" md5sums "${md5sums}")

  file(GLOB_RECURSE debug_files "${tree}/usr/lib/debug/*")
  file(CHMOD ${debug_files} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  file(STRINGS "${tree}/DEBIAN/control" package REGEX "^Package: ")
  string(REGEX REPLACE "^Package: (.*)-dbgsym$" "\\1" package "${package}")
  file(WRITE "${tree}/DEBIAN/md5sums" "${md5sums}")
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK ${package} "${tree}/usr/share/doc/${package}-dbgsym" SYMBOLIC)
  if(package IN_LIST CPACK_VSCR_MULTIARCH_SAME)
    file(READ "${tree}/DEBIAN/control" control)
    string(STRIP "${control}" control)
    file(WRITE "${tree}/DEBIAN/control" "${control}\nMulti-Arch: same\n")
  endif()

  file(REMOVE "${ddeb}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${tree}" "${ddeb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
