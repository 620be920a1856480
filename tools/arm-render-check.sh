#!/usr/bin/env bash
# Integer-only proof: folio built for soft-float 32-bit ARM (tools/build-arm.sh)
# draws the sample's pages and three vector corpus pages under qemu-arm byte
# for byte as the x86-64 build (build/) draws them. The corpus pages are
# skipped when the corpus is absent.
set -euo pipefail
cd "$(dirname "$0")/.."

arm=build-arm/engine/src/cli/folio
x86=build/src/cli/folio
corpus=${FOLIO_CORPUS:-../shared/corpus}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

pages=("samples/hello.pdf 1" "samples/hello.pdf 2")
if [ -d "$corpus" ]; then
  for file in deb__tl-games__wargame.mountains.pdf deb__tl-games__mahjong-3s.pdf deb__tl-games__CaJ-PokeRv2-10C.pdf; do
    pages+=("$corpus/$file 1")
  done
fi
for page in "${pages[@]}"; do
  read -r file number <<<"$page"
  qemu-arm "$arm" render -r 100 -o "$out/arm.ppm" "$file" "$number" >/dev/null 2>&1 || true
  "$x86" render -r 100 -o "$out/x86.ppm" "$file" "$number" >/dev/null 2>&1 || true
  if [ ! -s "$out/x86.ppm" ] || ! cmp -s "$out/arm.ppm" "$out/x86.ppm"; then
    echo "arm: $file page $number is drawn differently under qemu-arm"
    exit 1
  fi
  rm -f "$out/arm.ppm" "$out/x86.ppm"
done
echo "arm: ${#pages[@]} pages drawn byte for byte alike by the ARM (qemu-arm) and x86-64 builds"
