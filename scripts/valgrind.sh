#!/usr/bin/env bash
# Runs the test programs and the fuzz corpora under valgrind memcheck, on
# the default build: those that the build lists in memcheck-programs.txt
# (vscr_add_memcheck in cmake/ProjectPrograms.cmake). Fails on any invalid read or write, use of
# uninitialised memory, or definite or indirect leak, and on a failing
# program.
#   scripts/valgrind.sh
# Prints one line per program. The build's output, each program's own
# output and valgrind's report go to files in build/valgrind/; a report is
# printed only when valgrind finds something, and a program's output only
# when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
logs=build/valgrind

mkdir -p "$logs"
if ! { cmake --preset default && cmake --build --preset default; } >"$logs/build.log" 2>&1; then
  tail -n 100 "$logs/build.log"
  echo "valgrind: the default build failed (whole log: $logs/build.log)" >&2
  exit 1
fi

failed=0
# memcheck NAME PROGRAM ARGS...
memcheck() {
  local name=$1 status=0
  shift
  valgrind --quiet --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
    --track-origins=yes --log-file="$logs/$name.valgrind" "$@" >"$logs/$name.output" 2>&1 ||
    status=$?
  if [[ $status -eq 0 ]]; then
    echo "clean   $name"
    return
  fi
  failed=1
  if [[ -s $logs/$name.valgrind ]]; then
    echo "ERRORS  $name"
    cat "$logs/$name.valgrind"
  else
    echo "FAILED  $name (status $status; valgrind found nothing)"
    tail -n 60 "$logs/$name.output"
  fi
}

# Each line: the name, the program and its arguments, separated by tabs.
# The list comes on descriptor 3, so that no program reads it.
checked=0
while IFS=$'\t' read -r -u 3 -a program; do
  memcheck "${program[@]}"
  checked=$((checked + 1))
done 3<build/memcheck-programs.txt
if [[ $checked -eq 0 ]]; then
  echo "valgrind: the build lists no program (build/memcheck-programs.txt)" >&2
  exit 1
fi
if [[ $failed -ne 0 ]]; then
  echo "valgrind: see $logs/ for every program's output and report" >&2
  exit 1
fi
echo "valgrind: clean ($checked programs)"
