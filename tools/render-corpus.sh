#!/usr/bin/env bash
# Draws every page of every corpus file with folio render, one process per
# page, and checks that each exits 0 (drawn) or 1 (one line saying why),
# never crashing (a sanitizer report, a signal) or hanging (60 s a page).
# Prints the counts, the slowest page and the largest peak RSS.
#
#   tools/render-corpus.sh [FOLIO] [DPI] [EVERY]
# FOLIO defaults to build/src/cli/folio (pass build-asan/src/cli/folio for
# the sanitizer build), DPI to 72; EVERY=N draws only every N-th file.
# Exits 1 when any page crashed or hung.
set -euo pipefail
cd "$(dirname "$0")/.."

folio=${1:-build/src/cli/folio}
dpi=${2:-72}
every=${3:-1}
corpus=${FOLIO_CORPUS:-../shared/corpus}
[ -f "$corpus/MANIFEST.tsv" ] || { echo "render-corpus: no corpus at $corpus"; exit 0; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}

drawn=0 refused=0 bad=0 maxrss=0 maxrss_at="" slowest=0 slowest_at="" index=0
while IFS=$'\t' read -r file _ _ _ pages _ _ _ _ encrypted _; do
  index=$((index + 1))
  [ $(((index - 1) % every)) -eq 0 ] || continue
  password=()
  if [[ $encrypted =~ user=([^ ,\;]*) ]]; then password=(--password "${BASH_REMATCH[1]}"); fi
  [[ $pages =~ ^[0-9]+$ ]] && [ "$pages" -gt 0 ] || pages=1
  for ((page = 1; page <= pages; page++)); do
    start=$(date +%s%N)
    status=0
    /usr/bin/time -f '%M' -o "$out/rss" timeout 60 "$folio" render -r "$dpi" -o "$out/p.ppm" "${password[@]}" \
      "$corpus/$file" "$page" >/dev/null 2>"$out/err" || status=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    rss=$(tail -1 "$out/rss")
    [[ $rss =~ ^[0-9]+$ ]] || rss=0
    if [ "$rss" -gt "$maxrss" ]; then maxrss=$rss maxrss_at="$file page $page"; fi
    if [ "$ms" -gt "$slowest" ]; then slowest=$ms slowest_at="$file page $page"; fi
    case $status in
      0) drawn=$((drawn + 1)) ;;
      1) refused=$((refused + 1)) ;;
      *)
        bad=$((bad + 1))
        echo "render-corpus: $file page $page exited $status: $(grep -v '^page ' "$out/err" | head -3)"
        ;;
    esac
  done
done < <(tail -n +2 "$corpus/MANIFEST.tsv")

echo "render-corpus: $drawn pages drawn, $refused refused in one line, $bad crashed or hung (at $dpi dpi)"
echo "render-corpus: slowest ${slowest} ms ($slowest_at), largest peak RSS $((maxrss / 1024)) MB ($maxrss_at)"
[ "$bad" -eq 0 ]
