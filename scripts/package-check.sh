#!/usr/bin/env bash
# Builds the release packages as `cmake --workflow --preset package` makes
# them (a trial release, over our stand-ins) and checks them as their users
# meet them, with nothing installed on this machine:
# - lintian --pedantic on each .deb and -dbgsym: no tag that cmake/packaging/
#   does not override with its reason;
# - the file lists of the packages and the tarball, with no stand-in in any;
#   control fields; the symbols file against the library's exports;
# - a trial host: the packages unpacked into a root, the stand-ins put into
#   its /usr/lib/Base64 by the command of cmake/packaging/README.md, and the
#   programs run there with no LD_LIBRARY_PATH; the same for the tarball;
# - the find_package consumer on the unpacked -dev package, the pkg-config
#   consumer on the tarball, and the -dev package's .pc file, which must
#   print -lVivodStubCollectReader alone.
# Installs what it needs from Debian when missing (as root). Works in
# build-package/ and build-package-check/, whose log is shown on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build-package-check
log=$work/package-check.log
build=$root/build-package
export LC_ALL=C
unset LD_LIBRARY_PATH

fail() {
  tail -n 60 "$log" >&2 && echo "package-check: $* (whole log: $log)" >&2 && exit 1
}
run() { "$@" >>"$log" 2>&1 || fail "failed: $*"; }
step() { echo "== $*" | tee -a "$log"; }

