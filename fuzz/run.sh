#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while.
#   fuzz/run.sh [SECONDS_PER_TARGET]   (default 60)
# New inputs go to build-fuzz/corpus/<target>; the seed corpus in
# fuzz/corpus/<target> is read, never written. Crashes are saved in
# build-fuzz/artifacts/. The build's output and each target's log go to
# build-fuzz/*.log, printed only when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

# All our code gives libFuzzer its coverage feedback (fuzzer-no-link) and
# runs under AddressSanitizer and UBSan: fuzzing without them finds crashes
# only. The engine links into the fuzz targets alone.
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"
mkdir -p build-fuzz
if ! { cmake --preset default -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ \
         -DCMAKE_CXX_FLAGS="$flags" -DVSCR_BUILD_TESTS=OFF -DVSCR_BUILD_TOOLS=OFF &&
       cmake --build build-fuzz; } >build-fuzz/build.log 2>&1; then
  tail -n 100 build-fuzz/build.log
  echo "fuzz: the build failed (whole log: build-fuzz/build.log)" >&2
  exit 1
fi

# The targets make their scratch files under TMPDIR; keep them in the build.
export TMPDIR=$PWD/build-fuzz/tmp
mkdir -p build-fuzz/artifacts "$TMPDIR"
for target in reader_fuzzer conversion_fuzzer; do
  corpus=build-fuzz/corpus/$target
  log=build-fuzz/$target.log
  mkdir -p "$corpus"
  build-fuzz/fuzz/$target "$corpus" "fuzz/corpus/$target" \
    -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
    -artifact_prefix=build-fuzz/artifacts/ >"$log" 2>&1 ||
    { tail -n 60 "$log"; echo "fuzz: $target failed (whole log: $log)" >&2; exit 1; }
  awk -v t="$target" -v s="$seconds" '
    /^stat::number_of_executed_units:/ { runs = $NF }
    /^stat::peak_rss_mb:/ { rss = $NF }
    END { printf "fuzz: %s for %d s, %d runs, peak RSS %d MB, no crash\n", t, s, runs, rss }' "$log"
done
