#!/usr/bin/env bash
# Runs one golden case: tests/golden/run-case.sh BINARY CASEDIR
# The case folder holds the arguments, the input files and the expected
# standard output, standard error, exit status and output files (see
# README.md next to this script). With VEX_UPDATE_GOLDEN=1 the expectations
# are rewritten from the actual run instead of compared.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BINARY CASEDIR" >&2
  exit 2
fi
binary=$(realpath "$1")
case_dir=$(realpath "$2")
# A case may run another program built beside BINARY, named in its "program" file.
if [ -f "$case_dir/program" ]; then
  binary=$(dirname "$binary")/$(cat "$case_dir/program")
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
name=$(basename "$case_dir")

if [ ! -x "$binary" ]; then
  echo "$name: no program at $binary" >&2
  exit 2
fi
if [ ! -f "$case_dir/args" ]; then
  echo "$name: no args file" >&2
  exit 2
fi

scratch=$(mktemp -d)
trap 'chmod -R u+rwX "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT

args=()
mapfile -t args <"$case_dir/args"

# Regular files with their checksums, as "SUM  ./path" lines sorted by path.
snapshot() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
paths() { sed 's/^[0-9a-f]*  \.\///' "$1" | sort; }

# One run in a fresh working directory under $scratch/$1 with TMPDIR set to
# $2; leaves work/, stdout, stderr, status, changed and deleted there.
run_once() {
  local run=$scratch/$1
  mkdir "$run" "$run/work"
  if [ -d "$case_dir/files" ]; then
    cp -a "$case_dir/files/." "$run/work/"
  fi
  snapshot "$run/work" >"$run/before"
  (cd "$run/work" && TMPDIR="$2" "$binary" "${args[@]}" </dev/null >"$run/stdout" 2>"$run/stderr")
  echo "$?" >"$run/status"
  snapshot "$run/work" >"$run/after"
  # New or changed files: lines of "after" that "before" does not have.
  comm -13 <(sort "$run/before") <(sort "$run/after") | sed 's/^[0-9a-f]*  \.\///' >"$run/changed"
  comm -23 <(paths "$run/before") <(paths "$run/after") >"$run/deleted"
}

tmp=$scratch/tmp # the run's TMPDIR
mkdir "$tmp"
run_once main "$tmp"
work=$scratch/main/work
changed=$(cat "$scratch/main/changed")
deleted=$(cat "$scratch/main/deleted")

failed=0
runs=0
fail() {
  echo "$name: $*" >&2
  failed=1
}

leftover=$(cd "$tmp" && find . -mindepth 1 | sed 's/^\.\///')
if [ -n "$leftover" ]; then
  fail "files left behind in TMPDIR:"
  echo "$leftover" | sed 's/^/  /' >&2
fi
if [ -n "$deleted" ]; then
  fail "input files deleted by the run:"
  echo "$deleted" | sed 's/^/  /' >&2
fi

if [ "${VEX_UPDATE_GOLDEN:-0}" = 1 ]; then
  cp "$scratch/main/stdout" "$case_dir/stdout"
  cp "$scratch/main/stderr" "$case_dir/stderr"
  cp "$scratch/main/status" "$case_dir/status"
  rm -rf "$case_dir/out"
  if [ -n "$changed" ]; then
    while IFS= read -r file; do
      mkdir -p "$case_dir/out/$(dirname "$file")"
      cp "$work/$file" "$case_dir/out/$file"
    done <<<"$changed"
  fi
  echo "$name: expectations rewritten; read them before committing" >&2
else
  for stream in stdout stderr status; do
    if [ ! -f "$case_dir/$stream" ]; then
      fail "missing expectation file $stream"
    elif ! cmp -s "$case_dir/$stream" "$scratch/main/$stream"; then
      fail "$stream differs (expected, actual):"
      diff -u --label expected --label actual "$case_dir/$stream" "$scratch/main/$stream" >&2
    fi
  done

  expected=""
  if [ -d "$case_dir/out" ]; then
    expected=$(cd "$case_dir/out" && find . -type f | sed 's/^\.\///' | sort)
  fi
  actual=$(printf '%s\n' "$changed" | sed '/^$/d' | sort)
  missing=$(comm -23 <(printf '%s\n' "$expected" | sed '/^$/d') <(printf '%s\n' "$actual" | sed '/^$/d'))
  extra=$(comm -13 <(printf '%s\n' "$expected" | sed '/^$/d') <(printf '%s\n' "$actual" | sed '/^$/d'))
  if [ -n "$missing" ]; then
    fail "expected output files not written:"
    echo "$missing" | sed 's/^/  /' >&2
  fi
  if [ -n "$extra" ]; then
    fail "files written or changed that the case does not expect:"
    echo "$extra" | sed 's/^/  /' >&2
  fi
  if [ -n "$expected" ]; then
    while IFS= read -r file; do
      if [ -f "$work/$file" ] && ! cmp -s "$case_dir/out/$file" "$work/$file"; then
        fail "output file $file differs (expected, actual):"
        diff -u --label "expected/$file" --label "actual/$file" "$case_dir/out/$file" "$work/$file" >&2
      fi
    done <<<"$expected"
  fi