rm -rf "$work" && mkdir -p "$work" && : >"$log"
run scripts/install-build-deps.sh lintian=lintian dpkg-shlibdeps=dpkg-dev file=file
step "The package preset's workflow"
rm -f "$build"/*.deb "$build"/*.ddeb "$build"/*.tar.gz
run env -u VSCR_HOST_SDK_DIR cmake --workflow --preset package --fresh

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
major=${version%%.*} deb_version=$version~standins
config=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt" | tr A-Z a-z)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
runtime=libvivodstubcollectreader$major dev=libvivodstubcollectreader-dev
tools=vivodstubcollectreader-tools
top=VivodStubCollectReader-$version-standins-Linux-$(uname -m)
packages=("$runtime" "$dev" "$tools" "$runtime-dbgsym" "$tools-dbgsym")
deb() { ls "$build/${1}_${deb_version}_"*.*deb; }

step "lintian --pedantic"
debs=()
for package in "${packages[@]}"; do debs+=("$(deb "$package")") || fail "no package $package"; done
# All at once, as of one upload: a -dbgsym's doc link points at its package.
run lintian --display-info --pedantic --fail-on error,warning,info,pedantic "${debs[@]}"

step "File lists, with no stand-in in any package"
# Files and links under DIR, one a line: "f path" or "l path -> target".
listing() { (cd "$1" && find . -mindepth 1 ! -type d -printf '%y %P -> %l\n') | sed 's/ -> $//' | sort; }
docs() { printf 'f usr/share/doc/%s/changelog.gz\nf usr/share/doc/%s/copyright\n' "$1" "$1"; }
expected_runtime() {
  local lib=usr/lib/$multiarch/libVivodStubCollectReader.so
  printf '%s\n' "l $lib.$major -> libVivodStubCollectReader.so.$version" "f $lib.$version" \
    "f usr/share/lintian/overrides/$runtime"
  docs "$runtime"
}
expected_dev() {
  local lib=usr/lib/$multiarch name=VivodStubCollectReader
  printf '%s\n' "f usr/include/$name.h" "f usr/include/VivodStubCollectWalk.h" \
    "l $lib/lib$name.so -> lib$name.so.$major" "f $lib/pkgconfig/vivodstubcollectreader.pc"
  printf "f $lib/cmake/$name/$name%s.cmake\n" Config ConfigVersion Targets "Targets-$config"
  docs "$dev"
}
expected_tools() {
  printf '%s\n' "f usr/bin/collect-walk" "f usr/bin/vscr-host-check" \
    "f usr/lib/$multiarch/VivodStubCollectReader/vscr-host-check-probes.so" \
    "f usr/share/man/man1/collect-walk.1.gz" "f usr/share/man/man1/vscr-host-check.1.gz" \
    "f usr/share/lintian/overrides/$tools"
  printf 'f usr/share/VivodStubCollectReader/sample/%s\n' archived-files.lst stub-collect.txt
  docs "$tools"
}
expected_tarball() {
  local lib=$top/lib/$multiarch name=VivodStubCollectReader
  printf '%s\n' "f $top/bin/collect-walk" "f $top/bin/vscr-host-check" \
    "f $top/include/$name.h" "f $top/include/VivodStubCollectWalk.h" "l $lib/lib$name.so -> lib$name.so.$major" \
    "l $lib/lib$name.so.$major -> lib$name.so.$version" "f $lib/lib$name.so.$version" \
    "f $lib/pkgconfig/vivodstubcollectreader.pc" "f $lib/$name/vscr-host-check-probes.so" \
    "f $top/share/$name/sample/archived-files.lst" "f $top/share/$name/sample/stub-collect.txt" \
    "f $top/share/doc/$name/README.md" "f $top/share/doc/$name/copyright"
  printf "f $top/share/man/man1/%s.1.gz\n" collect-walk vscr-host-check
  printf "f $lib/cmake/$name/$name%s.cmake\n" Config ConfigVersion Targets "Targets-$config"
}
# A -dbgsym package: one .debug file a binary, named by its build ID.
expected_dbgsym() {
  printf 'l usr/share/doc/%s-dbgsym -> %s\n' "$1" "$1"
  dpkg-deb -f "$(deb "$1-dbgsym")" Build-Ids | tr ' ' '\n' |
    sed -E 's|^(..)(.+)$|f usr/lib/debug/.build-id/\1/\2.debug|'
}
expect_listing() {  # WHAT DIR EXPECTED_COMMAND...
  local what=$1 dir=$2
  shift 2
  diff -u <("$@" | sort) <(listing "$dir") >>"$log" ||
    fail "$what: the files differ from the expected list (- expected, + packed)"
  ! listing "$dir" | grep -E 'lib(KaUtils|LmLib|Divorar)' >>"$log" ||
    fail "$what: a host library (one of our stand-ins) is packed"
}
for package in "${packages[@]}"; do
  run dpkg-deb -x "$(deb "$package")" "$work/$package"
  run dpkg-deb -x "$(deb "$package")" "$work/root"
done
mkdir -p "$work/tarball" && run tar -xzf "$build/$top.tar.gz" -C "$work/tarball"
expect_listing "$runtime" "$work/$runtime" expected_runtime
expect_listing "$dev" "$work/$dev" expected_dev
expect_listing "$tools" "$work/$tools" expected_tools
expect_listing "$runtime-dbgsym" "$work/$runtime-dbgsym" expected_dbgsym "$runtime"
expect_listing "$tools-dbgsym" "$work/$tools-dbgsym" expected_dbgsym "$tools"
expect_listing "the tarball" "$work/tarball" expected_tarball
[[ $(dpkg-deb -f "$(deb "$tools-dbgsym")" Build-Ids | wc -w) -eq 2 ]] || fail "$tools-dbgsym: not two build IDs"

step "Control fields and the symbols file"
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
[[ $(field "$runtime" Multi-Arch)/$(field "$dev" Multi-Arch) == same/same ]] || fail "not Multi-Arch: same"
[[ $(field "$dev" Depends) == "$runtime (= $deb_version)" ]] || fail "$dev Depends: $(field "$dev" Depends)"
run dpkg-deb -e "$(deb "$runtime")" "$work/control"
[[ $(cat "$work/control/shlibs") == "libVivodStubCollectReader $major $runtime (>= $deb_version)" ]] ||
  fail "shlibs: $(cat "$work/control/shlibs")"
library=$(ls "$work/root/usr/lib/$multiarch/libVivodStubCollectReader.so.$version")
nm -D --defined-only "$library" | awk '{ print $3 }' | sort >"$work/exported"
sed -nE "s/^ (.+)@Base ([0-9.]+)~standins$/\1/p" "$work/control/symbols" | sort >"$work/listed"
diff -u "$work/listed" "$work/exported" >>"$log" ||
  fail "the symbols file and the library's exports differ (- listed, + exported)"

step "A trial host on the unpacked packages, and on the tarball"
# The command of cmake/packaging/README.md, into the unpacked root and the tarball.
run env DESTDIR="$work/root" cmake --install "$build" --component VscrHostStandins --prefix /usr
run cmake --install "$build" --component VscrHostStandins --prefix "$work/tarball/$top"
for bindir in "$work/root/usr/bin" "$work/tarball/$top/bin"; do
  run "$bindir/collect-walk"
  contract=$("$bindir/vscr-host-check" 2>>"$log" | tail -n 1) || fail "$bindir/vscr-host-check failed"
  [[ $contract =~ ^host\ contract:\ ([0-9]+)\ of\ ([0-9]+)\ hold$ &&
    ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] || fail "$bindir/vscr-host-check: $contract"
done

step "Consumers and pkg-config"
pc=$(PKG_CONFIG_PATH=$work/root/usr/lib/$multiarch/pkgconfig pkg-config --cflags --libs vivodstubcollectreader)
[[ $pc =~ ^-lVivodStubCollectReader\ ?$ ]] || fail "the -dev package's .pc gives: $pc"
run cmake -DPREFIX="$work/root/usr" -DLIBDIR="lib/$multiarch" -DHOSTLIBDIR=lib/Base64 \
  -DCXX_COMPILER="$(command -v g++)" -DSOURCE_DIR="$root/tests/consumer" -DBINARY_DIR="$work/consumer-cmake" \
  -DGENERATOR=Ninja -DMAKE_PROGRAM="$(command -v ninja)" -P tests/install/ConsumerWithCMake.cmake
run cmake -DPREFIX="$work/tarball/$top" -DLIBDIR="lib/$multiarch" -DHOSTLIBDIR=lib/Base64 \
  -DCXX_COMPILER="$(command -v g++)" -DPKG_CONFIG="$(command -v pkg-config)" -DVERSION="$version" \
  -DSOURCE="$root/tests/consumer/main.cpp" -DOUTPUT="$work/consumer-pkg-config" \
  -P tests/install/ConsumerWithPkgConfig.cmake
echo "package-check: all steps hold for $top.tar.gz and ${#packages[@]} Debian packages"
