#!/usr/bin/env bash
# Prints one digest of what `vexfcbl -layout` makes of every file of the
# real-world corpus: the layout as JSON and as the text table, each with and
# without -lenient, and as JSON with -program; per run the exit status, the
# layout file and the messages. Two builds with the same digest lay out the
# corpus identically.
# Usage: tools/layout-digest.sh BINARY [ROWS]
#   ROWS: also write the per-run rows there (path, options, status, digest of
#   the layout, digest of the messages), to find what differs between two builds.
# The corpus is VEX_CORPUS_DIR, else ../shared/corpus beside the source tree.
set -uo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BINARY [ROWS]" >&2
  exit 2
fi
binary=$(realpath "$1")
rows_file=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${VEX_CORPUS_DIR:-$root/../shared/corpus}
if [ ! -f "$corpus/MANIFEST.tsv" ]; then
  echo "layout-digest: no MANIFEST.tsv under $corpus (set VEX_CORPUS_DIR)" >&2
  exit 2
fi
corpus=$(cd "$corpus" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A COPY names a file by its original name, the corpus by its whole original
# path: one folder of links per corpus folder gives the files those names.
declare -A stages
stage_count=0
stage_for() {
  local folder=${1%/*}
  if [ -z "${stages[$folder]:-}" ]; then
    stage_count=$((stage_count + 1))
    local dir=$scratch/stage/$stage_count
    mkdir -p "$dir"
    while IFS=$'\t' read -r path _repo orig _rest; do
      [ "${path%/*}" = "$folder" ] || continue
      [ -e "$dir/${orig##*/}" ] || ln -s "$corpus/$path" "$dir/${orig##*/}"
    done <"$corpus/MANIFEST.tsv"
    stages[$folder]=$dir
  fi
  stage=${stages[$folder]}
}

modes=("json" "text" "-lenient json" "-lenient text" "-program json")
: >"$scratch/rows"
while IFS=$'\t' read -r path _repo _orig _commit _licence _lines notes fixed_ok free_ok _rest; do
  [ "$path" = local_path ] && continue
  file=$corpus/$path
  [ -f "$file" ] || continue
  stage_for "$path"
  format=()
  if [ "$fixed_ok" != yes ] && { [ "$free_ok" = yes ] || [[ $notes == *"free format"* ]]; }; then
    format=(-f)
  fi
  for mode in "${modes[@]}"; do
    work=$scratch/run
    rm -rf "$work" && mkdir -p "$work"
    read -r -a extra <<<"${mode% *}"
    [ "$mode" = json ] || [ "$mode" = text ] && extra=()
    layout=layout.${mode##* }
    (cd "$work" && timeout -s KILL 20 "$binary" "${format[@]}" "${extra[@]}" -i "$file" \
      -d "$stage" -d "$(dirname "$file")" -e .cbl -e .cob -e .cpy -o out.gnv -layout "$layout" \
      </dev/null >messages 2>&1)
    status=$?
    layout_digest=-
    [ -f "$work/$layout" ] && layout_digest=$(sha256sum <"$work/$layout" | cut -c1-16)
    printf '%s\t%s\t%s\t%s\t%s\n' "$path" "$mode" "$status" "$layout_digest" \
      "$(sed "s|$scratch|SCRATCH|g" "$work/messages" | sha256sum | cut -c1-16)" >>"$scratch/rows"
  done
done <"$corpus/MANIFEST.tsv"

[ -n "$rows_file" ] && cp "$scratch/rows" "$rows_file"
echo "layout digest: $(sha256sum <"$scratch/rows" | cut -c1-64) ($(wc -l <"$scratch/rows") runs," \
  "$(awk -F'\t' '$4 != "-"' "$scratch/rows" | wc -l) layouts)"
