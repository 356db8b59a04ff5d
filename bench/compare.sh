#!/usr/bin/env bash
# Times the library as whole processes on generated files and prints two
# Markdown tables (method and figures: bench/README.md):
#
# - the three targets: the GetItem loop and ProcessStubCollectFile each
#   against its floor loop, the steps every call must take through the same
#   host libraries (bench/tools/mandated-floor.cpp, conversion-floor.cpp),
#   at most 1.10 x the floor's CPU time; CountLines on a file of about
#   1 GiB against the read floor (bench/tools/read-floor.cpp: 128 KiB read
#   calls, nothing counted), at most 1.05 x its CPU time, and against
#   `wc -l`, at least as fast. The conversion pair runs
#   with the stand-in log writer discarding its lines, so that the pair
#   weighs the reader's own work; the pair with the log written follows as
#   information;
# - the peers a host's engineers might use instead, for information only:
#   their ratios weigh our stand-ins against the peer's own parsing.
#
# In between, bench/parallel.sh times collect-walk over one file in two
# --range processes against one, and with its progress line on and off.
#
# CPU seconds are user + sys, the median of the runs, the pair's order
# alternating from run to run. Then checks that peak memory does not grow
# with the input: 100 MB against 1 GB files.
#
#   bench/compare.sh [--records N] [--runs N] [--no-1g] [--no-peers]
#                    [--instructions] [--build DIR] [--keep]
#
# --no-1g times CountLines on 100 MB instead and skips the 1 GB memory row;
# --no-peers leaves the peers out; --instructions also counts the
# instructions of both floor pairs with callgrind, which repeats exactly on
# a noisy machine (both conversion pairs: log discarded and written). Builds what it needs (Release) in DIR (default
# build-bench/). Inputs go to a fresh directory under ${TMPDIR:-/tmp}. The
# Rust csv crate peer is built offline with cargo against the crates of
# Debian's librust-csv-dev; when cargo or that package is missing, the
# script installs what is missing with apt-get (as root).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
records=1000000
runs=5
big=1
peers=1
instructions=0
build="$root/build-bench"
keep=0
usage() {
  echo "usage: $0 [--records N] [--runs N] [--no-1g] [--no-peers] [--instructions]" \
       "[--build DIR] [--keep]" >&2
  exit 2
}
while [[ $# -gt 0 ]]; do
  case $1 in
    --records) records=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --no-1g) big=0; shift ;;
    --no-peers) peers=0; shift ;;
    --instructions) instructions=1; shift ;;
    --build) build=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) usage ;;
  esac
done
needed=(wc cmake ninja)
if [[ $peers == 1 ]]; then needed+=(mawk python3); fi
if [[ $instructions == 1 ]]; then needed+=(valgrind); fi
for tool in "${needed[@]}"; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is needed" >&2; exit 1; }
done

echo "Building the drivers (Release) in $build ..." >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVSCR_BUILD_BENCHMARKS=ON -DVSCR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target vscr-gen vscr-walk vscr-count read-floor vscr-convert \
  getline-floor mandated-floor conversion-floor vscr-rusage >/dev/null
bin="$build/bench"
peer_dir="$root/bench/peers"

