#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
#   tools/fuzz.sh TARGET [SECONDS] [libFuzzer options...]
#       e.g. tools/fuzz.sh object_parser 600
#   tools/fuzz.sh --list
# One fuzzing process, in the foreground (libFuzzer's default: no -jobs, so
# the machine's other users keep a core), -timeout=10 and -rss_limit_mb=2048;
# later options override them.
#
# Seeds:
#   document, object_parser, content_parser: the corpus of real PDF files
#     ($FOLIO_CORPUS, else ../shared/corpus or ../../shared/corpus next to
#     the checkout);
#   document: also RC4 documents whose streams use crypt filters (Identity
#     and named, anywhere in the filter list), written into
#     build-fuzz/seeds/document by build/tests/crypt_seeds;
#   content_parser, filter: build-fuzz/seeds/TARGET, made by
#     tools/fuzz-seeds.sh (raw stream data extracted from the corpus);
#   display_list: the content_parser seeds (decoded page content);
#   imaging: build-fuzz/seeds/imaging, made by tools/imaging-fuzz-seeds.py;
#   cff, truetype, type1 (and hinting, which takes the truetype ones): the
#     font programs embedded in the corpus, extracted
#     by tools/extract_fonts.py into build-fuzz/seeds/fonts and sorted by
#     format into build-fuzz/seeds/TARGET;
#   icc: the profiles of icc-profiles-free and Ghostscript (/usr/share/color/icc);
#   cmap: the published CMap files of poppler-data (Adobe-Japan1);
#   every target: fuzz/seeds/TARGET when present.
# New inputs go to build-fuzz/work/TARGET; crashes, hangs and budget faults
# to build-fuzz/findings/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLIO_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
if [ "${1:-}" = "--list" ]; then
  ls fuzz/*_fuzz.cpp | sed 's|fuzz/||; s|_fuzz.cpp||'
  exit 0
fi
target=${1:?usage: tools/fuzz.sh TARGET [SECONDS] [libFuzzer options...]}
seconds=${2:-60}
shift $(($# >= 2 ? 2 : 1))
cmake --build build-fuzz --target "fuzz_$target" -j2

corpus=${FOLIO_CORPUS:-}
if [ -z "$corpus" ]; then
  for c in ../shared/corpus ../../shared/corpus; do
    if [ -d "$c" ]; then corpus=$c; break; fi
  done
fi

work=build-fuzz/work/$target
findings=build-fuzz/findings/$target
mkdir -p "$work" "$findings"
seeds=("$work")
[ -d "fuzz/seeds/$target" ] && seeds+=("fuzz/seeds/$target")
extracted=$target
[ "$target" = display_list ] && extracted=content_parser
if [ "$target" = imaging ]; then
  [ -d build-fuzz/seeds/imaging ] || python3 tools/imaging-fuzz-seeds.py build-fuzz/seeds/imaging
  seeds+=(build-fuzz/seeds/imaging)
fi
case $target in
  filter | content_parser | display_list)
    if [ ! -d "build-fuzz/seeds/$extracted" ] && [ -n "$corpus" ]; then
      FOLIO_CORPUS=$corpus bash tools/fuzz-seeds.sh
    fi
    [ -d "build-fuzz/seeds/$extracted" ] && seeds+=("build-fuzz/seeds/$extracted")
    ;;
esac
if [ "$target" = document ]; then
  # Encrypted documents whose streams use crypt filters, made by the tests' builder.
  if [ ! -d build-fuzz/seeds/document ]; then
    [ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build --target crypt_seeds -j2
    mkdir -p build-fuzz/seeds/document
    build/tests/crypt_seeds build-fuzz/seeds/document
  fi
  seeds+=(build-fuzz/seeds/document)
fi
[ "$target" = cmap ] && [ -d /usr/share/poppler/cMap/Adobe-Japan1 ] && seeds+=(/usr/share/poppler/cMap/Adobe-Japan1)
case $target in
  cff | truetype | type1 | hinting)
    if [ ! -d build-fuzz/seeds/fonts ] && [ -n "$corpus" ]; then
      FOLIO_CORPUS=$corpus python3 tools/extract_fonts.py build-fuzz/seeds/fonts
      mkdir -p build-fuzz/seeds/cff build-fuzz/seeds/truetype build-fuzz/seeds/type1
      for f in build-fuzz/seeds/fonts/*; do
        case $f in
          *.cff | *.cid) cp "$f" build-fuzz/seeds/cff/ ;;
          *.ttf) cp "$f" build-fuzz/seeds/truetype/ ;;
          *.t1) cp "$f" build-fuzz/seeds/type1/ ;;
        esac
      done
    fi
    [ -d "build-fuzz/seeds/$target" ] && seeds+=("build-fuzz/seeds/$target")
    [ "$target" = hinting ] && [ -d build-fuzz/seeds/truetype ] && seeds+=(build-fuzz/seeds/truetype)
    ;;
esac
case $target in
  filter | display_list | imaging | image | cff | truetype | type1 | hinting | function | cmap) ;;
  icc) seeds+=(/usr/share/color/icc /usr/share/color/icc/ghostscript) ;;
  *) [ -n "$corpus" ] && seeds+=("$corpus") ;;
esac

"build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -max_len=1048576 -artifact_prefix="$findings/" "$@" "${seeds[@]}"
