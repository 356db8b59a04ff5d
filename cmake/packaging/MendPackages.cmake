# Run by cpack once a generator has made its packages (CPACK_POST_BUILD_SCRIPTS),
# before it copies them out; SOURCE_DATE_EPOCH is set
# (cmake/packaging/CPackProjectConfig.cmake). It makes each package the
# same bytes whoever builds it, with whatever umask, and mends what Debian
# would refuse, then lists every package's SHA-256 in SHA256SUMS beside them.
#
# CPack takes each file's mode from the staged install, which the builder's
# umask shaped (a directory of mode 0775 under umask 002), and the
# tarball's owners from the builder. So every package is unpacked, its modes
# set to 0755 for folders and programs and 0644 for the rest, and packed
# again: a .deb or .ddeb by dpkg-deb, owned by root; the tarball by GNU tar,
# sorted, owned 0:0 by number, each entry once (CPack lists a folder again
# for every component that installs into it).
#
# Beyond that:
# - CPackDeb gives a package with a library under /usr/lib a postinst and a
#   postrm that call ldconfig; the ldconfig trigger of the runtime package
#   does the same, as Debian wants, so those scripts go.
# - CPackDeb's -dbgsym packages (.ddeb) name each file in their md5sums by
#   its build-tree path, carry the execute bit on their .debug files, and
#   have no copyright file, where Debian's own point
#   usr/share/doc/<package>-dbgsym at the main package's folder. The dbgsym
#   of a Multi-Arch: same package is one too.
cmake_minimum_required(VERSION 3.25)

# vscr_normalize_modes(<tree>): folders and files with any execute bit 0755,
# every other file 0644; symbolic links keep theirs.
function(vscr_normalize_modes tree)
  execute_process(COMMAND chmod -R u=rwX,go=rX "${tree}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()

function(vscr_mend_dbgsym tree)
  file(READ "${tree}/DEBIAN/md5sums" md5sums)
  string(REGEX REPLACE "([0-9a-f]+  )/[^\n]*-dbgsym/" "\\1" md5sums "${md5sums}")
  file(WRITE "${tree}/DEBIAN/md5sums" "${md5sums}")
  file(GLOB_RECURSE debug_files "${tree}/usr/lib/debug/*")
  file(CHMOD ${debug_files} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  file(STRINGS "${tree}/DEBIAN/control" package REGEX "^Package: ")
  string(REGEX REPLACE "^Package: (.*)-dbgsym$" "\\1" package "${package}")
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK ${package} "${tree}/usr/share/doc/${package}-dbgsym" SYMBOLIC)
  if(package IN_LIST CPACK_VSCR_MULTIARCH_SAME)
    file(READ "${tree}/DEBIAN/control" control)
    string(STRIP "${control}" control)
    file(WRITE "${tree}/DEBIAN/control" "${control}\nMulti-Arch: same\n")
  endif()
endfunction()

function(vscr_drop_ldconfig_scripts tree)
  foreach(script postinst postrm)
    set(path "${tree}/DEBIAN/${script}")
    if(NOT EXISTS "${path}")
      continue()
    endif()
    file(READ "${path}" body)
    # CPack's scripts hold the ldconfig call and shell boilerplate alone.
    string(REGEX REPLACE "#![^\n]*|set -e|if \\[ \"\\$1\" = \"(configure|remove)\" \\]; then|ldconfig|fi|[ \t\n]" "" rest "${body}")
    if(NOT rest STREQUAL "")
      message(FATAL_ERROR "${path} does more than call ldconfig:\n${body}")
    endif()
    file(REMOVE "${path}")
  endforeach()
endfunction()

function(vscr_repack_deb deb)
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  if(deb MATCHES "\\.ddeb$")
    vscr_mend_dbgsym("${tree}")
  else()
    vscr_drop_ldconfig_scripts("${tree}")
  endif()
  vscr_normalize_modes("${tree}")
  file(REMOVE "${deb}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${tree}" "${deb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endfunction()

function(vscr_repack_tarball tarball)
  set(tree "${tarball}.tree")
  file(REMOVE_RECURSE "${tree}")
  file(MAKE_DIRECTORY "${tree}")
  execute_process(COMMAND tar -xzf "${tarball}" -C "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB top RELATIVE "${tree}" "${tree}/*")
  list(LENGTH top count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${tarball}: not one top folder but '${top}'")
  endif()
  vscr_normalize_modes("${tree}")
  execute_process(
    COMMAND tar --sort=name --owner=0 --group=0 --numeric-owner --format=gnu
                "--mtime=@$ENV{SOURCE_DATE_EPOCH}" -C "${tree}" -cf - "${top}"
    COMMAND gzip -9n
    OUTPUT_FILE "${tarball}" COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endfunction()

# SHA256SUMS in the folder the packages go to, in the form of sha256sum:
# this generator's packages, and those of the generators before it that
# are still there.
function(vscr_update_checksums)
  if(CPACK_OUTPUT_FILE_PREFIX)
    set(folder "${CPACK_OUTPUT_FILE_PREFIX}")
  else()
    set(folder "${CPACK_PACKAGE_DIRECTORY}")
  endif()
  set(sums "${folder}/SHA256SUMS")
  set(lines "")
  set(names "")
  foreach(package IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name "${package}" NAME)
    file(SHA256 "${package}" sum)
    list(APPEND lines "${name}|${sum}  ${name}")
    list(APPEND names "${name}")
  endforeach()
  if(EXISTS "${sums}")
    file(STRINGS "${sums}" earlier REGEX "^[0-9a-f]+  ")
    foreach(line IN LISTS earlier)
      string(REGEX REPLACE "^[0-9a-f]+  " "" name "${line}")
      if(NOT name IN_LIST names AND EXISTS "${folder}/${name}")
        list(APPEND lines "${name}|${line}")
      endif()
    endforeach()
  endif()
  list(SORT lines)
  list(TRANSFORM lines REPLACE "^[^|]*\\|" "")
  list(JOIN lines "\n" text)
  file(WRITE "${sums}" "${text}\n")
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.d?deb$")
    vscr_repack_deb("${package}")
  elseif(package MATCHES "\\.tar\\.gz$")
    vscr_repack_tarball("${package}")
  endif()
endforeach()
vscr_update_checksums()
