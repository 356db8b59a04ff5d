#!/usr/bin/env bash
# Times the library as whole processes on generated files and prints
# Markdown tables (method, targets and figures: bench/README.md): the
# targets, each against its floor or rival; the peers a host's engineers
# might use instead, for information only; the instructions of the floor
# pairs (--instructions); peak memory on 100 MB against 1 GB inputs.
#
#   bench/compare.sh [--records N] [--runs N] [--no-1g] [--no-peers]
#                    [--instructions] [--build DIR] [--keep]
#
# --no-1g times CountLines on 100 MB instead and skips the 1 GB memory row;
# --no-peers leaves the peers out; --instructions counts with callgrind,
# which repeats exactly on a noisy machine. Builds what it needs (Release)
# in DIR (default build-bench/); the inputs go to a fresh directory under
# ${TMPDIR:-/tmp}, removed at the end unless --keep.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
records=1000000 runs=5 big=1 peers=1 instructions=0 build="$root/build-bench" keep=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --records) records=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --no-1g) big=0; shift ;;
    --no-peers) peers=0; shift ;;
    --instructions) instructions=1; shift ;;
    --build) build=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--records N] [--runs N] [--no-1g] [--no-peers] [--instructions]" \
            "[--build DIR] [--keep]" >&2; exit 2 ;;
  esac
done
needed=(wc cmake ninja)
if [[ $peers == 1 ]]; then needed+=(mawk python3); fi
if [[ $instructions == 1 ]]; then needed+=(valgrind); fi
for tool in "${needed[@]}"; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is needed" >&2; exit 1; }
done

echo "Building the drivers (Release) in $build ..." >&2
cmake -S "$root" --preset bench -B "$build" >/dev/null
cmake --build "$build" --target vscr-gen vscr-walk vscr-count read-floor vscr-convert \
  getline-floor mandated-floor conversion-floor vscr-rusage collect-walk >/dev/null
bin="$build/bench"
peer_dir="$root/bench/peers"

work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-compare-XXXXXX")
if [[ $keep == 0 ]]; then trap 'rm -rf "$work"' EXIT; fi
# The inputs of the commands below; the memory check at the end swaps them.
collect="$work/collect.lmf"
stubs="$work/stubs.txt"
count=""  # set once the inputs are made
paths="$work/paths.txt"  # every conversion writes here, so the log lines agree
# collect-walk reuses the collect file it finds under its default name in
# its work folder, so its input list only has to exist.
cw=("$build/tools/collect-walk/collect-walk" --work-dir "$work/walk")
list="$work/walk/input.lst"

# run NAME COMMAND...: runs COMMAND once with its output discarded and
# appends "CPU_SECONDS MAX_RSS_KIB WALL_SECONDS" to $work/NAME.times.
run() {
  local name=$1 start=$EPOCHREALTIME
  shift
  "$bin/vscr-rusage" "$work/$name.rusage" "$@" >/dev/null 2>/dev/null
  awk -v w="$start" -v e="$EPOCHREALTIME" '{ printf "%.6f %d %.6f\n", $1 + $2, $3, e - w }' \
    "$work/$name.rusage" >>"$work/$name.times"
}

