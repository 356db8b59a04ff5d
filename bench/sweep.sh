#!/usr/bin/env bash
# Sweeps the read block size of a line count: plain read loops and plain
# read-and-count loops (read-floor, with the library's own kernel, into a
# buffer aligned as CountLines aligns its own), and read loops into a buffer
# from new[] as it comes, from 16 KiB to 1 MiB, side by side with CountLines (vscr-count, at the block
# size it is built with) and wc -l, in one run over one file in the page
# cache. Prints a Markdown table and writes it, its data and a gnuplot
# PNG to OUT (method: bench/README.md).
#
#   bench/sweep.sh [--size 800M] [--runs 9] [--build DIR] [--out DIR]
#
# CPU seconds (user + sys) of each whole process, median of RUNS rounds; in
# each round every program runs once, in an order turned by one place per
# round and reversed every other round, so that no program always follows
# the same one. The ratios of the targets are medians of per-round ratios.
# Installs gnuplot-nox (Debian) when it is missing, asking for root only
# then. Builds what it needs (Release) in DIR (default build-bench/); the
# input goes to a fresh directory under ${TMPDIR:-/tmp}, removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
size=800M runs=9 build="$root/build-bench" out=""
while [[ $# -gt 0 ]]; do
  case $1 in
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--size 800M] [--runs 9] [--build DIR] [--out DIR]" >&2; exit 2 ;;
  esac
done
out=${out:-$build/sweep}
"$root/scripts/install-build-deps.sh" gnuplot=gnuplot-nox

echo "Building the drivers (Release) in $build ..." >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVSCR_BUILD_BENCHMARKS=ON -DVSCR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target vscr-gen vscr-count read-floor vscr-rusage >/dev/null
bin="$build/bench"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-sweep-XXXXXX")
trap 'rm -rf "$work"' EXIT

file="$work/collect.lmf"
"$bin/vscr-gen" collect "$size" 3 "$file"
cat "$file" >/dev/null  # into the page cache
lines=$(wc -l <"$file")
# CountLines' block size, in KiB, as the library is built with it.
block=$(sed -n 's/.*kCountBlockSize = std::size_t{\([0-9]*\)} \* 1024;.*/\1/p' "$root/reader/ByteCount.h")

blocks=(16 32 48 64 80 96 112 128 160 192 256 384 512 768 1024)
names=() commands=()
for b in "${blocks[@]}"; do
  names+=("read_$b" "count_$b" "plain_$b")
  commands+=("$bin/read-floor --block $b $file" "$bin/read-floor --count --block $b $file"
             "$bin/read-floor --unaligned --block $b $file")
done
names+=(lib wc)
commands+=("$bin/vscr-count $file" "wc -l $file")
# Every count must agree before anything is timed.
for i in "${!names[@]}"; do
  [[ ${names[i]} == read_* || ${names[i]} == plain_* ]] && continue
  got=$(${commands[i]} | awk '{ print $1 }')
  [[ $got == "$lines" ]] || { echo "$0: ${names[i]} counted $got, not $lines" >&2; exit 1; }
done

count=${#names[@]}
echo "Timing $count programs, $runs rounds, on $(du -h "$file" | cut -f1) ..." >&2
for ((round = 0; round < runs; round++)); do
  for ((k = 0; k < count; k++)); do
    i=$(((k + round) % count))
    ((round % 2 == 0)) || i=$((count - 1 - i))
    "$bin/vscr-rusage" "$work/rusage" ${commands[i]} >/dev/null
    awk -v r="$round" '{ printf "%d %.6f\n", r, $1 + $2 }' "$work/rusage" >>"$work/${names[i]}"
  done
done

# median NAME: the median CPU seconds of NAME; spread NAME: (max - min) / median.
median() { sort -k2 -n "$work/$1" | awk '{ v[NR] = $2 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { sort -k2 -n "$work/$1" | awk -v m="$(median "$1")" '{ v[NR] = $2 } END { printf "%.0f", 100 * (v[NR] - v[1]) / m }'; }
# ratio A B: the median over the rounds of A's time / B's time.
ratio() {
  join <(sort -n "$work/$1") <(sort -n "$work/$2") | awk '{ print $2 / $3 }' | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

best="" best_s=""
: >"$out/sweep.dat"
for b in "${blocks[@]}"; do
  r=$(median "read_$b") c=$(median "count_$b") p=$(median "plain_$b")
  echo "$b $r $c $(spread "read_$b") $(spread "count_$b") $p $(spread "plain_$b")" >>"$out/sweep.dat"
  if [[ -z $best_s ]] || awk -v c="$c" -v b="$best_s" 'BEGIN { exit !(c < b) }'; then
    best=$b best_s=$c
  fi
done
lib_s=$(median lib) wc_s=$(median wc)
lib_vs_best=$(ratio lib "count_$best") wc_vs_lib=$(ratio wc lib)
# The same loop at CountLines' own block size, when the sweep has it: what
# CountLines costs beyond reading and counting.
lib_vs_own=$( [[ -e $work/count_$block ]] && ratio lib "count_$block" || echo 0)
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)

{
  echo "Read block sweep on $(du -h "$file" | cut -f1) ($lines lines) in the page cache, $cpu;"
  echo "CPU seconds (user + sys) of the whole process, median of $runs rounds; spread = (max - min) / median."
  echo
  echo "| block KiB | read loop s | spread | read-and-count loop s | spread | read loop, buffer from new[] s | spread |"
  echo "|---|---|---|---|---|---|---|"
  awk '{ printf "| %d | %.3f | %d %% | %.3f | %d %% | %.3f | %d %% |\n", $1, $2, $4, $3, $5, $6, $7 }' "$out/sweep.dat"
  echo
  echo "| measure | s | spread | figure (median of per-round ratios) | target | met |"
  echo "|---|---|---|---|---|---|"
  awk -v s="$lib_s" -v r="$lib_vs_best" -v b="$block" -v best="$best" -v sp="$(spread lib)" \
    'BEGIN { printf "| CountLines (%d KiB blocks) | %.3f | %d %% | %.3f × the best read-and-count loop (%d KiB) | ≤ 1.05 × | %s |\n", b, s, sp, r, best, (r <= 1.05 ? "yes" : "**no**") }'
  awk -v r="$lib_vs_own" -v b="$block" \
    'BEGIN { if (r > 0) printf "| CountLines against the read-and-count loop at its own block size | | | %.3f × its time | information | – |\n", r }'
  awk -v s="$wc_s" -v r="$wc_vs_lib" -v sp="$(spread wc)" \
    'BEGIN { printf "| wc -l | %.3f | %d %% | %.3f × slower than CountLines | ≥ 1.15 × | %s |\n", s, sp, r, (r >= 1.15 ? "yes" : "**no**") }'
} | tee "$out/sweep.md"

gnuplot <<EOF
set terminal pngcairo size 1000,700 font ",11"
set output "$out/sweep.png"
set title "Line count of $(du -h "$file" | cut -f1) in the page cache: CPU time by read block size\n$cpu, median of $runs rounds"
set xlabel "read block size, KiB (log scale)"
set ylabel "CPU seconds (user + sys)"
set logscale x 2
set xtics (16, 32, 64, 128, 256, 512, 1024)
set xrange [12:1400]
set yrange [0:*]
set grid
set key below maxrows 3
plot "$out/sweep.dat" using 1:2 with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "plain read loop", \
     "$out/sweep.dat" using 1:3 with linespoints lw 2 pt 5 lc rgb "#2ca02c" title "plain read-and-count loop", \
     "$out/sweep.dat" using 1:6 with linespoints lw 1 pt 4 lc rgb "#999999" title "plain read loop, buffer from new[] as it comes", \
     $lib_s with lines lw 2 dt 2 lc rgb "#d62728" title "CountLines ($block KiB blocks)", \
     $wc_s with lines lw 2 dt 3 lc rgb "black" title "wc -l", \
     "-" using 1:2 with points pt 9 ps 2.5 lc rgb "#d62728" title "CountLines at its block size"
$block $lib_s
e
EOF
echo "Wrote $out/sweep.md, $out/sweep.dat and $out/sweep.png" >&2
