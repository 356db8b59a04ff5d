#!/usr/bin/env bash
# Builds the release packages twice, as `cmake --workflow --preset package`
# makes them: without a host SDK (a trial release over our stand-ins), and
# against the foreign SDK of tests/foreign-sdk, one of whose libraries has a
# versioned SONAME. Then checks each build as its users meet it:
# - lintian on each .deb: no error, and no warning that packaging/ does not
#   override with its reason;
# - each .deb (dpkg-deb -x) and the tarball unpacked into scratch folders,
#   nothing installed on this machine: their file lists, with no stand-in;
# - control fields, descriptions, shlibs, triggers, copyright, changelog;
# - the project version in the package version, the tarball's name, the
#   library's file name, the CMake version file and the .pc file;
# - the find_package and pkg-config consumers (tests/consumer) built against
#   the unpacked -dev package (and the tarball) and run with the unpacked
#   runtime package and the host libraries of the build: our stand-ins, or
#   the SDK's;
# - the unpacked vscr-host-check (all checks must hold) and collect-walk.
#
#   scripts/package-check.sh
#
# Installs what it needs from Debian when missing (lintian, dpkg-dev, file,
# pkg-config, ninja-build; as root). Works in build-package/ (the preset's
# tree) and build-package-check/. Prints a line per step; the details go to
# build-package-check/package-check.log, whose end is shown on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
work=$root/build-package-check
log=$work/package-check.log
build=$root/build-package
jobs=2
export LC_ALL=C
unset LD_LIBRARY_PATH

step() {
  echo "== $*"
  echo "== $*" >>"$log"
}

fail() {
  echo "package-check: $*" >>"$log"
  tail -n 60 "$log" >&2
  echo "package-check: $* (whole log: $log)" >&2
  exit 1
}

run() {
  "$@" >>"$log" 2>&1 || fail "failed: $*"
}

