# Hardening for the code that runs inside the host process, applied PRIVATE
# to our shared libraries only: consumers choose their own flags.
# - _GLIBCXX_ASSERTIONS turns an out-of-range index or a back() on an empty
#   string into an abort at the fault, not a silent read of host memory.
#   GCC 12's libstdc++ reports through std::__glibcxx_assert_fail, which
#   the reader defines itself (reader/AssertionHandler.cpp), so that the
#   host process needs no libstdc++ newer than GLIBCXX_3.4.24.
# - -fstack-protector-strong guards every frame that holds an array or a
#   local whose address escapes, which is most of ours (std::string locals).
# - Full RELRO with immediate binding leaves no writable GOT behind once the
#   host has loaded us.
add_library(vscr_hardening INTERFACE)
target_compile_definitions(vscr_hardening INTERFACE _GLIBCXX_ASSERTIONS)
target_compile_options(vscr_hardening INTERFACE -fstack-protector-strong)
target_link_options(vscr_hardening INTERFACE LINKER:-z,relro,-z,now)
