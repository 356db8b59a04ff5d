#!/usr/bin/env bash
# Makes a host SDK that is not host/, for the checks that need one: our
# stand-ins built again with VSCR_HOST_PADDING, which puts private bytes
# ahead of each host class's own members, so that every class is larger
# than host/ declares it; and with versioned SONAMEs (libKaUtils.so.3,
# libKaUtils.so a link to it), as some hosts' SDKs have them.
#
#   [CXX=clang++] [CXXFLAGS=...] scripts/make-host-sdk.sh SDK_DIR
#
# SDK_DIR gets the layout that VSCR_HOST_SDK_DIR expects: include/ with the
# host's three headers, padded, and lib/ with the three libraries.
set -euo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 SDK_DIR" >&2; exit 2; }
host=$(cd "$(dirname "$0")/../host" && pwd)
sdk=$1
rm -rf "$sdk"
mkdir -p "$sdk/include" "$sdk/lib"
for header in KaString.h FetchIndexInfo.h EvDebug.h; do
  { echo "#define VSCR_HOST_PADDING 4096"; cat "$host/$header"; } >"$sdk/include/$header"
done
for pair in KaUtils:KaString LmLib:FetchIndexInfo Divorar:EvDebug; do
  library=lib${pair%%:*}.so
  # shellcheck disable=SC2086 # CXXFLAGS holds several flags
  ${CXX:-c++} -std=c++17 -shared -fPIC -pthread ${CXXFLAGS:-} -I"$sdk/include" -I"$host" \
    -Wl,-soname,"$library.3" -o "$sdk/lib/$library.3" "$host/standins/${pair#*:}.cpp"
  ln -s "$library.3" "$sdk/lib/$library"
done
