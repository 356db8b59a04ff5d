#!/usr/bin/env bash
# Installs the Debian packages that the test suite and the ABI check need and
# that a fresh build machine may lack: pkg-config (the pkg-config consumer
# test), abigail-tools (abidw, abidiff), llvm-14 (llvm-cov, llvm-profdata)
# and clang-tidy-14. Installs only what is missing;
# needs root when anything is.
set -euo pipefail

missing=()
command -v pkg-config >/dev/null || missing+=(pkg-config)
{ command -v abidw && command -v abidiff; } >/dev/null || missing+=(abigail-tools)
# scripts/coverage.sh and scripts/clang-tidy.sh
{ command -v llvm-profdata-14 && command -v llvm-cov-14; } >/dev/null || missing+=(llvm-14)
command -v clang-tidy-14 >/dev/null || missing+=(clang-tidy-14)
if ((${#missing[@]})); then
  echo "Installing ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