fi

# COPY cases must not depend on a temporary directory: run again with TMPDIR
# naming no directory, and with TMPDIR naming a regular file, where nothing
# can be created even with every permission. Both runs must give exactly what
# the first gave.
if [[ $name == copy-* ]] && [ "${VEX_UPDATE_GOLDEN:-0}" != 1 ]; then
  : >"$scratch/not-a-directory"
  for tmpdir in /nonexistent "$scratch/not-a-directory"; do
    run=tmp$((++runs))
    run_once "$run" "$tmpdir"
    for item in stdout stderr status changed deleted; do
      if ! cmp -s "$scratch/main/$item" "$scratch/$run/$item"; then
        fail "with TMPDIR=$tmpdir, $item differs (first run, this run):"
        diff -u --label first --label "TMPDIR=$tmpdir" "$scratch/main/$item" "$scratch/$run/$item" >&2
      fi
    done
    while IFS= read -r file; do
      if [ -n "$file" ] && ! cmp -s "$work/$file" "$scratch/$run/work/$file"; then
        fail "with TMPDIR=$tmpdir, output file $file differs"
      fi
    done <<<"$changed"
  done
fi

# Every expected document must also satisfy the schema, once there is one.
if [ -f "$root/schema/vexfcbl.xsd" ] && [ -d "$case_dir/out" ]; then
  while IFS= read -r -d '' doc; do
    if ! xmllint --noout --schema "$root/schema/vexfcbl.xsd" "$doc" 2>"$scratch/xmllint"; then
      fail "${doc#"$case_dir"/} does not validate:"
      cat "$scratch/xmllint" >&2
    fi
  done < <(find "$case_dir/out" -type f -name '*.gnv' -print0)
fi

# Every expected record layout in JSON must satisfy the layout schema (a JSON Schema that
# vexfcbl-decode -schema wrote is named *.schema.json).
if [ -f "$root/schema/layout.schema.json" ] && [ -d "$case_dir/out" ]; then
  while IFS= read -r -d '' layout; do
    if ! /usr/bin/python3 -c 'import json, sys, jsonschema
jsonschema.validate(json.load(open(sys.argv[2])), json.load(open(sys.argv[1])))' \
      "$root/schema/layout.schema.json" "$layout" 2>"$scratch/jsonschema"; then
      fail "${layout#"$case_dir"/} does not satisfy schema/layout.schema.json:"
      tail -n 5 "$scratch/jsonschema" >&2
    fi
  done < <(find "$case_dir/out" -type f -name '*.json' ! -name '*.schema.json' -print0)
fi

# Every decoded JSON Lines output (the expected standard output and out/*.jsonl) must satisfy
# the JSON Schema that vexfcbl-decode -schema writes for the same command line.
if [ "$(basename "$binary")" = vexfcbl-decode ] && [ "$(cat "$case_dir/status" 2>/dev/null)" = 0 ] &&
  ! printf '%s\n' "${args[@]}" | grep -qxE -- '-format|-raw|-splits|--help|-\?|--version|-schema'; then
  schema_args=()
  skip_next=0
  for arg in "${args[@]}"; do
    if ((skip_next)); then skip_next=0; continue; fi
    if [ "$arg" = -o ]; then skip_next=1; continue; fi
    schema_args+=("$arg")
  done
  mkdir "$scratch/schema" "$scratch/schema/work"
  [ -d "$case_dir/files" ] && cp -a "$case_dir/files/." "$scratch/schema/work/"
  # The same run with -schema, its records sent to the standard output and dropped.
  if ! (cd "$scratch/schema/work" && "$binary" "${schema_args[@]}" -schema "$scratch/schema/lines.json" \
    </dev/null >/dev/null 2>"$scratch/schema/stderr"); then
    fail "-schema failed:"
    cat "$scratch/schema/stderr" >&2
  else
    while IFS= read -r -d '' lines; do
      if ! /usr/bin/python3 "$root/tests/golden/validate_lines.py" "$scratch/schema/lines.json" \
        "$lines" 2>"$scratch/jsonschema"; then
        fail "${lines#"$case_dir"/} does not satisfy its -schema:"
        tail -n 5 "$scratch/jsonschema" >&2
      fi
    done < <(find "$case_dir" -maxdepth 1 -name stdout -size +0 -print0
      [ -d "$case_dir/out" ] && find "$case_dir/out" -type f -name '*.jsonl' -print0)
  fi
fi

exit "$failed"
