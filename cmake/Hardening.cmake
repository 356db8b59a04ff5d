# What every binary we ship is built with, applied PRIVATE to the shared
# libraries and, through vscr_ship_program, to the operator programs:
# consumers choose their own flags. These are dpkg-buildflags' defaults on
# Debian 12 with bindnow, plus the libstdc++ assertions.
# - _GLIBCXX_ASSERTIONS turns an out-of-range index or a back() on an empty
#   string into an abort at the fault, not a silent read of host memory.
#   GCC 12's libstdc++ reports through std::__glibcxx_assert_fail, which
#   the reader defines itself (reader/AssertionHandler.cpp), so that the
#   host process needs no libstdc++ newer than GLIBCXX_3.4.24.
# - _FORTIFY_SOURCE=2 makes glibc check the buffer sizes that the compiler
#   knows (read, memcpy and the like go through their __*_chk forms, from
#   GLIBC_2.3.4 and 2.4). It needs optimisation, and sanitized builds, which
#   are never shipped, check those calls themselves.
# - -fstack-protector-strong guards every frame that holds an array or a
#   local whose address escapes, which is most of ours (std::string locals).
# - -fstack-clash-protection probes each page of a large or variable frame,
#   so that no frame steps over the guard page below the stack, and
#   -fcf-protection marks the targets of indirect branches for the CPU's
#   control-flow checks (CET on x86). Both are Debian's defaults on amd64
#   and cost no symbol version; each is taken where the compiler has it for
#   the target, as -fcf-protection exists for x86 only.
# - Full RELRO with immediate binding leaves no writable GOT behind once the
#   host has loaded us.
# - A build ID, by which a debugger finds the -dbgsym packages' files.
# - -ffile-prefix-map writes the source folder as "." into debug information
#   and __FILE__, so that two checkouts of one commit build the same bytes.
add_library(vscr_hardening INTERFACE)
target_compile_definitions(vscr_hardening INTERFACE _GLIBCXX_ASSERTIONS)
if(NOT VSCR_SANITIZED)
  target_compile_definitions(vscr_hardening INTERFACE
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()
target_compile_options(vscr_hardening INTERFACE
  -fstack-protector-strong -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
include(CheckCXXCompilerFlag)
foreach(flag IN ITEMS -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "VSCR_HAS${flag}" has_flag)
  check_cxx_compiler_flag(${flag} ${has_flag})
  if(${has_flag})
    target_compile_options(vscr_hardening INTERFACE ${flag})
  endif()
endforeach()
target_link_options(vscr_hardening INTERFACE LINKER:-z,relro,-z,now LINKER:--build-id)

# vscr_ship_program(<target>): an operator program that we ship takes the
# same, and is position independent, so that ASLR moves it too. Its build
# tree RUNPATH is relative ($ORIGIN/...): install rewrites it in place, so
# the build folder's length would stay behind in the string table.
# A static library of such a program's own code takes it too.
function(vscr_ship_program target)
  target_link_libraries(${target} PRIVATE vscr_hardening)
  set_target_properties(${target} PROPERTIES
    POSITION_INDEPENDENT_CODE ON BUILD_RPATH_USE_ORIGIN ON)
endfunction()
