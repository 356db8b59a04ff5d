#!/usr/bin/env bash
# Builds the release packages as `cmake --workflow --preset package` makes
# them (a trial release, over our stand-ins) and checks them as their users
# meet them, with nothing installed on this machine:
# - SHA256SUMS beside the packages, by sha256sum -c, naming each once;
# - lintian --pedantic on each .deb and -dbgsym: no tag that cmake/packaging/
#   does not override with its reason;
# - hardening-check on every ELF file of the packages;
# - the file lists of the packages and the tarball, with a stand-in in the
#   trial host's package alone; the tarball's entries owned 0:0, sorted,
#   each once, under one folder; control fields; the symbols file against
#   the library's exports;
# - a trial host: the packages unpacked into a root, and the tarball with
#   the stand-ins put into it by the command of cmake/packaging/README.md,
#   the programs run there with no LD_LIBRARY_PATH; the trial host's
#   package refusing a folder that holds a host's own library;
# - the find_package consumer on the unpacked -dev package, the pkg-config
#   consumer on the tarball, and the -dev package's .pc file, which must
#   print -lVivodStubCollectReader alone;
# - as root, the runtime, tools, -dev and trial host packages installed on
#   this machine (apt-get, which waits for dpkg's lock): collect-walk walks
#   the sample, and a consumer built with pkg-config alone links and runs;
#   then purged, also on failure.
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
run scripts/install-build-deps.sh lintian=lintian dpkg-shlibdeps=dpkg-dev file=file \
  hardening-check=devscripts
