# What an install holds beside the library: the operator programs
# collect-walk and vscr-host-check in bin/ with their manual pages, the
# sample that collect-walk walks when run without arguments, and the README
# with the copyright notice. The plain install and the release tarball take
# all of it; the Debian tools package takes the programs, their pages and
# the sample.

# vscr_runpath_from_bindir(<out> <dir>...): a RUNPATH that names each <dir>
# (relative to the prefix) from bin/, so that an installed tree may move.
function(vscr_runpath_from_bindir out)
  set(runpath "")
  foreach(dir IN LISTS ARGN)
    if(IS_ABSOLUTE "${dir}")
      list(APPEND runpath "${dir}")
    else()
      cmake_path(RELATIVE_PATH dir BASE_DIRECTORY "${CMAKE_INSTALL_BINDIR}"
        OUTPUT_VARIABLE relative)
      list(APPEND runpath "$ORIGIN/${relative}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES runpath)
  set(${out} "${runpath}" PARENT_SCOPE)
endfunction()

# Installed, the programs look for the reader and the host's libraries where
# the reader itself looks for the host's: in the library folder, then in
# Base64 beside it. The tarball and the Debian packages share the layout.
set(vscr_libdirs ${CMAKE_INSTALL_LIBDIR})
set(vscr_layouts ${CMAKE_INSTALL_LIBDIR} ${VSCR_INSTALL_HOSTLIBDIR})
# collect-walk links the reader only, and the reader finds the host's
# libraries; vscr-host-check loads them itself, and its checks module
# (in lib/VivodStubCollectReader), and must load the ones the reader would.
vscr_runpath_from_bindir(vscr_collect_walk_runpath ${vscr_libdirs})
set(vscr_host_checks_dir ${CMAKE_INSTALL_LIBDIR}/${PROJECT_NAME})
vscr_runpath_from_bindir(vscr_host_check_runpath ${vscr_host_checks_dir} ${vscr_layouts})
if(TARGET collect-walk)
  set_target_properties(collect-walk PROPERTIES INSTALL_RPATH "${vscr_collect_walk_runpath}")
  install(TARGETS collect-walk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT VscrTools)
endif()
if(TARGET vscr-host-check)
  set_target_properties(vscr-host-check PROPERTIES INSTALL_RPATH "${vscr_host_check_runpath}")
  install(TARGETS vscr-host-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT VscrTools)
  install(TARGETS vscr-host-check-probes LIBRARY DESTINATION ${vscr_host_checks_dir}
    COMPONENT VscrTools)
endif()

# collect-walk looks for its sample in <its folder>/../share/VivodStubCollectReader/sample
# (tools/collect-walk/CMakeLists.txt).
if(TARGET collect-walk)
  get_target_property(vscr_walk_source_dir collect-walk SOURCE_DIR)
  install(DIRECTORY ${vscr_walk_source_dir}/sample/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/VivodStubCollectReader/sample
    COMPONENT VscrSample)
endif()

# The manual pages, made from each program's --help and --version by
# help2man, and compressed as Debian wants them (gzip -9n: no name or time
# in the header), dated VSCR_SOURCE_DATE_EPOCH (cmake/ReleaseDate.cmake),
# so that every build of a release makes the same pages.
find_program(VSCR_HELP2MAN help2man)
find_program(VSCR_GZIP gzip)
include(${CMAKE_CURRENT_LIST_DIR}/ReleaseDate.cmake)
# Each program's sections that --help does not hold (EXIT STATUS, FILES,
# ENVIRONMENT, SEE ALSO) are in <program>.h2m beside its sources.
set(vscr_man_names
  "collect-walk=walk a collect file or convert a stub collect file"
  "vscr-host-check=check the host libraries that libVivodStubCollectReader relies on")
# help2man runs the program through the shell, so in a cross build it runs
# it under the build's emulator and makes the pages a native build makes;
# a cross build with no emulator makes none.
list(JOIN VSCR_EMULATOR " " vscr_man_runner)
if(VSCR_EMULATOR)
  string(APPEND vscr_man_runner " ")
endif()
set(vscr_man_pages "")
if(CMAKE_CROSSCOMPILING AND NOT VSCR_EMULATOR)
  message(STATUS "No manual pages: this cross build has no CMAKE_CROSSCOMPILING_EMULATOR "
    "to run the programs under; a native build makes the same pages")
  set(vscr_man_names "")
endif()
foreach(entry IN LISTS vscr_man_names)
  string(REGEX REPLACE "=.*" "" program "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" summary "${entry}")
  if(NOT TARGET ${program})
    continue()
  elseif(NOT VSCR_HELP2MAN OR NOT VSCR_GZIP)
    message(WARNING "No manual page for ${program}: it needs help2man and gzip "
      "(Debian: apt-get install help2man gzip)")
    continue()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  get_target_property(sources ${program} SOURCE_DIR)
  set(include ${sources}/${program}.h2m)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VSCR_SOURCE_DATE_EPOCH}
            ${VSCR_HELP2MAN} --no-info --section=1 --name=${summary}
            --source=${PROJECT_NAME} --include=${include} --output=${page}
            "${vscr_man_runner}$<TARGET_FILE:${program}>"
    COMMAND ${VSCR_GZIP} -9nf ${page}
    DEPENDS ${program} ${include} VERBATIM)
  list(APPEND vscr_man_pages ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT VscrTools)
endforeach()
if(vscr_man_pages)
  add_custom_target(vscr-man-pages ALL DEPENDS ${vscr_man_pages})
  set_target_properties(vscr-man-pages PROPERTIES VSCR_PAGES "${vscr_man_pages}")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT VscrDoc)
