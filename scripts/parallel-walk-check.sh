#!/usr/bin/env bash
# Runs the README's parallel walk as it stands, and its job-array line, on a
# generated collect file: the ranges that --shards prints, walked apart and
# put together in order, must give a single walk's standard output byte for
# byte.
#
#   scripts/parallel-walk-check.sh [COLLECT_WALK]
#
# COLLECT_WALK defaults to the default preset's build/tools/collect-walk/collect-walk.
set -euo pipefail
cd "$(dirname "$0")/.."
walk=$(realpath "${1:-build/tools/collect-walk/collect-walk}")
work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-parallel-walk.XXXXXX")
trap 'rm -rf "$work"' EXIT
source scripts/walk-check-setup.sh
walk_check_setup "$walk" "$work" list.lst

# The README's lines.
set -o pipefail
{
  collect-walk --shards 8 list.lst |
    parallel -k --colsep ' ' collect-walk --range {1}:{2} list.lst >walk.txt
} 2>walk.err
for task in 1 2 3 4 5 6 7 8; do collect-walk --shard "$task/8" list.lst; done >array.txt 2>/dev/null

cmp single.txt walk.txt
cmp single.txt array.txt
echo "parallel-walk: 8 ranges by GNU parallel and by --shard I/8 give the single walk's" \
  "$(wc -l <single.txt) lines byte for byte ($(tail -n 1 single.err))"
