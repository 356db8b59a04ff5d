#!/usr/bin/env bash
# Times the library against the tools a host's engineers would otherwise
# use, as whole processes on the same generated files, and prints a
# Markdown table: CPU seconds (user + sys), the median of the runs, with the
# pair's order alternating from run to run, each peer as a ratio to the
# library's figure, and the peak memory (max RSS) of each. Then checks that
# peak memory does not grow with the input: 100 MB against 1 GB files.
# In between, bench/parallel.sh times collect-walk over one file in two
# --range processes against one, and with its progress line on and off.
#
# The first GetItem row is the figure the reader controls: the loop against
# the mandated floor, the steps every GetItem must take through the same
# host libraries (bench/tools/mandated-floor.cpp). Every other GetItem
# ratio also weighs our stand-in Tokenize against the peer's own parsing.
#
#   bench/compare.sh [--records N] [--runs N] [--no-1g] [--build DIR] [--keep]
#
# Builds what it needs (Release) in DIR (default build-bench/ at the top of
# the repository). Inputs go to a fresh directory under ${TMPDIR:-/tmp}.
# The Rust csv crate peer is built offline with cargo against the crates of
# Debian's librust-csv-dev; when cargo or that package is missing, the
# script installs them with apt-get (as root).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
records=1000000
runs=5
big=1
build="$root/build-bench"
keep=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --records) records=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --no-1g) big=0; shift ;;
    --build) build=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--records N] [--runs N] [--no-1g] [--build DIR] [--keep]" >&2; exit 2 ;;
  esac
done
for tool in mawk python3 wc cmake ninja; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is needed" >&2; exit 1; }
done

echo "Building the drivers (Release) in $build ..." >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVSCR_BUILD_BENCHMARKS=ON -DVSCR_BUILD_TESTS=OFF -DVSCR_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" --target vscr-gen vscr-walk vscr-count vscr-convert \
  getline-floor mandated-floor vscr-rusage >/dev/null
bin="$build/bench"
peers="$root/bench/peers"

# The Rust csv crate peer. Debian's vendored crates stand in for the
# crates.io source, so cargo needs no network; the sources are copied to the
# build directory, where cargo may write its lock file.
registry=/usr/share/cargo/registry
if ! command -v cargo >/dev/null || ! compgen -G "$registry/csv-1.*" >/dev/null; then
  echo "Installing cargo and librust-csv-dev ..." >&2
  if [[ $(id -u) != 0 ]]; then
    echo "$0: cargo and librust-csv-dev are needed; install them as root" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    cargo librust-csv-dev >/dev/null
fi
echo "Building the Rust csv crate peer in $build/rust ..." >&2
mkdir -p "$build/rust/cargo-home"
printf '%s\n' '[source.crates-io]' 'replace-with = "debian"' '[source.debian]' \
  "directory = \"$registry\"" '[net]' 'offline = true' >"$build/rust/cargo-home/config.toml"
rm -rf "$build/rust/csv-names"
cp -r "$peers/csv-names" "$build/rust/csv-names"
CARGO_HOME="$build/rust/cargo-home" cargo build --quiet --release --offline \
  --manifest-path "$build/rust/csv-names/Cargo.toml" --target-dir "$build/rust/target"
rust_csv="$build/rust/target/release/csv-names"

work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-compare-XXXXXX")
if [[ $keep == 0 ]]; then trap 'rm -rf "$work"' EXIT; fi
result="$work/rusage"

echo "Generating $records-record files in $work ..." >&2
"$bin/vscr-gen" collect "$records" 1 "$work/collect.lmf"
"$bin/vscr-gen" stub "$records" 2 "$work/stubs.txt"

# run NAME COMMAND...: runs COMMAND once with its output discarded (the
# conversions write their path list into $work) and appends
# "CPU_SECONDS MAX_RSS_KIB" to $work/NAME.times.
run() {
  local name=$1
  shift
  "$bin/vscr-rusage" "$result" "$@" >/dev/null 2>/dev/null
  awk '{ printf "%.6f %d\n", $1 + $2, $3 }' "$result" >>"$work/$name.times"
}

