#!/usr/bin/env bash
# Lists the versioned symbols that the built library needs from glibc and
# the C++ runtime, and fails when one of them is newer than the baseline
# the hosts' systems provide (the glibc level of manylinux_2_28, and the
# C++ runtime of GCC 7.2):
#
#   GLIBC_2.28   GLIBCXX_3.4.24   CXXABI_1.3.11
#
# manylinux_2_28 sets the same ceiling on aarch64, s390x and ppc64le, so
# each cross build's suite checks its own library against it. Those ports'
# oldest glibc versions are younger than x86_64's (GLIBC_2.17 on aarch64 and
# ppc64le, GLIBC_2.2 on s390x) and lie below it all the same.
#
#   scripts/check-symbol-versions.sh [LIBRARY]
#
# LIBRARY defaults to the default preset's build/lib/libVivodStubCollectReader.so.
# Exit 0 within the baseline, 1 above it, 2 when the library cannot be read.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
library=${1:-$root/build/lib/libVivodStubCollectReader.so}
objdump=${OBJDUMP:-objdump}

declare -A newest_allowed=([GLIBC]=2.28 [GLIBCXX]=3.4.24 [CXXABI]=1.3.11)

if [[ ! -r $library ]]; then
  echo "$0: cannot read $library" >&2
  exit 2
fi
if ! table=$("$objdump" -T "$library"); then
  echo "$0: $objdump -T $library failed" >&2
  exit 2
fi

# True when version $1 is newer than version $2 (dotted numbers).
newer_than() {
  [[ $1 != "$2" && $(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -n 1) == "$1" ]]
}

# "FAMILY VERSION SYMBOL" for each symbol the library takes from elsewhere.
# objdump writes the version after the section, in parentheses when it is
# not the default one, and the symbol's name last.
needed=$(awk '$3 == "*UND*" || $4 == "*UND*" {
    for (i = 1; i <= NF; ++i) {
      v = $i
      gsub(/[()]/, "", v)
      if (v ~ /^(GLIBC|GLIBCXX|CXXABI)_[0-9.]+$/) {
        split(v, part, "_")
        print part[1], part[2], $NF
        break
      }
    }
  }' <<<"$table" | sort -k1,1 -k2,2V -k3,3)

if [[ -z $needed ]]; then
  echo "$0: no versioned symbols found in $library; is it a dynamic library?" >&2
  exit 2
fi

echo "Versioned symbols needed by $library:"
failed=0
while read -r family version symbol; do
  mark=""
  if newer_than "$version" "${newest_allowed[$family]}"; then
    mark="  <-- above ${family}_${newest_allowed[$family]}"
    failed=1
  fi
  printf '  %-16s %s%s\n' "${family}_${version}" "$symbol" "$mark"
done <<<"$needed"

for family in GLIBC GLIBCXX CXXABI; do
  newest=$(awk -v f="$family" '$1 == f { print $2 }' <<<"$needed" | sort -V | tail -n 1)
  echo "Newest ${family}: ${newest:-none} (allowed up to ${newest_allowed[$family]})"
done

if [[ $failed -ne 0 ]]; then
  echo "FAIL: $library needs symbol versions above the baseline" >&2
  exit 1
fi
echo "OK: within GLIBC_${newest_allowed[GLIBC]}, GLIBCXX_${newest_allowed[GLIBCXX]}," \
  "CXXABI_${newest_allowed[CXXABI]}"
