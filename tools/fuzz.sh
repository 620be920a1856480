#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
#   tools/fuzz.sh TARGET [SECONDS]     e.g. tools/fuzz.sh object_parser 600
#   tools/fuzz.sh --list
# Seeds: the corpus of real PDF files (../shared/corpus or $FOLIO_CORPUS)
# and fuzz/seeds/TARGET; findings go to build-fuzz/findings/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLIO_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
if [ "${1:-}" = "--list" ]; then
  ls fuzz/*_fuzz.cpp | sed 's|fuzz/||; s|_fuzz.cpp||'
  exit 0
fi
target=${1:?usage: tools/fuzz.sh TARGET [SECONDS]}
seconds=${2:-60}
cmake --build build-fuzz --target "fuzz_$target"

work=build-fuzz/work/$target
findings=build-fuzz/findings/$target
mkdir -p "$work" "$findings"
seeds=("$work")
[ -d "fuzz/seeds/$target" ] && seeds+=("fuzz/seeds/$target")
corpus=${FOLIO_CORPUS:-../shared/corpus}
[ -d "$corpus" ] && seeds+=("$corpus")

"build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=1048576 -artifact_prefix="$findings/" "${seeds[@]}"