# Commands by name. The library's drivers link libVivodStubCollectReader.
cmd_lib_count()     { run lib_count "$bin/vscr-count" "$count"; }
cmd_wc()            { run wc wc -l "$count"; }
cmd_read_floor()    { run read_floor "$bin/read-floor" --count "$count"; }
cmd_lib_walk()      { run lib_walk "$bin/vscr-walk" "$collect"; }
cmd_walk_floor()    { run walk_floor "$bin/mandated-floor" "$collect"; }
# The conversion pair of the target discards the log; the *_log pair writes it.
cmd_lib_convert()   { run lib_convert "$bin/vscr-convert" --discard-log "$stubs" "$paths" ,; }
cmd_convert_floor() { run convert_floor "$bin/conversion-floor" --discard-log "$stubs" "$paths" ,; }
cmd_lib_convert_log()   { run lib_convert_log "$bin/vscr-convert" "$stubs" "$paths" ,; }
cmd_convert_floor_log() { run convert_floor_log "$bin/conversion-floor" "$stubs" "$paths" ,; }
cmd_getline()       { run getline "$bin/getline-floor" "$collect"; }
cmd_mawk_walk()     { run mawk_walk mawk -F, '{print $5}' "$collect"; }
cmd_python_csv()    { run python_csv python3 "$peer_dir/csv_names.py" "$collect"; }
cmd_mawk_convert() {
  run mawk_convert mawk -v d=, -v "out=$paths" -f "$peer_dir/convert.awk" "$stubs"
}
cmd_walk_one()      { run walk_one "${cw[@]}" "$list"; }
cmd_progress_off()  { run progress_off "${cw[@]}" "$list"; }
cmd_progress_on()   { run progress_on "${cw[@]}" --progress "$list"; }
# The two ranges side by side: CPU summed, the larger peak, the wall clock.
cmd_walk_two() {
  local start=$EPOCHREALTIME
  run range1 "${cw[@]}" --range "$range1" "$list" &
  run range2 "${cw[@]}" --range "$range2" "$list" &
  wait
  cat "$work"/range[12].rusage | awk -v w="$start" -v e="$EPOCHREALTIME" '
    { cpu += $1 + $2; if ($3 > rss) rss = $3 } END { printf "%.6f %d %.6f\n", cpu, rss, e - w }
  ' >>"$work/walk_two.times"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# field NAME COLUMN: the median of COLUMN (1 CPU, 3 wall) of NAME's runs;
# rss NAME: the largest peak.
field() { cut -d' ' -f"$2" "$work/$1.times" | median; }
rss() { cut -d' ' -f2 "$work/$1.times" | sort -g | tail -n 1; }

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

# target_row TITLE LIB OTHER OTHER_LABEL KIND LIMIT [COLUMN]: KIND "floor"
# means at most LIMIT x the other's time, "faster" at least LIMIT x faster,
# "info" the floor ratio with no target; COLUMN 3 times the wall clock.
target_row() {
  local col=${7:-1}
  awk -v t="$1" -v o="$4" -v l="$(field "$2" "$col")" -v c="$(field "$3" "$col")" -v k="$5" \
      -v g="$6" -v lr="$(rss "$2")" -v orss="$(rss "$3")" -v wall="$((col == 3))" 'BEGIN {
    if (k != "faster") { r = l / c; fig = sprintf("%.3f × its time", r); goal = sprintf("≤ %.2f ×", g); ok = r <= g }
    else { r = c / l; fig = sprintf("%.3f × faster", r); goal = sprintf("≥ %.2f × faster", g); ok = r >= g }
    printf "| %s | %s | %.3f | %.3f | %s | %s%s | %s | %.1f | %.1f |\n", t, o, l, c, fig,
           k == "info" ? "information" : goal, wall ? ", wall clock" : "",
           k == "info" ? "–" : ok ? "yes" : "**no**", lr / 1024, orss / 1024
  }'
}

# peer_row TITLE LIB PEER PEER_LABEL DEPENDS: DEPENDS names the stand-in
# whose cost weighs in the ratio.
peer_row() {
  awk -v t="$1" -v p="$4" -v l="$(field "$2" 1)" -v c="$(field "$3" 1)" -v d="$5" \
      -v lr="$(rss "$2")" -v pr="$(rss "$3")" 'BEGIN {
    printf "| %s | %s | %.3f | %.3f | %.3f | %s | %.1f | %.1f |\n", t, p, l, c, c / l, d, lr / 1024, pr / 1024
  }'
}

same() { cmp -s "$1" "$2" && echo yes || echo "**no**"; }
mib() { echo $(($(stat -c %s "$1") / 1048576)); }

# collect_file SIZE: the generated collect file of about SIZE bytes, made
# once and kept for the memory check.
collect_file() {
  local file="$work/collect-$1.lmf"
  [[ -e $file ]] || "$bin/vscr-gen" collect "$1" 3 "$file"
  echo "$file"
}

