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
#   scripts/install-build-deps.sh --platform P...   and what the cross build
#                                                   for P needs (aarch64, s390x, ppc64le)
#
# .ci/run names in this way what only CI runs. A COMMAND found on PATH
# counts as installed; a PACKAGE given alone, with no COMMAND, is asked of
# dpkg. A platform's cross build (cmake/toolchains/) needs Debian's cross
# compiler, qemu-user to run its programs, and the platform's GoogleTest
# (multiarch, so the dpkg architecture is added first). Not the platform's
# own libc6: qemu's programs would load it beside the cross toolchain's
# loader, a mismatched pair that hangs the suite.
set -euo pipefail

# platform=dpkg architecture:GNU triple:qemu program
platforms=(aarch64=arm64:aarch64-linux-gnu:qemu-aarch64
  s390x=s390x:s390x-linux-gnu:qemu-s390x
  ppc64le=ppc64el:powerpc64le-linux-gnu:qemu-ppc64le)

# dpkg reads the caller's ~/.dpkg.cfg, and warns of one it may not read.
native=$(dpkg --print-architecture 2>/dev/null)
suite=(
  g++=g++ cmake=cmake ninja=ninja-build
  "libgtest-dev:$native"
  nm=binutils readelf=binutils objdump=binutils
  pkg-config=pkg-config
  help2man=help2man parallel=parallel
)

installed() {
  local want=$1
  if [[ $want == *=* ]]; then
    command -v "${want%%=*}" >/dev/null
  else
    # One line per architecture that has it (a machine that cross-builds
    # holds libgtest-dev:s390x too); this machine's own, or "all", counts.
    local statuses
    statuses=$(dpkg-query -W -f='${Architecture} ${Status}\n' "$want" 2>/dev/null) || return 1
    grep -qE "^($(dpkg --print-architecture)|all) install ok installed$" <<<"$statuses"
  fi
}

# The packages of `platform`, after its architecture is known to dpkg.
wanted=()
added_architecture=0
want_platform() {
  local entry fields
  for entry in "${platforms[@]}"; do
    [[ ${entry%%=*} == "$1" ]] || continue
    IFS=: read -r -a fields <<<"${entry#*=}"
    if [[ $native != "${fields[0]}" ]] &&
      ! dpkg --print-foreign-architectures 2>/dev/null | grep -qx "${fields[0]}"; then
      "${as_root[@]}" dpkg --add-architecture "${fields[0]}"
      added_architecture=1
    fi
    wanted+=("${fields[1]}-g++=g++-${fields[1]}" "${fields[2]}=qemu-user"
      "libgtest-dev:${fields[0]}" "libgmock-dev:${fields[0]}")
    return
  done
  echo "$0: no platform '$1' (there are: ${platforms[*]%%=*})" >&2
  exit 2
}

as_root=()
((EUID == 0)) || as_root=(sudo)
while (($#)); do
  case $1 in
    --platform) (($# >= 2)) || { echo "$0: --platform needs a name" >&2; exit 2; }
      want_platform "$2"; shift 2 ;;
    *) wanted+=("$1"); shift ;;
  esac
done

missing=()
for want in "${suite[@]}" "${wanted[@]}"; do
  installed "$want" && continue
  package=${want#*=}
  [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
done
((${#missing[@]} == 0 && !added_architecture)) && exit 0

"${as_root[@]}" apt-get update
((${#missing[@]} == 0)) && exit 0
echo "Installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
