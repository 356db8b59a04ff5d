#!/usr/bin/env bash
# Compares the ABI of the built libVivodStubCollectReader.so with the
# baseline kept in scripts/abi/, or renews that baseline.
#
#   scripts/abi-check.sh check  [BUILD_DIR]   exit 1 when the ABI differs
#   scripts/abi-check.sh update [BUILD_DIR]   rewrite scripts/abi/ from the build
#
# BUILD_DIR defaults to build/, the default preset's tree; the abi preset
# (cmake --preset abi && cmake --build --preset abi) builds the library
# alone the same way in build-abi/. The baseline is taken from such a build
# (RelWithDebInfo, Debian's g++): abidw reads the layout from the debug
# info, so compare builds made the same way.
#
# Only the public interface counts: the exported functions and the types
# that the public header defines or reaches (the class, its argument
# record, and the library types they hold). The dump carries no absolute
# path, so any checkout and build folder give the same bytes.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
baseline=$root/scripts/abi/libVivodStubCollectReader.abi
header=$root/reader/include/VivodStubCollectReader.h

usage() {
  echo "usage: $0 check|update [BUILD_DIR]" >&2
  exit 2
}

[[ $# -ge 1 && $# -le 2 ]] || usage
mode=$1
build=${2:-$root/build}
case $mode in check | update) ;; *) usage ;; esac

for tool in abidw abidiff; do
  if ! command -v "$tool" >/dev/null; then
    echo "$0: $tool not found (Debian: apt-get install abigail-tools)" >&2
    exit 2
  fi
done
library=$build/lib/libVivodStubCollectReader.so
if [[ ! -e $library ]]; then
  echo "$0: no $library; build first (cmake --workflow --preset default)" >&2
  exit 2
fi

# abidw reads the layout from the debug info, and compilers describe the same
# class differently there (g++ gives destructors a hidden int parameter):
# only a g++ build with debug info compares with a g++ baseline.
real_library=$(readlink -f "$library")
producer=$(readelf --debug-dump=info "$real_library" 2>/dev/null |
  sed -n 's/.*DW_AT_producer *: *\(([^)]*): \)\{0,1\}//p' | head -n 1 || true)
if [[ -z $producer ]]; then
  echo "$0: $library has no debug info; build with the default preset (RelWithDebInfo)" >&2
  exit 2
fi
if [[ $producer != "GNU C++"* ]]; then
  echo "$0: the baseline describes a g++ build, but $library was built by: $producer" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

abidw --header-file "$header" --drop-private-types --exported-interfaces-only \
  --no-corpus-path --no-comp-dir-path --no-show-locs --no-architecture \
  --type-id-style hash --out-file "$work/raw.abi" "$real_library"
# Each translation unit is named by its source path; keep it relative to
# the checkout.
sed "s|path='$root/|path='|" "$work/raw.abi" >"$work/current.abi"

if [[ $mode == update ]]; then
  mkdir -p "$(dirname "$baseline")"
  cp "$work/current.abi" "$baseline"
  echo "Wrote ${baseline#"$root"/}. Commit it with the reason for the ABI change."
  exit 0
fi

if [[ ! -f $baseline ]]; then
  echo "$0: no baseline ${baseline#"$root"/}; make one with: $0 update" >&2
  exit 2
fi
status=0
abidiff --harmless "$baseline" "$work/current.abi" >"$work/report" || status=$?
if [[ $status -ne 0 ]]; then
  cat "$work/report"
  echo
  echo "ABI check failed (abidiff status $status): the library no longer matches"
  echo "${baseline#"$root"/}. Hosts are compiled against the class layout and the"
  echo "exported signatures. If the change is meant, renew the baseline with"
  echo "'scripts/abi-check.sh update' and say why in its commit."
  exit 1
fi
echo "ABI check passed: libVivodStubCollectReader.so matches ${baseline#"$root"/}."
