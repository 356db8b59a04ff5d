#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while.
#   fuzz/run.sh [SECONDS_PER_TARGET]   (default 60)
# New inputs go to build-fuzz/corpus/<target>; the seed corpus in
# fuzz/corpus/<target> is read, never written. Crashes are saved in
# build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# The targets make their scratch files under TMPDIR; keep them in the build.
export TMPDIR=$PWD/build-fuzz/tmp
mkdir -p build-fuzz/artifacts "$TMPDIR"
for target in reader_fuzzer conversion_fuzzer; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  build-fuzz/fuzz/$target "$corpus" "fuzz/corpus/$target" \
    -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
    -artifact_prefix=build-fuzz/artifacts/ 2>build-fuzz/$target.log ||
    { tail -n 60 build-fuzz/$target.log; exit 1; }
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' build-fuzz/$target.log
  grep -E 'Done [0-9]+ runs' build-fuzz/$target.log
done