echo "Generating the inputs in $work ..." >&2
"$bin/vscr-gen" collect "$records" 1 "$collect"
"$bin/vscr-gen" stub "$records" 2 "$stubs"
if [[ $big == 1 ]]; then count=$(collect_file 1G); else count=$(collect_file 100M); fi
mkdir "$work/walk"
ln "$collect" "$work/walk/collect_1.lmf"
: >"$list"
mapfile -t shards < <("${cw[@]}" --shards 2 "$list" 2>/dev/null)
range1=${shards[0]/ /:} range2=${shards[1]/ /:}

echo "Timing, $runs runs per pair ..." >&2
compare lib_walk walk_floor
compare lib_convert convert_floor
compare lib_convert_log convert_floor_log
compare lib_count wc
compare lib_count read_floor
compare walk_one walk_two
compare progress_off progress_on
if [[ $peers == 1 ]]; then
  for peer in getline mawk_walk python_csv; do compare lib_walk "$peer"; done
  compare lib_convert_log mawk_convert
fi

# The floors must do the same work: the same names, the same path list and
# the same log lines (with the log written), and wc the same count. With
# the log discarded the library must still write the same path list. The
# two ranges' outputs put together must be the whole walk's.
"$bin/vscr-walk" "$collect" >"$work/names.lib" 2>/dev/null
"$bin/mandated-floor" "$collect" >"$work/names.floor" 2>/dev/null
"$bin/vscr-convert" "$stubs" "$paths" , 2>"$work/log.lib"
mv "$paths" "$work/paths.lib"
"$bin/conversion-floor" "$stubs" "$paths" , 2>"$work/log.floor"
mv "$paths" "$work/paths.floor"
"$bin/vscr-convert" --discard-log "$stubs" "$paths" , 2>/dev/null
mv "$paths" "$work/paths.discarded"
lib_lines=$("$bin/vscr-count" "$count")
wc_lines=$(wc -l <"$count")
"${cw[@]}" "$list" >"$work/walk.whole" 2>/dev/null
for range in "$range1" "$range2"; do "${cw[@]}" --range "$range" "$list" 2>/dev/null; done \
  >"$work/walk.ranges"

echo
echo "$records records: collect file $(mib "$collect") MiB, stub collect file" \
     "$(mib "$stubs") MiB; CountLines on a collect file of $(mib "$count") MiB." \
     "CPU seconds (user + sys) of the whole process, median of $runs."
echo
echo "| measure | against | library s | other s | library's figure | target | met | library max RSS MiB | other max RSS MiB |"
echo "|---|---|---|---|---|---|---|---|---|"
target_row "GetItem loop" lib_walk walk_floor "mandated floor loop" floor 1.10
target_row "ProcessStubCollectFile, log discarded" lib_convert convert_floor \
  "conversion floor loop, log discarded" floor 1.10
target_row "CountLines" lib_count read_floor "read-and-count floor loop" floor 1.05
target_row "CountLines" lib_count wc "wc -l" faster 1.15
target_row "collect-walk, two \`--range\` processes" walk_two walk_one "one process" faster 1.8 3
target_row "collect-walk \`--progress\`" progress_on progress_off "no progress line" floor 1.02
target_row "ProcessStubCollectFile, log written" lib_convert_log convert_floor_log \
  "conversion floor loop, log written" info 1.10
echo
echo "Same names as the mandated floor loop: $(same "$work/names.lib" "$work/names.floor");" \
     "same path list as the conversion floor loop: $(same "$work/paths.lib" "$work/paths.floor");" \
     "same log lines: $(same "$work/log.lib" "$work/log.floor");" \
     "same path list with the log discarded: $(same "$work/paths.lib" "$work/paths.discarded");" \
     "same count as wc -l: $([[ $lib_lines == "$wc_lines" ]] && echo yes || echo "**no**");" \
     "the two ranges put together give the whole walk's lines: $(same "$work/walk.whole" "$work/walk.ranges")."

