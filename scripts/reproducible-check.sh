#!/usr/bin/env bash
# Builds the release packages of the commit checked out once as a reference,
# then once for each thing that reprotest varies, one at a time, and
# compares every package and SHA256SUMS byte for byte with the reference's:
#
#   build folder     a clone in another, longer folder
#   umask            002 instead of 022
#   user             nobody instead of root (runuser)
#   clock            400 days ahead (faketime)
#   time zone        UTC-14 instead of UTC
#   locale           fr_CH.UTF-8 (made by localedef) instead of C.UTF-8
#   job count        1 instead of 2
#   installed        the reference's runtime, -dev, tools and trial host
#                    packages installed on this machine, purged afterwards
#   git archive      an export of the commit, with no .git, instead of a clone
#
# Every build but the variation's own difference is the reference's: the
# same folder, environment, user and job count. It names each variation
# whose packages differ, and shows diffoscope's account (CI installs it) of
# the first package that differs in it. The user and installed variations
# need root, as CI runs; without root they are skipped, and said to be.
# Only what the packages hold is built: no tests, no example.
#
#   scripts/reproducible-check.sh
#
# Builds in a folder of its own under /tmp (which nobody may enter), removed
# at the end; each build's log goes to build/reproducible/<variation>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
commit=$(git rev-parse HEAD)
logs=$root/build/reproducible
rm -rf "$logs" && mkdir -p "$logs"
scripts/install-build-deps.sh dpkg-shlibdeps=dpkg-dev file=file faketime=faketime localedef=locales \
  >"$logs/install-build-deps.log" 2>&1 || {
  cat "$logs/install-build-deps.log" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/vscr-reproducible.XXXXXX")
installed_packages=()
# Our packages go in and out through apt-get, which waits while other work
# holds dpkg's lock.
apt_get() { apt-get -o DPkg::Lock::Timeout=900 -y "$@"; }
clean_up() {
  if ((${#installed_packages[@]} > 0)); then
    apt_get purge "${installed_packages[@]}" >>"$logs/apt-get.log" 2>&1 || true
  fi
  rm -rf "$work"
}
trap clean_up EXIT
chmod 0755 "$work"
source_dir=$work/source   # where every build but the build folder's happens
mkdir -p "$work/packages" "$work/locales"
localedef -i fr_CH -f UTF-8 "$work/locales/fr_CH.UTF-8" >"$logs/localedef.log" 2>&1 || {
  cat "$logs/localedef.log" >&2
  exit 1
}

# The reference's conditions; a variation changes one of them.
reference_environment() {
  printf '%s\n' TZ=UTC LANG=C.UTF-8 LC_ALL=C.UTF-8
}
jobs=2 mask=022 user=root kind=clone

# build NAME DIR [PREFIX...]: the packages of the commit, from a clone (or,
# with kind=export, a `git archive` export) in DIR, built by $user under
# umask $mask with $jobs jobs, in the reference's environment plus any
# NAME=VALUE and command words in PREFIX; kept in $work/packages/NAME.
build() {
  local name=$1 dir=$2
  shift 2
  rm -rf "$dir" && mkdir -p "$(dirname "$dir")"
  if [[ $kind == export ]]; then
    mkdir "$dir" && git archive "$commit" | tar -x -C "$dir"
  else
    git clone -q --no-checkout "$root" "$dir" && git -C "$dir" checkout -q "$commit"
  fi
  local as_user=()
  if [[ $user != root ]]; then
    chown -R "$user:" "$dir"
    as_user=(runuser -u "$user" --)
  fi
  mapfile -t environment < <(reference_environment)
  local prefix=("$@")
  (
    umask "$mask"
    "${as_user[@]}" env "${environment[@]}" "${prefix[@]}" bash -c '
      cmake -S "$1" --preset package -DVSCR_BUILD_TESTS=OFF &&
        cmake --build "$1/build-package" -j "$2" && cd "$1/build-package" && cpack' _ "$dir" "$jobs"
  ) >"$logs/$name.log" 2>&1 || {
    tail -n 40 "$logs/$name.log"
    echo "reproducible: the build '$name' failed (log: $logs/$name.log)" >&2
    exit 1
  }
  mkdir "$work/packages/$name"
  mv "$dir"/build-package/{*.deb,*.ddeb,*.tar.gz,SHA256SUMS} "$work/packages/$name/"
  rm -rf "$dir"
}

differing=()
# compare NAME: each of the reference's files against NAME's, and NAME's
# files that the reference lacks.
compare() {
  local name=$1 file other shown=0 differ=0
  for file in "$work/packages/reference"/*; do
    other=$work/packages/$name/${file##*/}
    if ! cmp -s "$file" "$other"; then
      differ=1
      echo "reproducible: $name: ${file##*/} differs from the reference's"
      if ((shown == 0)) && [[ -e $other ]] && command -v diffoscope >/dev/null; then
        diffoscope --no-progress --text - "$file" "$other" | head -n 80 || true
        shown=1
      fi
    fi
  done
  if [[ $(ls "$work/packages/$name") != "$(ls "$work/packages/reference")" ]]; then
    differ=1
    echo "reproducible: $name: other files than the reference's: $(ls "$work/packages/$name")"
  fi
  if ((differ)); then
    differing+=("$name")
  else
    echo "reproducible: $name: every package the same"
  fi
}

build reference "$source_dir"
count=$(ls "$work/packages/reference" | wc -l)
((count > 1)) || {
  echo "reproducible: the reference made no packages" >&2
  exit 1
}

build build-folder "$work/a/longer/build/folder/source" && compare build-folder
mask=002 build umask-002 "$source_dir" && compare umask-002
build clock-ahead "$source_dir" faketime -f +400d && compare clock-ahead
build time-zone "$source_dir" TZ=UTC-14 && compare time-zone
build locale "$source_dir" "LOCPATH=$work/locales" LANG=fr_CH.UTF-8 LC_ALL=fr_CH.UTF-8 LANGUAGE=fr_CH:fr && compare locale
jobs=1 build one-job "$source_dir" && compare one-job
kind=export build git-archive "$source_dir" && compare git-archive
skipped=()
if ((EUID == 0)); then
  user=nobody build user-nobody "$source_dir" && compare user-nobody
  # The window in which other work on this machine sees our packages is
  # this one build; the purge runs however it ends (clean_up).
  reference=$work/packages/reference
  packages=(vivodstubcollectreader-trial-host vivodstubcollectreader-tools
    libvivodstubcollectreader-dev libvivodstubcollectreader1)
  for package in "${packages[@]}"; do
    if dpkg -s "$package" >/dev/null 2>&1; then
      echo "reproducible: $package is installed already; purge it first" >&2
      exit 1
    fi
  done
  installed_packages=("${packages[@]}")
  apt_get install "$reference"/libvivodstubcollectreader1_*.deb "$reference"/libvivodstubcollectreader-dev_*.deb \
    "$reference"/vivodstubcollectreader-tools_*.deb "$reference"/vivodstubcollectreader-trial-host_*.deb \
    >"$logs/apt-get.log" 2>&1
  build installed "$source_dir" && compare installed
  apt_get purge "${installed_packages[@]}" >>"$logs/apt-get.log" 2>&1
  installed_packages=()
else
  skipped=(user-nobody installed)
  echo "reproducible: user-nobody and installed skipped: they need root"
fi

checked=$((9 - ${#skipped[@]}))
if ((${#differing[@]} > 0)); then
  echo "reproducible: $count files of $commit differ from the reference under: ${differing[*]}" >&2
  exit 1
fi
echo "reproducible: $count files byte-identical to the reference under each of $checked variations of $commit"
