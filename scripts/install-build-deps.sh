#!/usr/bin/env bash
# Installs the Debian packages that the test suite needs and this machine
# lacks: the compiler, CMake and Ninja, GoogleTest, binutils (the checks of
# the built library), pkg-config (the pkg-config consumer test), help2man
# (the tools' manual pages) and GNU parallel (the README's parallel walk).
# Asks for root (through sudo when not root already) only when something
# is missing; otherwise it changes nothing.
#
#   scripts/install-build-deps.sh                   what the test suite needs
#   scripts/install-build-deps.sh COMMAND=PACKAGE... and these as well
#
# .ci/run names in this way what only CI runs. A COMMAND found on PATH
# counts as installed; a PACKAGE given alone, with no COMMAND, is asked of
# dpkg.
set -euo pipefail

suite=(
  g++=g++ cmake=cmake ninja=ninja-build
  libgtest-dev
  nm=binutils readelf=binutils objdump=binutils
  pkg-config=pkg-config
  help2man=help2man parallel=parallel
)

installed() {
  local want=$1
  if [[ $want == *=* ]]; then
    command -v "${want%%=*}" >/dev/null
  else
    # One line for each architecture it is installed for (a cross build's
    # libgtest-dev:arm64 beside libgtest-dev:amd64).
    dpkg-query -W -f='${Status}\n' "$want" 2>/dev/null | grep -x "install ok installed" >/dev/null
  fi
}

missing=()
for want in "${suite[@]}" "$@"; do
  installed "$want" && continue
  package=${want#*=}
  [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
done
((${#missing[@]} == 0)) && exit 0

echo "Installing ${missing[*]}"
as_root=()
((EUID == 0)) || as_root=(sudo)
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