step "The package preset's workflow"
rm -f "$build"/*.deb "$build"/*.ddeb "$build"/*.tar.gz "$build/SHA256SUMS"
run env -u VSCR_HOST_SDK_DIR cmake --workflow --preset package --fresh

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
major=${version%%.*} deb_version=$version~standins
config=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt" | tr A-Z a-z)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
runtime=libvivodstubcollectreader$major dev=libvivodstubcollectreader-dev
tools=vivodstubcollectreader-tools trial_host=vivodstubcollectreader-trial-host
tarball=$(ls "$build/VivodStubCollectReader-$version-standins-Linux-"*.tar.gz)
top=$(basename "$tarball" .tar.gz)
packages=("$runtime" "$dev" "$tools" "$trial_host" "$runtime-dbgsym" "$tools-dbgsym" "$trial_host-dbgsym")
deb() { ls "$build/${1}_${deb_version}_"*.*deb; }

step "SHA256SUMS"
(cd "$build" && sha256sum -c --strict SHA256SUMS) >>"$log" 2>&1 || fail "sha256sum -c SHA256SUMS failed"
diff -u <(cd "$build" && ls ./*.deb ./*.ddeb ./*.tar.gz | sed 's|^\./||' | LC_ALL=C sort) \
  <(sed 's/^[0-9a-f]*  //' "$build/SHA256SUMS") >>"$log" ||
  fail "SHA256SUMS does not name each package once (- packages, + listed)"

step "lintian --pedantic"
debs=()
for package in "${packages[@]}"; do debs+=("$(deb "$package")") || fail "no package $package"; done
# All at once, as of one upload: a -dbgsym's doc link points at its package.
run lintian --display-info --pedantic --fail-on error,warning,info,pedantic "${debs[@]}"

step "hardening-check on every program and library"
elves=()
for package in "${packages[@]}"; do run dpkg-deb -x "$(deb "$package")" "$work/elves"; done
# The programs and libraries; the -dbgsym packages' .debug files hold no code.
while IFS= read -r -d '' file; do
  [[ $(head -c 4 "$file" | od -An -tx1) == " 7f 45 4c 46" ]] && elves+=("$file")
done < <(find "$work/elves" -type f ! -path '*/usr/lib/debug/*' -print0)
((${#elves[@]} == 0)) && fail "no ELF file in the packages"
# hardening-check finds control-flow protection by the IBT and SHSTK marks
# of x86, which the link editor sets only when every object carries them,
# the C library's start files (crti.o) included. Where those lack them
# (Debian 12), no program can show the marks: the check is then that our
# code was compiled for it, each function beginning with endbr64. A target
# without -fcf-protection has nothing of the kind to check.
hardening=()
probe=$work/cet-probe
echo 'int main() { return 0; }' >"$probe.cpp"
if ! g++ -fcf-protection "$probe.cpp" -o "$probe" 2>>"$log"; then
  hardening+=(--nocfprotection)
  echo "hardening-check: the compiler has no -fcf-protection for this target" >>"$log"
elif ! readelf -n "$probe" | grep 'x86 feature: IBT, SHSTK' >/dev/null; then
  hardening+=(--nocfprotection)
  echo "hardening-check: the C library's start files carry no IBT/SHSTK marks; endbr64 counted instead" >>"$log"
  for elf in "${elves[@]}"; do
    objdump -d "$elf" | grep endbr64 >/dev/null || fail "$elf: not compiled with -fcf-protection (no endbr64)"
  done
fi
for elf in "${elves[@]}"; do
  checks=("${hardening[@]}")
  # The stand-ins copy only buffers whose size is known at run time, where
  # _FORTIFY_SOURCE has no checked call to choose.
  [[ $elf == */Base64/* ]] && checks+=(--nofortify)
  run hardening-check "${checks[@]}" "$elf"
done
echo "hardening-check: ${#elves[@]} programs and libraries hold" | tee -a "$log"

step "File lists, with a stand-in in the trial host's package alone"
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
expected_trial_host() {
  printf 'f usr/lib/Base64/lib%s.so\n' KaUtils LmLib Divorar
  echo "f usr/share/lintian/overrides/$trial_host"
  docs "$trial_host"
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
  [[ $what == "$trial_host"* ]] || ! listing "$dir" | grep -E 'lib(KaUtils|LmLib|Divorar)' >>"$log" ||
    fail "$what: a host library (one of our stand-ins) is packed"
}
for package in "${packages[@]}"; do
  run dpkg-deb -x "$(deb "$package")" "$work/$package"
  run dpkg-deb -x "$(deb "$package")" "$work/root"
done
mkdir -p "$work/tarball" && run tar -xzf "$tarball" -C "$work/tarball"
expect_listing "$runtime" "$work/$runtime" expected_runtime
expect_listing "$dev" "$work/$dev" expected_dev
expect_listing "$tools" "$work/$tools" expected_tools
expect_listing "$trial_host" "$work/$trial_host" expected_trial_host
expect_listing "$runtime-dbgsym" "$work/$runtime-dbgsym" expected_dbgsym "$runtime"
expect_listing "$tools-dbgsym" "$work/$tools-dbgsym" expected_dbgsym "$tools"
expect_listing "the tarball" "$work/tarball" expected_tarball
expect_listing "$trial_host-dbgsym" "$work/$trial_host-dbgsym" expected_dbgsym "$trial_host"
# collect-walk, vscr-host-check and the checks module it loads.
[[ $(dpkg-deb -f "$(deb "$tools-dbgsym")" Build-Ids | wc -w) -eq 3 ]] || fail "$tools-dbgsym: not three build IDs"
[[ $(dpkg-deb -f "$(deb "$trial_host-dbgsym")" Build-Ids | wc -w) -eq 3 ]] || fail "$trial_host-dbgsym: not three build IDs"
# The tarball as root unpacks it: every entry owned 0:0, in name order,
# each once, all under one folder, folders 0755 and files 0644 or 0755.
tar --numeric-owner -tvzf "$tarball" >"$work/tarball.list"
awk '$2 != "0/0"' "$work/tarball.list" >"$work/tarball.owners"
[[ ! -s $work/tarball.owners ]] || fail "the tarball has entries not owned 0:0: $(cat "$work/tarball.owners")"
awk '$1 !~ /^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x|lrwxrwxrwx)$/' "$work/tarball.list" >"$work/tarball.modes"
[[ ! -s $work/tarball.modes ]] || fail "the tarball has entries of other modes: $(cat "$work/tarball.modes")"
tar -tzf "$tarball" >"$work/tarball.names"
LC_ALL=C sort -c "$work/tarball.names" 2>>"$log" || fail "the tarball's entries are not in name order"
[[ -z $(uniq -d "$work/tarball.names") ]] || fail "the tarball lists an entry twice: $(uniq -d "$work/tarball.names")"
[[ $(cut -d/ -f1 "$work/tarball.names" | uniq) == "$top" ]] || fail "the tarball has more than the folder $top"

step "Control fields and the symbols file"
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
[[ $(field "$runtime" Multi-Arch)/$(field "$dev" Multi-Arch) == same/same ]] || fail "not Multi-Arch: same"
[[ $(field "$dev" Depends) == "$runtime (= $deb_version)" ]] || fail "$dev Depends: $(field "$dev" Depends)"
# The tools name the runtime once, strictly: dpkg-shlibdeps must not add
# what an installed runtime package's symbols file says.
[[ $(field "$tools" Depends) == "$runtime (= $deb_version), "* &&
  $(field "$tools" Depends | grep -o "$runtime" | wc -l) -eq 1 ]] || fail "$tools Depends: $(field "$tools" Depends)"
virtual=vivodstubcollectreader-host-libraries
for relation in Provides Conflicts Replaces; do
  [[ $(field "$trial_host" $relation) == "$virtual" ]] || fail "$trial_host $relation: $(field "$trial_host" $relation)"
done
for package in "${packages[@]}"; do
  ! dpkg-deb -I "$(deb "$package")" postinst postrm >>"$log" 2>&1 || fail "$package has a postinst or postrm"
done
run dpkg-deb -e "$(deb "$runtime")" "$work/control"
[[ $(cat "$work/control/shlibs") == "libVivodStubCollectReader $major $runtime (>= $deb_version)" ]] ||
  fail "shlibs: $(cat "$work/control/shlibs")"
library=$(ls "$work/root/usr/lib/$multiarch/libVivodStubCollectReader.so.$version")
nm -D --defined-only "$library" | awk '{ print $3 }' | sort >"$work/exported"
sed -nE "s/^ (.+)@Base ([0-9.]+)~standins$/\1/p" "$work/control/symbols" | sort >"$work/listed"
diff -u "$work/listed" "$work/exported" >>"$log" ||
  fail "the symbols file and the library's exports differ (- listed, + exported)"

step "A trial host on the unpacked packages, and on the tarball"
# The trial host's package is in the unpacked root; the command of
# cmake/packaging/README.md puts the stand-ins into the tarball.
run cmake --install "$build" --component VscrHostStandins --prefix "$work/tarball/$top"
for bindir in "$work/root/usr/bin" "$work/tarball/$top/bin"; do
  run "$bindir/collect-walk"
  contract=$("$bindir/vscr-host-check" 2>>"$log" | tail -n 1) || fail "$bindir/vscr-host-check failed"
  [[ $contract =~ ^host\ contract:\ ([0-9]+)\ of\ ([0-9]+)\ hold$ &&
    ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] || fail "$bindir/vscr-host-check: $contract"
done

# Its preinst refuses a folder where a host's own library is, and dpkg
# leaves that library as it was (in a root of its own, scripts run there).
dpkg_root=$work/dpkg-root
mkdir -p "$dpkg_root/var/lib/dpkg/info" "$dpkg_root/var/lib/dpkg/updates" "$dpkg_root/usr/lib/Base64"
: >"$dpkg_root/var/lib/dpkg/status"
echo "a host's own" >"$dpkg_root/usr/lib/Base64/libLmLib.so"
in_root() { dpkg --root="$dpkg_root" --force-script-chrootless --force-depends --force-not-root --log=/dev/null "$@"; }
! in_root -i "$(deb "$trial_host")" >>"$log" 2>&1 || fail "$trial_host installed over a host's own library"
[[ $(cat "$dpkg_root/usr/lib/Base64/libLmLib.so") == "a host's own" ]] || fail "$trial_host replaced a host's own library"
rm "$dpkg_root/usr/lib/Base64/libLmLib.so"
run in_root -i "$(deb "$trial_host")"
cmp "$dpkg_root/usr/lib/Base64/libLmLib.so" "$work/$trial_host/usr/lib/Base64/libLmLib.so" >>"$log" ||
  fail "$trial_host did not install its stand-ins in an empty folder"

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
# installed_trial_host: the packages that a trial host needs, installed by
# dpkg on this machine, the programs and a consumer built with pkg-config
# alone run, then purged. Other work on the machine sees them meanwhile, so
# the window is short and the purge runs however it ends.
# Through apt-get, which waits while other work holds dpkg's lock.
installed=("$trial_host" "$tools" "$dev" "$runtime")
apt_get() { apt-get -o DPkg::Lock::Timeout=900 -y "$@"; }
purge() { apt_get purge "${installed[@]}" >>"$log" 2>&1 || true; }
installed_trial_host() {
  trap purge EXIT
  run apt_get install "$(deb "$runtime")" "$(deb "$dev")" "$(deb "$tools")" "$(deb "$trial_host")"
  run collect-walk
  run cmake -DPREFIX=/usr -DLIBDIR="lib/$multiarch" -DHOSTLIBDIR=lib/Base64 \
    -DCXX_COMPILER="$(command -v g++)" -DPKG_CONFIG="$(command -v pkg-config)" -DVERSION="$version" \
    -DSOURCE="$root/tests/consumer/main.cpp" -DOUTPUT="$work/consumer-installed" \
    -P tests/install/ConsumerWithPkgConfig.cmake
  purge
  trap - EXIT
  [[ ! -e /usr/lib/Base64/libKaUtils.so ]] || fail "the purge left /usr/lib/Base64/libKaUtils.so"
}
if ((EUID == 0)); then
  step "A trial host installed by dpkg (apt-get)"
  for package in "${installed[@]}"; do
    ! dpkg -s "$package" >/dev/null 2>&1 || fail "$package is installed already; purge it first"
  done
  installed_trial_host
else
  step "A trial host installed by dpkg: skipped, it needs root"
fi
echo "package-check: all steps hold for $top.tar.gz and ${#packages[@]} Debian packages"
