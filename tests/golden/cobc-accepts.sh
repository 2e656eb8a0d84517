#!/usr/bin/env bash
# The programs of the golden cases that hold a `cobc` file must be programs
# GnuCOBOL accepts: tests/golden/cobc-accepts.sh [GOLDEN_DIR]
#
# For each such case the file named after -i in `args` is checked with
# `cobc -fsyntax-only FLAGS` (FLAGS: the first line of `cobc`, -free added
# when the case reads free format), in a copy of the case's files/ so that
# COPY finds its copybooks there. Exit status 77 (skipped) without cobc.
set -uo pipefail

golden=${1:-$(cd "$(dirname "$0")" && pwd)}
if ! command -v cobc >/dev/null 2>&1; then
  echo "cobc is not installed; the golden programs are not checked. Skipped."
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

checked=0
failures=0
for marker in "$golden"/*/cobc; do
  [ -f "$marker" ] || continue
  case_dir=$(dirname "$marker")
  name=$(basename "$case_dir")
  input=$(awk 'previous == "-i" { print; exit } { previous = $0 }' "$case_dir/args")
  if [ -z "$input" ] || [ ! -f "$case_dir/files/$input" ]; then
    echo "FAIL $name: no program named after -i in args" >&2
    failures=$((failures + 1))
    continue
  fi
  read -r -a flags <"$marker" || true
  grep -qx -- '-f' "$case_dir/args" && flags+=(-free)
  rm -rf "$scratch/case" && cp -r "$case_dir/files" "$scratch/case"
  if ! (cd "$scratch/case" && cobc -fsyntax-only "${flags[@]}" "$input") >"$scratch/log" 2>&1; then
    echo "FAIL $name: cobc refuses $input" >&2
    sed 's/^/    /' "$scratch/log" >&2
    failures=$((failures + 1))
  fi
  checked=$((checked + 1))
done
echo "golden programs checked with cobc: $checked, $failures refused"
[ "$checked" -gt 0 ] && [ "$failures" -eq 0 ]
