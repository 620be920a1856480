#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer) and the soft-float ARM
# build of the engine. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# The normal build is Release, as users build it; the sanitizer build below
# is Debug. Both treat warnings as errors.
bash tools/setup.sh -DFOLIO_WERROR=ON
ctest --test-dir build --output-on-failure -j2 --timeout 900

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFOLIO_SANITIZE=ON -DFOLIO_WERROR=ON \
  -DCMAKE_CXX_FLAGS=-O1 -DFOLIO_STACK_SCALE=8 >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
  ctest --test-dir build-asan --output-on-failure -j2 --timeout 1800

bash tools/build-arm.sh
