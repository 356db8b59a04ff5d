#!/usr/bin/env bash
# Builds the release packages of the commit checked out twice, in two clones
# in two different folders, one after the other, and compares every package
# byte for byte with cmp, as distributions test theirs. When one differs,
# diffoscope (CI installs it) tells which file inside it and how. Only what
# the packages hold is built: no tests, no example.
#
#   scripts/reproducible-check.sh
#
# Works in build/reproducible/; each build's output goes to <clone>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$PWD/build/reproducible
commit=$(git rev-parse HEAD)
rm -rf "$work"
mkdir -p "$work"

# build_packages NAME: a clone of the commit in $work/NAME, packed.
build_packages() {
  local source=$work/$1
  git clone -q --no-checkout . "$source"
  git -C "$source" checkout -q "$commit"
  {
    cmake -S "$source" --preset package -DVSCR_BUILD_TESTS=OFF
    cmake --build "$source/build-package"
    (cd "$source/build-package" && cpack)
  } >"$work/$1.log" 2>&1 || {
    tail -n 40 "$work/$1.log"
    echo "reproducible: the build in $source failed (log: $work/$1.log)" >&2
    exit 1
  }
}

build_packages first
build_packages second-build
differ=0
packages=0
for package in "$work"/first/build-package/*.{deb,ddeb,tar.gz}; do
  other=$work/second-build/build-package/${package##*/}
  packages=$((packages + 1))
  if ! cmp "$package" "$other"; then
    differ=$((differ + 1))
    if command -v diffoscope >/dev/null; then
      diffoscope --no-progress --text - "$package" "$other" | head -n 80 || true
    fi
  fi
done
if ((packages == 0 || differ > 0)); then
  echo "reproducible: $differ of $packages packages differ between two builds of $commit" >&2
  exit 1
fi
echo "reproducible: $packages packages byte-identical in two builds of $commit"
