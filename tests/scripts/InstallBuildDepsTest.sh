#!/usr/bin/env bash
# Test: scripts/install-build-deps.sh installs only what is missing, and
# asks for root only then. apt-get and sudo are fakes that write down how
# they were called; the machine that runs the suite has what the suite
# needs, so the script alone must call neither, whichever other
# architectures' GoogleTest it holds. A platform's architecture is added
# before the package lists are read: the fake dpkg knows no foreign one.
#
#   tests/scripts/InstallBuildDepsTest.sh SCRIPT
set -euo pipefail
script=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"

fail() {
  echo "install-build-deps: $*" >&2
  exit 1
}

mkdir "$scratch/bin"
for fake in apt-get sudo; do
  cat >"$scratch/bin/$fake" <<FAKE
#!/usr/bin/env bash
echo "$fake \$*" >>"$scratch/calls"
[[ $fake == sudo ]] && exec "\$@"
exit 0
FAKE
  chmod 755 "$scratch/bin/$fake"
done
cat >"$scratch/bin/dpkg" <<FAKE
#!/usr/bin/env bash
case \$1 in
  --add-architecture) echo "dpkg \$*" >>"$scratch/calls" ;;
  --print-foreign-architectures) ;;
  *) exec "$(command -v dpkg)" "\$@" ;;
esac
FAKE
chmod 755 "$scratch/bin/dpkg"
export PATH="$scratch/bin:$PATH"

# Root runs the script as another user too, to see it ask for sudo. That
# user may not pass through the folders above the checkout (a home folder is
# mode 0700), so the script runs from a copy in the scratch folder.
cp "$script" "$scratch/install-build-deps.sh"
chmod 755 "$scratch/install-build-deps.sh"
script=$scratch/install-build-deps.sh
run() { "$@"; }
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
users=(run)
if ((EUID == 0)) && command -v setpriv >/dev/null; then
  if as_nobody test -r "$script"; then
    users+=(as_nobody)
  else
    echo "install-build-deps: not run as uid 65534, which cannot reach $scratch"
  fi
fi

for user in "${users[@]}"; do
  rm -f "$scratch/calls" && touch "$scratch/calls" && chmod 666 "$scratch/calls"
  "$user" bash "$script" || fail "($user) failed with nothing missing"
  [[ ! -s $scratch/calls ]] || fail "($user) called with nothing missing: $(cat "$scratch/calls")"

  "$user" bash "$script" vscr-no-such-command=vscr-package-a g++=vscr-never \
    vscr-package-b vscr-no-such-command=vscr-package-a >/dev/null ||
    fail "($user) failed with packages missing"
  install="apt-get install -y --no-install-recommends vscr-package-a vscr-package-b"
  if [[ $user == run && $EUID -eq 0 ]]; then
    expected="apt-get update"$'\n'"$install"
  else  # the fake sudo writes its call down, then runs the command
    expected="sudo apt-get update"$'\n'"apt-get update"$'\n'
    expected+="sudo env DEBIAN_FRONTEND=noninteractive $install"$'\n'"$install"
  fi
  [[ $(cat "$scratch/calls") == "$expected" ]] ||
    fail "($user) called:"$'\n'"$(cat "$scratch/calls")"$'\n'"expected:"$'\n'"$expected"

  : >"$scratch/calls"
  status=0
  "$user" bash "$script" --platform vax >/dev/null 2>&1 || status=$?
  [[ $status -eq 2 && ! -s $scratch/calls ]] ||
    fail "($user) took an unknown platform (status $status): $(cat "$scratch/calls")"
  "$user" bash "$script" --platform s390x >/dev/null || fail "($user) failed for s390x"
  [[ $(grep -v '^sudo ' "$scratch/calls" | grep -m 2 -E 'add-architecture|apt-get update') == \
     "dpkg --add-architecture s390x"$'\n'"apt-get update" ]] ||
    fail "($user) did not add s390x before apt-get update:"$'\n'"$(cat "$scratch/calls")"
done
echo "install-build-deps: installs only what is missing, as ${users[*]}"
