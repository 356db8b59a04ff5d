# The settings that every program of ours and every static library they
# share take: our warning policy and C++17 without extensions. Consumers of the installed library never see them.

# vscr_use_project_settings(<target>): for a target made elsewhere, such as
# examples/, which also builds on its own against an install.
function(vscr_use_project_settings target)
  target_link_libraries(${target} PRIVATE vscr_warnings)
  target_compile_features(${target} PRIVATE cxx_std_17)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
endfunction()

# vscr_add_program(<name> <source>... [LIBRARIES <target>...])
# A test, tool, fuzz target or benchmark program, linked privately with
# LIBRARIES.
function(vscr_add_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  vscr_use_project_settings(${name})
endfunction()

# vscr_add_support_library(<name> <source>... [INCLUDE <dir>] [PUBLIC <target>...])
# A static library that such programs share. Its users see its headers in
# INCLUDE (by default the folder of the CMakeLists.txt that adds it) and
# link the PUBLIC targets too.
function(vscr_add_support_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "INCLUDE" "PUBLIC")
  if(NOT arg_INCLUDE)
    set(arg_INCLUDE ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  add_library(${name} STATIC ${arg_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PUBLIC ${arg_INCLUDE})
  target_compile_features(${name} PUBLIC cxx_std_17)
  target_link_libraries(${name} PUBLIC ${arg_PUBLIC})
  vscr_use_project_settings(${name})
endfunction()

# VSCR_EMULATOR: how this machine starts a program of the build. In a cross
# build (cmake/toolchains/) that is the toolchain's emulator, as CTest
# starts the test programs; the tests, their scripts and the manual pages
# start every other program of ours the same way. Empty in a native build.
set(VSCR_EMULATOR "")
if(CMAKE_CROSSCOMPILING)
  set(VSCR_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()

# vscr_add_memcheck(<name> <target> [<argument>...]): scripts/valgrind.sh
# runs the program of <target> with these arguments under valgrind's
# memcheck, as <name>. The build writes the list to memcheck-programs.txt
# in its top folder, a line per program: the name, the program and its
# arguments, separated by tabs.
function(vscr_add_memcheck name target)
  string(JOIN "\t" line ${name} $<TARGET_FILE:${target}> ${ARGN})
  set_property(GLOBAL APPEND PROPERTY vscr_memcheck_lines "${line}\n")
endfunction()
function(vscr_write_memcheck_list)
  get_property(lines GLOBAL PROPERTY vscr_memcheck_lines)
  string(JOIN "" content ${lines})
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/memcheck-programs.txt CONTENT "${content}")
endfunction()
cmake_language(DEFER CALL vscr_write_memcheck_list)
