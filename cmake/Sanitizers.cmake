# Sanitizer and fuzzing builds (VSCR_SANITIZE, VSCR_SANITIZE_THREAD,
# VSCR_BUILD_FUZZERS). All are opt-in and reach our own targets only: each
# of them links the vscr_sanitizers interface target, beside (not through)
# the warning policy.

if(VSCR_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VSCR_BUILD_FUZZERS needs clang (libFuzzer)")
  endif()
  set(VSCR_SANITIZE ON)  # fuzzing without sanitizers finds crashes only
endif()

add_library(vscr_sanitizers INTERFACE)
if(VSCR_SANITIZE)
  set(vscr_sanitizer_flags
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(vscr_sanitizers INTERFACE ${vscr_sanitizer_flags})
  target_link_options(vscr_sanitizers INTERFACE ${vscr_sanitizer_flags})
endif()
if(VSCR_SANITIZE_THREAD)
  if(VSCR_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
  endif()
  set(vscr_thread_sanitizer_flags -fsanitize=thread -fno-omit-frame-pointer)
  target_compile_options(vscr_sanitizers INTERFACE ${vscr_thread_sanitizer_flags})
  target_link_options(vscr_sanitizers INTERFACE ${vscr_thread_sanitizer_flags})
endif()
# Whether any sanitizer runtime is linked in: such a library leaves symbols
# for the executable to define, and plain programs cannot load it.
if(VSCR_SANITIZE OR VSCR_SANITIZE_THREAD)
  set(VSCR_SANITIZED ON)
else()
  set(VSCR_SANITIZED OFF)
endif()
if(VSCR_BUILD_FUZZERS)
  # Coverage feedback from all our code; the fuzzing engine itself links
  # into the fuzz targets only.
  target_compile_options(vscr_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
endif()