if [[ $peers == 1 ]]; then
  python3 "$peer_dir/csv_names.py" "$collect" >"$work/names.py"
  mawk -v d=, -v "out=$paths" -f "$peer_dir/convert.awk" "$stubs" 2>"$work/log.awk"
  tokenize='stand-in `Tokenize`'
  echo
  echo "Peers, for information: ratio = peer ÷ library."
  echo
  echo "| measure | peer | library s | peer s | ratio | ratio depends on | library max RSS MiB | peer max RSS MiB |"
  echo "|---|---|---|---|---|---|---|---|"
  peer_row "GetItem loop" lib_walk getline "bare std::getline loop" "$tokenize"
  peer_row "GetItem loop" lib_walk mawk_walk "mawk -F, '{print \$5}'" "$tokenize"
  peer_row "GetItem loop" lib_walk python_csv "Python csv" "$tokenize"
  peer_row "ProcessStubCollectFile, log written" lib_convert_log mawk_convert "mawk conversion" \
    'stand-in `EvDebug`'
  echo
  echo "Same names as Python csv: $(same "$work/names.lib" "$work/names.py");" \
       "same path list as mawk: $(same "$work/paths.lib" "$paths");" \
       "same log lines as mawk: $(same "$work/log.lib" "$work/log.awk")."
fi

# instructions_row TITLE ARGS...: the instructions callgrind counts of
# vscr-convert or vscr-walk (the library) and of its floor, given the same ARGS.
instructions_of() {
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" >/dev/null 2>&1
  awk '/^(summary|totals):/ { n = $2 } END { print n }' "$work/callgrind.out"
}
instructions_row() {
  awk -v t="$1" -v a="$(instructions_of "$bin/$2" "${@:4}")" -v b="$(instructions_of "$bin/$3" "${@:4}")" \
    'BEGIN { printf "| %s | %.0f | %.0f | %.3f |\n", t, a, b, a / b }'
}
if [[ $instructions == 1 ]]; then
  echo "Counting instructions with callgrind ..." >&2
  echo
  echo "| measure | library instructions | floor instructions | library ÷ floor |"
  echo "|---|---|---|---|"
  instructions_row "GetItem loop" vscr-walk mandated-floor "$collect"
  instructions_row "ProcessStubCollectFile, log discarded" vscr-convert conversion-floor \
    --discard-log "$stubs" "$paths" ,
  instructions_row "ProcessStubCollectFile, log written (information)" vscr-convert \
    conversion-floor "$stubs" "$paths" ,
fi
rm -rf "$work"/names.* "$work"/paths.* "$work"/log.* "$work"/walk* "$collect" "$stubs"

# Peak memory against input size: the same on 100 MB and on 1 GB.
sizes=(100M)
if [[ $big == 1 ]]; then sizes+=(1G); fi
echo "Peak memory on larger inputs ..." >&2
echo
echo "| input | CountLines max RSS MiB | GetItem loop max RSS MiB | ProcessStubCollectFile max RSS MiB |"
echo "|---|---|---|---|"
for size in "${sizes[@]}"; do
  collect=$(collect_file "$size")
  count=$collect
  "$bin/vscr-gen" stub "$size" 4 "$stubs"
  rm -f "$work"/*.times
  cmd_lib_count; cmd_lib_walk; cmd_lib_convert
  printf '| %s |' "${size}B"
  for name in lib_count lib_walk lib_convert; do
    awk '{ printf " %.1f |", $2 / 1024 }' "$work/$name.times"
    cut -d' ' -f2 "$work/$name.times" >>"$work/$name.rss"
  done
  echo
  rm -f "$collect" "$stubs" "$paths"
done
# Independent of size: no operation's peak grows by more than 1 MiB, the
# slack of page-granular accounting and the loader.
echo
if [[ $big == 0 ]]; then
  echo "Peak memory on 1 GB inputs not measured (--no-1g)."
  exit 0
fi
for name in lib_count lib_walk lib_convert; do
  sort -n "$work/$name.rss" | awk 'NR == 1 { low = $1 } { high = $1 } END { print high - low }'
done | awk '{ if ($1 > 1024) grown = 1 }
  END { printf "Peak memory independent of input size (within 1 MiB): %s.\n", grown ? "**no**" : "yes" }'
