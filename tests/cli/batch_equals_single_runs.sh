#!/usr/bin/env bash
# -batch over corpus copybooks in a tree gives each file the document and messages of its own single run.
# Usage: batch_equals_single_runs.sh VEXFCBL   (corpus: VEX_CORPUS_DIR or shared/corpus beside the source)
set -euo pipefail
program=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
corpus=${VEX_CORPUS_DIR:-$(readlink -f "$here/../../../shared/corpus" 2>/dev/null || true)}
if [ ! -f "${corpus:-/nonexistent}/MANIFEST.tsv" ]; then
  echo "corpus not found: skipped"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Every second copybook of the corpus, in folders of their project, so
# that the tree has depth and the batch meets every kind of outcome the
# corpus holds.
mkdir "$scratch/in"
n=0
while IFS= read -r file; do
  n=$((n + 1))
  ((n % 2 == 0)) || continue
  rel=${file#"$corpus"/}
  mkdir -p "$scratch/in/$(dirname "$rel")"
  cp "$file" "$scratch/in/$rel"
done < <(find "$corpus" -mindepth 2 -type f | LC_ALL=C sort)
count=$(find "$scratch/in" -type f | wc -l)
((count >= 20)) || fail "only $count corpus files"

cd "$scratch"
set +e
"$program" -batch in -od batch -pattern '*' -j 3 >summary 2>messages
status=$?
set -e

# Split the batch's messages into one file per block.
mkdir blocks
awk -v dir=blocks 'BEGIN { name = "(outside)" }
                   /^=== / { name = substr($0, 5); gsub("/", "%", name); next }
                   { print > (dir "/" name) }' messages
[ ! -f "blocks/(outside)" ] || fail "messages outside any file's block: $(head -3 "blocks/(outside)")"

converted=0 stopped=0 failed=0
while IFS= read -r rel; do
  out=single/${rel%.*}.gnv
  mkdir -p "$(dirname "$out")"
  "$program" -i "in/$rel" -o "$out" -strict 2>single.err && s=0 || s=$?
  case $s in 0) converted=$((converted + 1)) ;; 2) stopped=$((stopped + 1)) ;; *) failed=$((failed + 1)) ;; esac
  block="blocks/${rel//\//%}"
  [ -f "$block" ] || touch "$block"
  cmp -s single.err "$block" || { diff single.err "$block" | head -5; fail "messages of $rel differ"; }
  if [ -f "$out" ]; then
    cmp -s "$out" "batch/${rel%.*}.gnv" || fail "document of $rel differs"
  else
    [ ! -f "batch/${rel%.*}.gnv" ] || fail "batch wrote a document for $rel, the single run none"
  fi
done < <(cd in && find . -type f | sed 's|^\./||' | LC_ALL=C sort)

expected="$converted converted, $stopped stopped, $failed failed"
[ "$(cat summary)" = "$expected" ] || fail "summary '$(cat summary)', single runs: $expected"
[ "$status" -eq $((failed > 0 ? 1 : 0)) ] || fail "status $status with $failed failed"
((converted > 0)) || fail "nothing converted"
echo "batch of $count files equals single runs: $expected"
