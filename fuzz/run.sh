#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset) and runs each for a while.
#   fuzz/run.sh [SECONDS_PER_TARGET [TARGET...]]   (default 60, every target)
# The targets are those that fuzz/CMakeLists.txt adds, as the build lists
# them in build-fuzz/fuzz/targets. New inputs go to build-fuzz/corpus/<target>;
# the seed corpus in fuzz/corpus/<target> is read, never written. Crashes are
# saved in build-fuzz/artifacts/. The build's output and each target's log go
# to build-fuzz/*.log, printed only when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift $(($# > 0 ? 1 : 0))

# The preset builds all our code under ASan and UBSan with libFuzzer's
# coverage feedback, and with the line limits scaled down so that inputs of
# at most 8 KiB cross them (reader/LineLimits.h).
mkdir -p build-fuzz
if ! { cmake --preset fuzz && cmake --build --preset fuzz; } >build-fuzz/build.log 2>&1; then
  tail -n 100 build-fuzz/build.log
  echo "fuzz: the build failed (whole log: build-fuzz/build.log)" >&2
  exit 1
fi
if [[ $# -eq 0 ]]; then mapfile -t targets <build-fuzz/fuzz/targets; else targets=("$@"); fi

# The targets make their scratch files under TMPDIR. The conversion syncs
# its output to disk: on a tmpfs that costs nothing, and the targets run
# several times faster. Without one they stay in the build.
if [[ -d /dev/shm && -w /dev/shm ]]; then
  TMPDIR=$(mktemp -d /dev/shm/vscr-fuzz.XXXXXX)
  trap 'rm -rf "$TMPDIR"' EXIT
else
  TMPDIR=$PWD/build-fuzz/tmp
  mkdir -p "$TMPDIR"
fi
export TMPDIR
mkdir -p build-fuzz/artifacts
for target in "${targets[@]}"; do
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
