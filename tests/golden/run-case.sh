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
work=$scratch/work   # the run's current directory
tmp=$scratch/tmp     # the run's TMPDIR
mkdir "$work" "$tmp"
if [ -d "$case_dir/files" ]; then
  cp -a "$case_dir/files/." "$work/"
fi

# Regular files with their checksums, as "SUM  ./path" lines sorted by path.
snapshot() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
snapshot "$work" >"$scratch/before"

args=()
mapfile -t args <"$case_dir/args"

(cd "$work" && TMPDIR="$tmp" "$binary" "${args[@]}" </dev/null >"$scratch/stdout" 2>"$scratch/stderr")
status=$?
echo "$status" >"$scratch/status"

snapshot "$work" >"$scratch/after"
# New or changed files: lines of "after" that "before" does not have.
changed=$(comm -13 <(sort "$scratch/before") <(sort "$scratch/after") | sed 's/^[0-9a-f]*  \.\///')
paths() { sed 's/^[0-9a-f]*  \.\///' "$1" | sort; }
deleted=$(comm -23 <(paths "$scratch/before") <(paths "$scratch/after"))

failed=0
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
  cp "$scratch/stdout" "$case_dir/stdout"
  cp "$scratch/stderr" "$case_dir/stderr"
  cp "$scratch/status" "$case_dir/status"
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
    elif ! cmp -s "$case_dir/$stream" "$scratch/$stream"; then
      fail "$stream differs (expected, actual):"
      diff -u --label expected --label actual "$case_dir/$stream" "$scratch/$stream" >&2
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

# Every expected document must also satisfy the schema, once there is one.
if [ -f "$root/schema/vexfcbl.xsd" ] && [ -d "$case_dir/out" ]; then
  while IFS= read -r -d '' doc; do
    if ! xmllint --noout --schema "$root/schema/vexfcbl.xsd" "$doc" 2>"$scratch/xmllint"; then
      fail "${doc#"$case_dir"/} does not validate:"
      cat "$scratch/xmllint" >&2
    fi
  done < <(find "$case_dir/out" -type f -name '*.gnv' -print0)
fi

exit "$failed"
