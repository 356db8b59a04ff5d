# Clang source-based coverage of the shipped library (VSCR_COVERAGE), for
# scripts/coverage.sh (the `coverage` preset). Only the reader is
# instrumented: the figures that matter are those of reader/, and the tests
# stay as fast as they are.

if(VSCR_COVERAGE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VSCR_COVERAGE needs clang (-fprofile-instr-generate)")
  endif()
  target_compile_options(VivodStubCollectReader PRIVATE
    -fprofile-instr-generate -fcoverage-mapping)
  # The profile runtime links into the library itself, which writes its
  # counters when the process exits, wherever LLVM_PROFILE_FILE says.
  target_link_options(VivodStubCollectReader PRIVATE -fprofile-instr-generate)
endif()
