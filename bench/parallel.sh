#!/usr/bin/env bash
# Times collect-walk on one collect file of generated records, as whole
# processes, and prints a Markdown table:
#   - wall-clock seconds of a whole walk in one process against the same
#     file walked as two `--range` processes side by side (the ranges that
#     `--shards 2` prints); target: at least 1.8 x faster on 2 cores;
#   - CPU seconds (user + sys) of a whole walk with the progress line forced
#     on (`--progress`) against off; target: at most 1.02 x.
# Medians of the runs, with the pair's order alternating from run to run.
# Names go to /dev/null. First it checks that the two ranges' outputs,
# summaries aside, put together are the whole walk's.
#
#   bench/parallel.sh [--records N] [--runs N] [--build DIR]
#
# bench/compare.sh runs it with its own options. Builds what it needs
# (Release) in DIR (default build-bench/ at the top of the repository).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
records=1000000
runs=5
build="$root/build-bench"
while [[ $# -gt 0 ]]; do
  case $1 in
    --records) records=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--records N] [--runs N] [--build DIR]" >&2; exit 2 ;;
  esac
done

echo "Building collect-walk (Release) in $build ..." >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVSCR_BUILD_BENCHMARKS=ON -DVSCR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target collect-walk vscr-gen vscr-rusage >/dev/null
walk="$build/tools/collect-walk/collect-walk"
bin="$build/bench"

work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-parallel-XXXXXX")
trap 'rm -rf "$work"' EXIT
# collect-walk reuses the collect file it finds under its default name, so
# INPUT only has to exist.
echo "Generating a $records-record collect file in $work ..." >&2
"$bin/vscr-gen" collect "$records" 1 "$work/collect_1.lmf"
: >"$work/input.lst"
cw() { "$walk" --work-dir "$work" "$@" "$work/input.lst"; }

mapfile -t shards < <(cw --shards 2 2>/dev/null)
range1=${shards[0]/ /:}
range2=${shards[1]/ /:}

# The lines before the summary, which begins with "collect file: ".
records_of() { sed '/^collect file: /,$d' "$1"; }
cw >"$work/whole.out" 2>/dev/null
cw --range "$range1" >"$work/range1.out" 2>/dev/null
cw --range "$range2" >"$work/range2.out" 2>/dev/null
if cmp -s <(records_of "$work/whole.out") \
          <(records_of "$work/range1.out"; records_of "$work/range2.out"); then
  same=yes
else
  same="**no**"
fi
rm -f "$work"/*.out

# Wall-clock seconds of the command line given, appended to $work/NAME.times.
wall() {
  local name=$1
  shift
  local start=$EPOCHREALTIME
  "$@"
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", b - a }' >>"$work/$name.times"
}
one_process() { cw >/dev/null 2>&1; }
two_processes() {
  cw --range "$range1" >/dev/null 2>&1 &
  cw --range "$range2" >/dev/null 2>&1 &
  wait
}
# CPU seconds (user + sys) of one whole walk, appended to $work/NAME.times.
cpu() {
  local name=$1
  shift
  "$bin/vscr-rusage" "$work/rusage" "$walk" --work-dir "$work" "$@" "$work/input.lst" \
    >/dev/null 2>/dev/null
  awk '{ printf "%.6f\n", $1 + $2 }' "$work/rusage" >>"$work/$name.times"
}

cmd_one()          { wall one one_process; }
cmd_two()          { wall two two_processes; }
cmd_progress_off() { cpu progress_off; }
cmd_progress_on()  { cpu progress_on --progress; }

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# compare A B: one warm-up each, then $runs timed runs of the pair, A first
# in odd runs and B first in even ones.
compare() {
  local a=$1 b=$2 i
  "cmd_$a"; "cmd_$b"
  rm -f "$work/$a.times" "$work/$b.times"
  for ((i = 1; i <= runs; i++)); do
    if ((i % 2)); then "cmd_$a"; "cmd_$b"; else "cmd_$b"; "cmd_$a"; fi
  done
}

echo "Timing, $runs runs per pair ..." >&2
compare one two
compare progress_off progress_on

# row TITLE A_LABEL A B_LABEL B RATIO_OF TARGET: RATIO_OF is "a/b" or "b/a";
# TARGET is ">= x" or "<= x".
row() {
  local title=$1 a=$3 b=$5 ratio_of=$6 target=$7
  awk -v t="$title" -v al="$2" -v bl="$4" -v ratio_of="$ratio_of" -v goal="$target" \
      -v a="$(median <"$work/$a.times")" -v b="$(median <"$work/$b.times")" 'BEGIN {
    ratio = ratio_of == "a/b" ? a / b : b / a
    split(goal, g, " ")
    met = (g[1] == ">=" ? ratio >= g[2] : ratio <= g[2]) ? "yes" : "**no**"
    printf "| %s | %s %.3f | %s %.3f | %.3f × | %s × | %s |\n", t, al, a, bl, b, ratio, goal, met
  }'
}

echo
echo "collect-walk on $records records ($(($(stat -c %s "$work/collect_1.lmf") / 1048576)) MiB)," \
     "names to /dev/null; median of $runs runs."
echo
echo "| measure | A, s | B, s | ratio | target | met |"
echo "|---|---|---|---|---|---|"
row "wall-clock of the walk: speed-up of two \`--range\` processes side by side" \
  "one process" one "two processes" two "a/b" ">= 1.8"
row "CPU (user + sys) of the walk: cost of the progress line" \
  "off" progress_off "on (\`--progress\`)" progress_on "b/a" "<= 1.02"
echo
echo "The two ranges put together give the whole walk's lines: $same."