# Commands by name. The library's drivers link libVivodStubCollectReader.
cmd_lib_count()   { run lib_count "$bin/vscr-count" "$work/collect.lmf"; }
cmd_wc()          { run wc wc -l "$work/collect.lmf"; }
cmd_lib_walk()    { run lib_walk "$bin/vscr-walk" "$work/collect.lmf"; }
cmd_floor()       { run floor "$bin/mandated-floor" "$work/collect.lmf"; }
cmd_getline()     { run getline "$bin/getline-floor" "$work/collect.lmf"; }
cmd_mawk_walk()   { run mawk_walk mawk -F, '{print $5}' "$work/collect.lmf"; }
cmd_python_csv()  { run python_csv python3 "$peers/csv_names.py" "$work/collect.lmf"; }
cmd_rust_csv()    { run rust_csv "$rust_csv" "$work/collect.lmf"; }
cmd_lib_convert() { run lib_convert "$bin/vscr-convert" "$work/stubs.txt" "$work/paths.txt" ,; }
cmd_mawk_convert() {
  run mawk_convert mawk -v d=, -v "out=$work/paths.txt" -f "$peers/convert.awk" "$work/stubs.txt"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak() { sort -g | tail -n 1; }

# compare LIB PEER: one warm-up each, then $runs timed runs of the pair,
# the library first in odd runs and the peer first in even ones.
compare() {
  local lib=$1 peer=$2 i
  "cmd_$lib"; "cmd_$peer"
  rm -f "$work/$lib.times" "$work/$peer.times"
  for ((i = 1; i <= runs; i++)); do
    if ((i % 2)); then "cmd_$lib"; "cmd_$peer"; else "cmd_$peer"; "cmd_$lib"; fi
  done
}

# row TITLE LIB PEER PEER_LABEL TARGET DEPENDS: TARGET is the least ratio
# peer CPU / library CPU that meets the goal, or "-" for none; DEPENDS
# names the stand-in code whose cost weighs in the ratio.
row() {
  local title=$1 lib=$2 peer=$3 label=$4 target=$5 depends=$6
  local lib_cpu peer_cpu lib_rss peer_rss
  lib_cpu=$(cut -d' ' -f1 "$work/$lib.times" | median)
  peer_cpu=$(cut -d' ' -f1 "$work/$peer.times" | median)
  lib_rss=$(cut -d' ' -f2 "$work/$lib.times" | peak)
  peer_rss=$(cut -d' ' -f2 "$work/$peer.times" | peak)
  awk -v t="$title" -v p="$label" -v l="$lib_cpu" -v c="$peer_cpu" -v g="$target" \
      -v d="$depends" -v lr="$lib_rss" -v pr="$peer_rss" 'BEGIN {
    ratio = c / l
    goal = g == "-" ? "none" : sprintf("≥ %.3f", g)
    met = g == "-" ? "–" : (ratio >= g ? "yes" : "**no**")
    printf "| %s | %s | %.3f | %.3f | %.3f | %s | %s | %s | %.1f | %.1f |\n",
           t, p, l, c, ratio, goal, met, d, lr / 1024, pr / 1024
  }'
}

echo "Timing, $runs runs per pair ..." >&2
compare lib_count wc
compare lib_walk floor
compare lib_walk getline
compare lib_walk mawk_walk
compare lib_walk python_csv
compare lib_walk rust_csv
compare lib_convert mawk_convert

# The peers must do the same work: the same names, the same path list and
# the same log lines.
"$bin/vscr-walk" "$work/collect.lmf" >"$work/names.lib" 2>/dev/null
"$bin/mandated-floor" "$work/collect.lmf" >"$work/names.floor" 2>/dev/null
python3 "$peers/csv_names.py" "$work/collect.lmf" >"$work/names.py"
"$rust_csv" "$work/collect.lmf" >"$work/names.rust"
"$bin/vscr-convert" "$work/stubs.txt" "$work/paths.txt" , 2>"$work/log.lib"
mv "$work/paths.txt" "$work/paths.lib"
mawk -v d=, -v "out=$work/paths.txt" -f "$peers/convert.awk" "$work/stubs.txt" 2>"$work/log.awk"
same() { cmp -s "$1" "$2" && echo yes || echo "**no**"; }

echo
echo "$records records: collect file $(($(stat -c %s "$work/collect.lmf") / 1048576)) MiB," \
     "stub collect file $(($(stat -c %s "$work/stubs.txt") / 1048576)) MiB;" \
     "CPU seconds (user + sys) of the whole process, median of $runs; ratio = peer ÷ library."
echo
echo "| measure | peer | library s | peer s | ratio | target | met | ratio depends on | library max RSS MiB | peer max RSS MiB |"
echo "|---|---|---|---|---|---|---|---|---|---|"
tokenize='stand-in `Tokenize`'
row "CountLines" lib_count wc "wc -l" 0.8 "no stand-in"
row "GetItem loop" lib_walk floor "mandated floor loop" 0.9090909 \
  "the reader alone: the same $tokenize on both sides"
row "GetItem loop" lib_walk getline "bare std::getline loop" 0.3333333 "$tokenize"
row "GetItem loop" lib_walk mawk_walk "mawk -F, '{print \$5}'" 1.2 "$tokenize"
row "GetItem loop" lib_walk python_csv "Python csv" 10 "$tokenize"
row "GetItem loop" lib_walk rust_csv "Rust csv crate" - "$tokenize"
row "ProcessStubCollectFile" lib_convert mawk_convert "mawk conversion" 2 'stand-in `EvDebug`'
echo
echo "Same names as the mandated floor loop: $(same "$work/names.lib" "$work/names.floor");" \
     "as Python csv: $(same "$work/names.lib" "$work/names.py");" \
     "as the Rust csv crate: $(same "$work/names.lib" "$work/names.rust");" \
     "same path list as mawk: $(same "$work/paths.lib" "$work/paths.txt");" \
     "same log lines as mawk: $(same "$work/log.lib" "$work/log.awk")."
rm -f "$work"/names.* "$work"/paths.* "$work"/log.* "$work/collect.lmf" "$work/stubs.txt"

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
  "$bin/vscr-gen" collect "$size" 3 "$work/collect.lmf"
  "$bin/vscr-gen" stub "$size" 4 "$work/stubs.txt"
  rm -f "$work"/*.times
  cmd_lib_count; cmd_lib_walk; cmd_lib_convert
  printf '| %s |' "${size}B"
  for name in lib_count lib_walk lib_convert; do
    awk '{ printf " %.1f |", $2 / 1024 }' "$work/$name.times"
    cut -d' ' -f2 "$work/$name.times" >>"$work/$name.rss"
  done
  echo
  rm -f "$work/collect.lmf" "$work/stubs.txt" "$work/paths.txt"
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
