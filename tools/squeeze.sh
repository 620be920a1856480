#!/usr/bin/env bash
# The exhaustive squeeze: opens the made-up every-filter document and the
# squeeze's corpus files with the budget refusing its Nth request, for every
# N up to the run's request count (CI runs a seeded sample of N and fewer
# files). Prints one line of figures per document.
#   tools/squeeze.sh            # the normal build (build/)
#   tools/squeeze.sh --asan     # also under the sanitizers (build-asan/, as tools/test-all.sh makes it)
set -euo pipefail
cd "$(dirname "$0")/.."

run() {
  local binary=$1
  echo "== $binary"
  FOLIO_SQUEEZE=all "$binary" --gtest_filter='Squeeze.*' | grep -E '^squeeze |FAILED|PASSED|SKIPPED'
}

cmake --build build --target pdf_tests >/dev/null
run build/tests/pdf_tests
if [ "${1:-}" = "--asan" ]; then
  cmake --build build-asan --target pdf_tests >/dev/null
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp run build-asan/tests/pdf_tests
fi