# The Rust csv crate peer. Debian's vendored crates stand in for the
# crates.io source, so cargo needs no network; the sources are copied to the
# build directory, where cargo may write its lock file.
build_rust_peer() {
  local registry=/usr/share/cargo/registry missing=()
  command -v cargo >/dev/null || missing+=(cargo)
  compgen -G "$registry/csv-1.*" >/dev/null || missing+=(librust-csv-dev)
  if ((${#missing[@]})); then
    echo "Installing ${missing[*]} ..." >&2
    if [[ $(id -u) != 0 ]]; then
      echo "$0: ${missing[*]} needed; install as root" >&2
      exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
  echo "Building the Rust csv crate peer in $build/rust ..." >&2
  mkdir -p "$build/rust/cargo-home"
  printf '%s\n' '[source.crates-io]' 'replace-with = "debian"' '[source.debian]' \
    "directory = \"$registry\"" '[net]' 'offline = true' >"$build/rust/cargo-home/config.toml"
  rm -rf "$build/rust/csv-names"
  cp -r "$peer_dir/csv-names" "$build/rust/csv-names"
  CARGO_HOME="$build/rust/cargo-home" cargo build --quiet --release --offline \
    --manifest-path "$build/rust/csv-names/Cargo.toml" --target-dir "$build/rust/target"
}
rust_csv="$build/rust/target/release/csv-names"
if [[ $peers == 1 ]]; then build_rust_peer; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-compare-XXXXXX")
if [[ $keep == 0 ]]; then trap 'rm -rf "$work"' EXIT; fi
result="$work/rusage"
# The inputs of the commands below; the memory check at the end swaps them.
collect="$work/collect.lmf"
stubs="$work/stubs.txt"
count=""  # set once the inputs are made
paths="$work/paths.txt"  # every conversion writes here, so the log lines agree

# run NAME COMMAND...: runs COMMAND once with its output discarded and
# appends "CPU_SECONDS MAX_RSS_KIB" to $work/NAME.times.
run() {
  local name=$1
  shift
  "$bin/vscr-rusage" "$result" "$@" >/dev/null 2>/dev/null
  awk '{ printf "%.6f %d\n", $1 + $2, $3 }' "$result" >>"$work/$name.times"
}

# Commands by name. The library's drivers link libVivodStubCollectReader.
cmd_lib_count()     { run lib_count "$bin/vscr-count" "$count"; }
cmd_wc()            { run wc wc -l "$count"; }
cmd_read_floor()    { run read_floor "$bin/read-floor" "$count"; }
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
cmd_rust_csv()      { run rust_csv "$rust_csv" "$collect"; }
cmd_mawk_convert() {
  run mawk_convert mawk -v d=, -v "out=$paths" -f "$peer_dir/convert.awk" "$stubs"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak() { sort -g | tail -n 1; }
cpu() { cut -d' ' -f1 "$work/$1.times" | median; }
rss() { cut -d' ' -f2 "$work/$1.times" | peak; }

# compare LIB OTHER: one warm-up each, then $runs timed runs of the pair,
# the library first in odd runs and the other first in even ones.
compare() {
  local lib=$1 other=$2 i
  "cmd_$lib"; "cmd_$other"
  rm -f "$work/$lib.times" "$work/$other.times"
  for ((i = 1; i <= runs; i++)); do
    if ((i % 2)); then "cmd_$lib"; "cmd_$other"; else "cmd_$other"; "cmd_$lib"; fi
  done
}

# target_row TITLE LIB OTHER OTHER_LABEL KIND LIMIT: KIND "floor" means at
# most LIMIT x the other's time, "faster" at least LIMIT x faster, "info"
# the floor ratio with no target.
target_row() {
  local title=$1 lib=$2 other=$3 label=$4 kind=$5 limit=$6
  awk -v t="$title" -v o="$label" -v l="$(cpu "$lib")" -v c="$(cpu "$other")" -v k="$kind" \
      -v g="$limit" -v lr="$(rss "$lib")" -v orss="$(rss "$other")" 'BEGIN {
    if (k != "faster") { r = l / c; fig = sprintf("%.3f × its time", r); goal = sprintf("≤ %.2f ×", g); ok = r <= g }
    else { r = c / l; fig = sprintf("%.3f × faster", r); goal = sprintf("≥ %.2f × faster", g); ok = r >= g }
    printf "| %s | %s | %.3f | %.3f | %s | %s | %s | %.1f | %.1f |\n",
           t, o, l, c, fig, k == "info" ? "information" : goal, k == "info" ? "–" : ok ? "yes" : "**no**",
           lr / 1024, orss / 1024
  }'
}

# peer_row TITLE LIB PEER PEER_LABEL DEPENDS: DEPENDS names the stand-in
# whose cost weighs in the ratio.
peer_row() {
  local title=$1 lib=$2 peer=$3 label=$4 depends=$5
  awk -v t="$title" -v p="$label" -v l="$(cpu "$lib")" -v c="$(cpu "$peer")" -v d="$depends" \
      -v lr="$(rss "$lib")" -v pr="$(rss "$peer")" 'BEGIN {
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

echo "Timing, $runs runs per pair ..." >&2
compare lib_walk walk_floor
compare lib_convert convert_floor
compare lib_convert_log convert_floor_log
compare lib_count wc
compare lib_count read_floor
if [[ $peers == 1 ]]; then
  for peer in getline mawk_walk python_csv rust_csv; do compare lib_walk "$peer"; done
  compare lib_convert_log mawk_convert
fi

# The floors must do the same work: the same names, the same path list and
# the same log lines (with the log written), and wc the same count. With
# the log discarded the library must still write the same path list.
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
target_row "CountLines" lib_count read_floor "read floor loop" floor 1.05
target_row "CountLines" lib_count wc "wc -l" faster 1.0
target_row "ProcessStubCollectFile, log written" lib_convert_log convert_floor_log \
  "conversion floor loop, log written" info 1.10
echo
echo "Same names as the mandated floor loop: $(same "$work/names.lib" "$work/names.floor");" \
     "same path list as the conversion floor loop: $(same "$work/paths.lib" "$work/paths.floor");" \
     "same log lines: $(same "$work/log.lib" "$work/log.floor");" \
     "same path list with the log discarded: $(same "$work/paths.lib" "$work/paths.discarded");" \
     "same count as wc -l: $([[ $lib_lines == "$wc_lines" ]] && echo yes || echo "**no**")."

if [[ $peers == 1 ]]; then
  python3 "$peer_dir/csv_names.py" "$collect" >"$work/names.py"
  "$rust_csv" "$collect" >"$work/names.rust"
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
  peer_row "GetItem loop" lib_walk rust_csv "Rust csv crate" "$tokenize"
  peer_row "ProcessStubCollectFile, log written" lib_convert_log mawk_convert "mawk conversion" \
    'stand-in `EvDebug`'
  echo
  echo "Same names as Python csv: $(same "$work/names.lib" "$work/names.py");" \
       "as the Rust csv crate: $(same "$work/names.lib" "$work/names.rust");" \
       "same path list as mawk: $(same "$work/paths.lib" "$paths");" \
       "same log lines as mawk: $(same "$work/log.lib" "$work/log.awk")."
fi

# instructions PROGRAM ARGS...: the instructions callgrind counts.
instructions_of() {
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" >/dev/null 2>&1
  awk '/^(summary|totals):/ { n = $2 } END { print n }' "$work/callgrind.out"
}
if [[ $instructions == 1 ]]; then
  echo "Counting instructions with callgrind ..." >&2
  walk=$(instructions_of "$bin/vscr-walk" "$collect")
  walk_floor=$(instructions_of "$bin/mandated-floor" "$collect")
  convert=$(instructions_of "$bin/vscr-convert" --discard-log "$stubs" "$paths" ,)
  convert_floor=$(instructions_of "$bin/conversion-floor" --discard-log "$stubs" "$paths" ,)
  convert_log=$(instructions_of "$bin/vscr-convert" "$stubs" "$paths" ,)
  convert_floor_log=$(instructions_of "$bin/conversion-floor" "$stubs" "$paths" ,)
  echo
  echo "| measure | library instructions | floor instructions | library ÷ floor |"
  echo "|---|---|---|---|"
  awk -v a="$walk" -v b="$walk_floor" 'BEGIN { printf "| GetItem loop | %.0f | %.0f | %.3f |\n", a, b, a / b }'
  awk -v a="$convert" -v b="$convert_floor" \
    'BEGIN { printf "| ProcessStubCollectFile, log discarded | %.0f | %.0f | %.3f |\n", a, b, a / b }'
  awk -v a="$convert_log" -v b="$convert_floor_log" \
    'BEGIN { printf "| ProcessStubCollectFile, log written (information) | %.0f | %.0f | %.3f |\n", a, b, a / b }'
fi
rm -f "$work"/names.* "$work"/paths.* "$work"/log.* "$collect" "$stubs"

# collect-walk over one file in two --range processes, and its progress line.
echo
"$root/bench/parallel.sh" --records "$records" --runs "$runs" --build "$build"

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