install_missing_tools() {
  local missing=() pair
  for pair in lintian:lintian dpkg-shlibdeps:dpkg-dev file:file pkg-config:pkg-config \
    ninja:ninja-build; do
    command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
  done
  [[ ${#missing[@]} -eq 0 ]] && return
  step "Installing ${missing[*]} from Debian"
  [[ $(id -u) -eq 0 ]] || fail "needs root to install ${missing[*]}"
  if ! apt-get install -y --no-install-recommends "${missing[@]}" >>"$log" 2>&1; then
    run apt-get update
    run apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# build_packages [SDK]: the package preset's workflow, fresh, against SDK or,
# without one, against host/.
build_packages() {
  rm -f "$build"/*.deb "$build"/*.tar.gz
  if [[ $# -eq 1 ]]; then
    run env VSCR_HOST_SDK_DIR="$1" cmake --workflow --preset package --fresh
  else
    run env -u VSCR_HOST_SDK_DIR cmake --workflow --preset package --fresh
  fi
}

build_foreign_sdk() {
  local sdk=$1
  run cmake -S tests/foreign-sdk -B "$work/sdk-build" -G Ninja --fresh \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$sdk"
  run cmake --build "$work/sdk-build" -j "$jobs"
  rm -rf "$sdk"
  run cmake --install "$work/sdk-build"
}

# --- What one build should have made ---------------------------------------

# Sets the names that the build of FLAVOUR (standins or sdk) should carry.
read_names() {
  local flavour=$1
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no project version in $build/CMakeCache.txt"
  major=${version%%.*}
  deb_version=$version
  file_version=$version
  if [[ $flavour == standins ]]; then
    deb_version=$version~standins
    file_version=$version-standins
  fi
  multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
  debarch=$(dpkg --print-architecture)
  runtime=libvivodstubcollectreader$major
  dev=libvivodstubcollectreader-dev
  tools=vivodstubcollectreader-tools
  top=VivodStubCollectReader-$file_version-Linux-$(uname -m)
}

deb_file() { echo "$build/${1}_${deb_version}_$debarch.deb"; }

# Each package file under its versioned name, and nothing else packed.
check_package_names() {
  local expected=("$(deb_file "$runtime")" "$(deb_file "$dev")" "$(deb_file "$tools")"
    "$build/$top.tar.gz")
  local file
  for file in "${expected[@]}"; do
    [[ -f $file ]] || fail "no package $file; packed: $(ls "$build"/*.deb "$build"/*.tar.gz)"
  done
  local packed
  packed=$(find "$build" -maxdepth 1 \( -name '*.deb' -o -name '*.tar.gz' \) | wc -l)
  [[ $packed -eq ${#expected[@]} ]] || fail "$packed packages in $build, not ${#expected[@]}"
}

check_lintian() {
  local package
  for package in "$runtime" "$dev" "$tools"; do
    echo "lintian $package:" >>"$log"
    lintian --fail-on error,warning "$(deb_file "$package")" >>"$log" 2>&1 ||
      fail "lintian: errors or warnings in $package"
  done
}

# Unpacks each .deb into DIR/<package>, all three together into DIR/deb,
# and the tarball into DIR/tarball.
unpack() {
  local dir=$1 package
  for package in "$runtime" "$dev" "$tools"; do
    run dpkg-deb -x "$(deb_file "$package")" "$dir/$package"
    run dpkg-deb -x "$(deb_file "$package")" "$dir/deb"
  done
  mkdir -p "$dir/tarball"
  run tar -xzf "$build/$top.tar.gz" -C "$dir/tarball"
}

# --- File lists --------------------------------------------------------------

# Files and links under DIR, one a line: "f path" or "l path -> target".
listing() {
  (cd "$1" && find . -mindepth 1 \( -type l -printf 'l %P -> %l\n' \) -o \
    \( -type f -printf 'f %P\n' \) -o \( ! -type d -printf '? %P\n' \)) | sort
}

expected_runtime() {
  local lib=usr/lib/$multiarch/libVivodStubCollectReader.so
  printf '%s\n' "l $lib.$major -> libVivodStubCollectReader.so.$version" "f $lib.$version" \
    "f usr/share/doc/$runtime/changelog.gz" "f usr/share/doc/$runtime/copyright" \
    "f usr/share/lintian/overrides/$runtime"
}

expected_dev() {
  local lib=usr/lib/$multiarch name=VivodStubCollectReader
  printf '%s\n' "f usr/include/$name.h" "f usr/include/VivodStubCollectWalk.h" "l $lib/lib$name.so -> lib$name.so.$major" \
    "f $lib/pkgconfig/vivodstubcollectreader.pc" \
    "f usr/share/doc/$dev/changelog.gz" "f usr/share/doc/$dev/copyright"
  printf "f $lib/cmake/$name/$name%s.cmake\n" Config ConfigVersion Targets Targets-release
}

expected_tools() {
  printf '%s\n' "f usr/bin/collect-walk" "f usr/bin/vscr-host-check" \
    "f usr/share/man/man1/collect-walk.1.gz" "f usr/share/man/man1/vscr-host-check.1.gz" \
    "f usr/share/VivodStubCollectReader/sample/archived-files.lst" \
    "f usr/share/VivodStubCollectReader/sample/stub-collect.txt" \
    "f usr/share/doc/$tools/changelog.gz" "f usr/share/doc/$tools/copyright"
}

expected_tarball() {
  local lib=$top/lib name=VivodStubCollectReader
  printf '%s\n' "f $top/bin/collect-walk" "f $top/bin/vscr-host-check" \
    "f $top/include/$name.h" "f $top/include/VivodStubCollectWalk.h" "l $lib/lib$name.so -> lib$name.so.$major" \
    "l $lib/lib$name.so.$major -> lib$name.so.$version" "f $lib/lib$name.so.$version" \
    "f $lib/pkgconfig/vivodstubcollectreader.pc" \
    "f $top/share/$name/sample/archived-files.lst" "f $top/share/$name/sample/stub-collect.txt" \
    "f $top/share/doc/$name/README.md" "f $top/share/doc/$name/copyright" \
    "f $top/share/man/man1/collect-walk.1.gz" "f $top/share/man/man1/vscr-host-check.1.gz"
  printf "f $lib/cmake/$name/$name%s.cmake\n" Config ConfigVersion Targets Targets-release
}

# expect_listing WHAT DIR EXPECTED_FUNCTION
expect_listing() {
  local what=$1 dir=$2 expected=$3
  if ! diff -u <($expected | sort) <(listing "$dir") >>"$log"; then
    fail "$what: the files differ from the expected list (diff in the log: - expected, + packed)"
  fi
  if listing "$dir" | grep -E 'lib(KaUtils|LmLib|Divorar)' >>"$log"; then
    fail "$what: a host library (one of our stand-ins) is packed"
  fi
}

check_file_lists() {
  local dir=$1
  expect_listing "$runtime" "$dir/$runtime" expected_runtime
  expect_listing "$dev" "$dir/$dev" expected_dev
  expect_listing "$tools" "$dir/$tools" expected_tools
  expect_listing "the tarball" "$dir/tarball" expected_tarball
}

# --- Control fields and documents --------------------------------------------

# field PACKAGE NAME: the control field, its lines joined with blanks.
field() { dpkg-deb -f "$(deb_file "$1")" "$2" | tr -s ' \n' '  ' | sed 's/ *$//'; }

# expect_in WHAT TEXT PATTERN (an extended regular expression)
expect_in() {
  grep -Eq -- "$3" <<<"$2" || fail "$1 lacks /$3/: $2"
}

check_descriptions() {
  local flavour=$1 package text
  for package in "$runtime" "$dev" "$tools"; do
    text=$(field "$package" Description)
    expect_in "$package Description" "$text" \
      "The host's libraries libKaUtils, libLmLib and libDivorar are needed at run time and are not included\."
    if [[ $flavour == standins ]]; then
      expect_in "$package Description" "$text" "This build is for trials only"
    elif grep -q "trials" <<<"$text"; then
      fail "$package, built against a host SDK, says it is for trials: $text"
    fi
  done
  text=$(field "$runtime" Description)
  expect_in "$runtime Description" "$text" \
    "beside this library \(in /usr/lib/$multiarch\), in a Base64 folder beside the library's folder \(/usr/lib/Base64\), or in a folder named in ld\.so\.conf"
}

check_control_fields() {
  local dir=$1 package same="$runtime \(= ${deb_version//./\\.}\)"
  for package in "$runtime" "$dev" "$tools"; do
    [[ $(field "$package" Version) == "$deb_version" ]] ||
      fail "$package: Version $(field "$package" Version), not $deb_version"
    expect_in "$package Maintainer" "$(field "$package" Maintainer)" '^[^<>]+ <[^<>@ ]+@[^<> ]+>$'
  done
  expect_in "$runtime Depends" "$(field "$runtime" Depends)" '(^|, )libc6 \(>= [0-9.]+\)'
  expect_in "$dev Depends" "$(field "$dev" Depends)" "^$same$"
  expect_in "$tools Depends" "$(field "$tools" Depends)" "(^|, )$same(,|$)"
  run dpkg-deb -e "$(deb_file "$runtime")" "$dir/control-$runtime"
  [[ $(cat "$dir/control-$runtime/shlibs") == \
    "libVivodStubCollectReader $major $runtime (>= $deb_version)" ]] ||
    fail "$runtime shlibs: $(cat "$dir/control-$runtime/shlibs")"
  grep -qx 'activate-noawait ldconfig' "$dir/control-$runtime/triggers" ||
    fail "$runtime does not trigger ldconfig"
}

check_documents() {
  local dir=$1 package first
  for package in "$runtime" "$dev" "$tools"; do
    grep -q "All rights reserved" "$dir/$package/usr/share/doc/$package/copyright" ||
      fail "$package: the copyright file does not say All rights reserved"
    first=$(zcat "$dir/$package/usr/share/doc/$package/changelog.gz" | head -n 1)
    [[ $first == "vivodstubcollectreader ($deb_version) "* ]] ||
      fail "$package: the changelog opens with '$first', not version $deb_version"
  done
  grep -q "All rights reserved" "$dir/tarball/$top/share/doc/VivodStubCollectReader/copyright" ||
    fail "the tarball's copyright file does not say All rights reserved"
}

# --- The unpacked packages at work --------------------------------------------

# place_host_libraries FROM TO TREE: the host libraries that the reader
# unpacked in TREE asks for (its NEEDED entries, versioned or not), copied
# from FROM into TO.
place_host_libraries() {
  local from=$1 to=$2 reader needed
  reader=$work/reader-needed
  readelf -d "$(find "$3" -name 'libVivodStubCollectReader.so.*.*' | head -n 1)" >"$reader"
  mkdir -p "$to"
  for needed in $(sed -nE 's/.*Shared library: \[(lib(KaUtils|LmLib|Divorar)[^]]*)\].*/\1/p' "$reader"); do
    cp -L "$from/$needed" "$to/$needed" 2>>"$log" || fail "no host library $from/$needed"
  done
  [[ $(find "$to" -name 'lib*.so*' | wc -l) -eq 3 ]] || fail "the reader needs $(cat "$reader")"
}

# run_consumers PREFIX LIBDIR HOSTLIBDIR NAME: the two consumers of
# tests/consumer, built against PREFIX and run with its libraries.
run_consumers() {
  local prefix=$1 libdir=$2 hostlibdir=$3 out=$work/$4
  local layout=(-DPREFIX="$prefix" -DLIBDIR="$libdir" -DHOSTLIBDIR="$hostlibdir"
    -DCXX_COMPILER="$(command -v g++)")
  run cmake "${layout[@]}" -DSOURCE_DIR="$root/tests/consumer" -DBINARY_DIR="$out-cmake" \
    -DGENERATOR=Ninja -DMAKE_PROGRAM="$(command -v ninja)" \
    -P tests/install/ConsumerWithCMake.cmake
  run cmake "${layout[@]}" -DPKG_CONFIG="$(command -v pkg-config)" \
    -DSOURCE="$root/tests/consumer/main.cpp" -DOUTPUT="$out-pkg-config" -DVERSION="$version" \
    -P tests/install/ConsumerWithPkgConfig.cmake
  run cmake "${layout[@]}" -DSOURCE_DIR="$root/tests/consumer/version-probe" \
    -DBINARY_DIR="$out-version-probe" -DVERSION="$version" -P tests/install/VersionPolicy.cmake
}

# run_programs BINDIR: vscr-host-check must report every check holding, and
# collect-walk must walk its sample.
run_programs() {
  local bindir=$1 output last
  output=$("$bindir/vscr-host-check" 2>>"$log") || fail "$bindir/vscr-host-check failed: $output"
  echo "$output" >>"$log"
  last=$(tail -n 1 <<<"$output")
  [[ $last =~ ^host\ contract:\ ([0-9]+)\ of\ ([0-9]+)\ hold$ &&
    ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] || fail "$bindir/vscr-host-check: $last"
  run "$bindir/collect-walk"
}

# The stand-ins stay out of the tarball even when VSCR_INSTALL_STANDINS puts
# them into the install: the same build tree, configured so, packed again.
check_standins_stay_out() {
  local scratch=$work/standins-installed
  rm -rf "$scratch"
  run cmake -DVSCR_INSTALL_STANDINS=ON "$build"
  run cmake --build "$build" -j "$jobs"
  run cmake --install "$build" --prefix "$scratch/prefix"
  [[ -n $(find "$scratch/prefix" -name 'libKaUtils.so*') ]] ||
    fail "VSCR_INSTALL_STANDINS=ON installed no stand-in; this check proves nothing"
  run cpack --config "$build/CPackConfig.cmake" -G TGZ -B "$scratch"
  if tar -tzf "$scratch/$top.tar.gz" | grep -E 'lib(KaUtils|LmLib|Divorar)' >>"$log"; then
    fail "with VSCR_INSTALL_STANDINS=ON the tarball holds a stand-in"
  fi
}

# check_build FLAVOUR HOST_LIBRARIES: every check of one build.
check_build() {
  local flavour=$1 hostlibs=$2 dir=$work/$1
  read_names "$flavour"
  rm -rf "$dir" && mkdir -p "$dir"
  check_package_names
  check_lintian
  unpack "$dir"
  check_file_lists "$dir"
  check_control_fields "$dir"
  check_descriptions "$flavour"
  check_documents "$dir"
  place_host_libraries "$hostlibs" "$dir/deb/usr/lib/Base64" "$dir/deb"
  place_host_libraries "$hostlibs" "$dir/tarball/$top/Base64" "$dir/tarball"
  run_consumers "$dir/deb/usr" "lib/$multiarch" lib/Base64 "$flavour/consumer-deb"
  run_consumers "$dir/tarball/$top" lib Base64 "$flavour/consumer-tarball"
  run_programs "$dir/deb/usr/bin"
  run_programs "$dir/tarball/$top/bin"
  echo "   $flavour: $(basename "$build/$top.tar.gz") and 3 .debs hold"
}

mkdir -p "$work"
: >"$log"
install_missing_tools

step "Trial release, built against host/, checked with our stand-ins"
build_packages
check_build standins "$build/lib"
check_standins_stay_out

step "Release against the foreign host SDK of tests/foreign-sdk"
build_foreign_sdk "$work/foreign-sdk"
build_packages "$work/foreign-sdk"
check_build sdk "$work/foreign-sdk/lib"

echo "package-check: all steps hold"
