# What the compiler flags of this build imply. Sanitizer, fuzzing and
# coverage builds take their instrumentation from CMAKE_CXX_FLAGS (the
# sanitize and fuzz presets, scripts/coverage.sh, .ci/run's tsan step),
# which reach every target, compile and link alike.
string(TOUPPER "${CMAKE_BUILD_TYPE}" vscr_build_type)
set(vscr_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${vscr_build_type}}")

# VSCR_SANITIZED: a sanitizer runtime, or libFuzzer's coverage hooks, will be
# linked into the programs. Our shared libraries then leave symbols for the
# executable to define, so they link without --no-undefined; outside
# programs, built without the flags, cannot load them; and peak memory is
# the sanitizer's, not the reader's.
if(vscr_flags MATCHES "(^| )-fsanitize=")
  set(VSCR_SANITIZED ON)
else()
  set(VSCR_SANITIZED OFF)
endif()

# VSCR_FUZZING: all our code gives libFuzzer its coverage feedback
# (-fsanitize=fuzzer-no-link), so fuzz/ links the engine into its targets
# rather than a main that replays the corpus.
if(vscr_flags MATCHES "(^| )-fsanitize=([^ ]*,)?fuzzer-no-link")
  set(VSCR_FUZZING ON)
else()
  set(VSCR_FUZZING OFF)
endif()

# A fuzz build scales the reader's line limits down (reader/LineLimits.h), so
# what it builds must never reach an installation or a package.
if(vscr_flags MATCHES "(^| )-DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION( |=|$)" AND VSCR_INSTALL)
  message(FATAL_ERROR "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION scales the reader's limits "
    "down: such a build is for fuzzing only and needs -DVSCR_INSTALL=OFF")
endif()
