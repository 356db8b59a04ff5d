#!/usr/bin/env bash
# Runs the test suite and the fuzz corpora under valgrind memcheck, on the
# default build. Fails on any invalid read or write, use of uninitialised
# memory, or definite or indirect leak.
#   scripts/valgrind.sh
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default

memcheck() {
  echo "== valgrind $*"
  valgrind --quiet --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
    --track-origins=yes "$@" >/dev/null
}

memcheck build/tests/reader_tests
memcheck build/tests/standin_tests
memcheck build/tests/library_load_tests
for target in tokenizer_fuzzer reader_fuzzer conversion_fuzzer; do
  memcheck "build/fuzz/$target" "fuzz/corpus/$target"
done
echo "valgrind: clean"
