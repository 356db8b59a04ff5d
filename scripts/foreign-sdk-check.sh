#!/usr/bin/env bash
# Proves the build against a host SDK with one that is not host/: our
# stand-ins made into an SDK whose classes are larger than host/ declares
# them, with versioned SONAMEs (scripts/make-host-sdk.sh). Then shows that
# the README's warning is real: a reader built against host/ and loaded
# with that SDK's libKaUtils.so must be caught, or the walk must give wrong
# names.
#
#   scripts/foreign-sdk-check.sh
#
# Works in build-foreign-sdk/ (and builds what it needs of build-sanitize/,
# the sanitize preset's tree, which CI has already built). Exit 0 only when
# every step holds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
work=$root/build-foreign-sdk
sdk=$work/sdk
jobs=2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fail() {
  echo "foreign-sdk-check: $*" >&2
  exit 1
}

# The last line of vscr-host-check must say that all of its checks hold.
expect_contract_holds() {
  local output=$1 last
  last=$(tail -n 1 <<<"$output")
  [[ $last =~ ^host\ contract:\ ([0-9]+)\ of\ ([0-9]+)\ hold$ ]] ||
    fail "vscr-host-check ended with '$last'"
  [[ ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" ]] || fail "vscr-host-check: $last"
}

echo "== The foreign SDK, built with AddressSanitizer into $sdk"
CXX=clang++ CXXFLAGS="-g -fsanitize=address -fno-omit-frame-pointer" scripts/make-host-sdk.sh "$sdk"

echo "== The project against it (VSCR_HOST_SDK_DIR), clang with ASan and UBSan"
cmake --preset sanitize -B "$work/project" --fresh -DVSCR_HOST_SDK_DIR="$sdk" \
  -DVSCR_TEST_HOST_LOOKUP=ON >/dev/null
cmake --build "$work/project" -j "$jobs"
ctest --test-dir "$work/project" -j "$jobs" --output-on-failure --no-tests=error
contract=$("$work/project/tools/host-check/vscr-host-check" 2>/dev/null) ||
  fail "vscr-host-check against the foreign SDK failed:"$'\n'"$contract"
echo "$contract"
expect_contract_holds "$contract"

echo "== The ABI of the reader built against it (g++, as the baseline)"
cmake -S . -B "$work/abi" -G Ninja --fresh -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVSCR_WARNINGS_AS_ERRORS=ON -DVSCR_BUILD_TESTS=OFF \
  -DVSCR_HOST_SDK_DIR="$sdk" >/dev/null
cmake --build "$work/abi" -j "$jobs" --target VivodStubCollectReader
scripts/abi-check.sh check "$work/abi"

echo "== The hazard: a reader built against host/, loaded with the foreign libKaUtils.so"
cmake --preset sanitize >/dev/null
cmake --build build-sanitize -j "$jobs" --target reader_tests vscr-host-check
walk=(build-sanitize/tests/reader_tests --gtest_filter='LongNameWalk.*')
"${walk[@]}" >"$work/walk-standins.log" 2>&1 ||
  fail "the walk fails even with our stand-ins; see $work/walk-standins.log"
mkdir -p "$work/foreign-kautils"
ln -sf "$sdk/lib/libKaUtils.so" "$work/foreign-kautils/libKaUtils.so"
status=0
LD_LIBRARY_PATH=$work/foreign-kautils "${walk[@]}" >"$work/walk-foreign.log" 2>&1 || status=$?
# Make sure that the loader really took the foreign library.
loaded=$(LD_LIBRARY_PATH=$work/foreign-kautils LD_DEBUG=libs build-sanitize/tests/reader_tests \
  --gtest_list_tests 2>&1)
grep -q "calling init: $work/foreign-kautils/libKaUtils.so" <<<"$loaded" ||
  fail "the loader did not take $work/foreign-kautils/libKaUtils.so"
if [[ $status -eq 0 ]]; then
  fail "the walk passed with the foreign libKaUtils.so: the hazard did not show"
elif grep -q "ERROR: AddressSanitizer" "$work/walk-foreign.log"; then
  grep -m 1 "ERROR: AddressSanitizer" "$work/walk-foreign.log"
  echo "caught: AddressSanitizer stopped the walk (status $status)"
elif grep -q "names differ" "$work/walk-foreign.log"; then
  grep -m 1 "names differ" "$work/walk-foreign.log"
  echo "shown: the walk gave wrong names (status $status)"
else
  fail "the walk failed (status $status) without a sanitizer report or wrong names; see $work/walk-foreign.log"
fi

echo "== The guard: vscr-host-check built against host/, run with the foreign libKaUtils.so"
status=0
guard=$(LD_LIBRARY_PATH=$work/foreign-kautils build-sanitize/tools/host-check/vscr-host-check 2>/dev/null) ||
  status=$?
echo "$guard"
[[ $status -eq 1 ]] || fail "vscr-host-check did not fail on the mismatch (status $status)"
grep -q "^FAILS .*libKaUtils wrote [0-9]* bytes past" <<<"$guard" ||
  fail "vscr-host-check failed, but not on the layout"

status=0
guard=$(LD_LIBRARY_PATH=$sdk/lib build-sanitize/tools/host-check/vscr-host-check 2>/dev/null) ||
  status=$?
echo "$guard" | grep -E "^FAILS  (EvDebug|FetchIndexInfo)" || true
[[ $status -eq 1 ]] || fail "vscr-host-check did not fail with all three foreign libraries"
for library in libDivorar:EvDebug libLmLib:FetchIndexInfo; do
  grep -q "^FAILS  ${library#*:}.*${library%:*} wrote [0-9]* bytes past" <<<"$guard" ||
    fail "vscr-host-check did not see the larger ${library#*:} of ${library%:*}.so"
done

echo "foreign-sdk-check: all steps hold"
