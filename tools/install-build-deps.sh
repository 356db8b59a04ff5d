#!/usr/bin/env bash
# Installs the Debian packages that the test suite and the ABI check need and
# that a fresh build machine may lack: pkg-config (the pkg-config consumer
# test) and abigail-tools (abidw, abidiff). Installs only what is missing;
# needs root when anything is.
set -euo pipefail

missing=()
command -v pkg-config >/dev/null || missing+=(pkg-config)
{ command -v abidw && command -v abidiff; } >/dev/null || missing+=(abigail-tools)
if ((${#missing[@]})); then
  echo "Installing ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
