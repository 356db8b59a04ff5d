#!/usr/bin/env bash
# Proof of reach: each fault below is planted alone in a scratch copy of the
# checkout, the matching fuzz target runs from its seed corpus for at most
# SECONDS (the copy's fuzz/run.sh, so the fuzz preset and its scaled-down
# limits), and the fault is reverted. Every fault must be found. A run by
# hand after a change to a fuzz target, a model or a limit; no CI step.
#   fuzz/fault-check.sh [SECONDS]   (default 150)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-150}

# The checkout as it stands, uncommitted changes included, without builds.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git ls-files -z --cached --others --exclude-standard |
  tar --null -T - -cf - | tar -xf - -C "$scratch"
cd "$scratch"

# replace FILE OLD NEW: OLD must stand exactly once in FILE.
replace() {
  python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1:]
text = open(path).read()
if text.count(old) != 1:
    sys.exit(f"fault-check: cannot plant the fault in {path}: the code it changes has moved")
open(path, "w").write(text.replace(old, new))
PY
}

# Without a fault every target must pass, or a finding would prove nothing.
fuzz/run.sh 5 >baseline.log 2>&1 || { cat baseline.log; echo "fault-check: a target fails without a fault" >&2; exit 1; }

failed=0
# check TARGET NAME FILE OLD NEW
check() {
  local target=$1 name=$2 file=$3 old=$4 new=$5
  cp "$file" "$file.orig"
  replace "$file" "$old" "$new"
  rm -rf build-fuzz/corpus build-fuzz/artifacts
  cmake --build --preset fuzz >"build-fuzz/$target.build.log" 2>&1 ||
    { tail -n 40 "build-fuzz/$target.build.log"; exit 1; }
  local start status=0 took
  start=$(date +%s.%N)
  fuzz/run.sh "$seconds" "$target" >"build-fuzz/$target.run.log" 2>&1 || status=$?
  took=$(awk -v from="$start" -v to="$(date +%s.%N)" 'BEGIN { printf "%.1f", to - from }')
  mv "$file.orig" "$file"  # reverted
  if [[ $status -ne 0 ]] && compgen -G 'build-fuzz/artifacts/crash-*' >/dev/null; then
    printf 'fault-check: %s found by %s in %s s: %s\n' "$name" "$target" "$took" \
      "$(grep -m1 -E '^invariant violated|^==[0-9]+==ERROR' "build-fuzz/$target.log" || true)"
  else
    printf 'fault-check: %s NOT found by %s within %s s\n' "$name" "$target" "$seconds"
    failed=1
  fi
}

check conversion_fuzzer "the length check before the end of a skip" \
  reader/ProcessStubCollectFile.cpp \
  '      if (m_skipping) {
        m_skipping = false;
        continue;
      }
      if (length > kMaxLineLength) continue;' \
  '      if (length > kMaxLineLength) continue;
      if (m_skipping) {
        m_skipping = false;
        continue;
      }'
check reader_fuzzer "the separator bound one comma too generous" \
  reader/VivodStubCollectReader.cpp \
  'vscr::kSpareSeparators;' 'vscr::kSpareSeparators + 1;'
check walker_fuzzer "a range that starts at its own first byte" \
  reader/include/VivodStubCollectWalk.h \
  'reader.SetSeekOffset(begin - 1)' 'reader.SetSeekOffset(begin)'
exit $failed
