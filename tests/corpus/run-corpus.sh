#!/usr/bin/env bash
# Runs every file of the real-world copybook corpus through vexfcbl and checks
# the outcomes: tests/corpus/run-corpus.sh BINARY [EXPECTED]
#
# The corpus is taken from VEX_CORPUS_DIR, else from VEX_SOURCE_DIR/../shared/corpus
# (VEX_SOURCE_DIR defaults to the source tree of this script). Without a corpus
# the run is skipped (exit status 77).
#
# No file may crash the program or hang it. A copybook that GnuCOBOL accepts
# (MANIFEST.tsv) and that is not a whole program or procedure code must
# convert, unless EXPECTED (default: expected.tsv beside this script) lists
# it; a listed file must end exactly as listed. With VEX_CORPUS_REPORT=FILE
# every file's outcome is written there as "path<TAB>outcome".
#
# With VEX_CORPUS_MODE=program every file runs with -program, and the rule is
# the one for whole programs: a file that GnuCOBOL accepts and that is a
# whole program (or a program without PROCEDURE DIVISION) must convert unless
# EXPECTED lists it. With VEX_CORPUS_MODE=lenient every file runs with
# -lenient under the copybook rule, and with VEX_CORPUS_MODE=program-lenient
# with -program -lenient under the rule for whole programs. A row of
# EXPECTED that begins with a mode ("program", "lenient", "program-lenient")
# and a tab holds for that mode only; the other rows for the copybook mode.
set -uo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BINARY [EXPECTED]" >&2
  exit 2
fi
binary=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
mode=${VEX_CORPUS_MODE:-copybook}
case $mode in
copybook | program | lenient | program-lenient) ;;
*)
  echo "unknown VEX_CORPUS_MODE: $mode" >&2
  exit 2
  ;;
esac
expected_file=${2:-$here/expected.tsv}
source_dir=${VEX_SOURCE_DIR:-$(cd "$here/../.." && pwd)}
corpus=${VEX_CORPUS_DIR:-$source_dir/../shared/corpus}
limit=${VEX_CORPUS_TIMEOUT:-20}

if [ ! -f "$corpus/MANIFEST.tsv" ]; then
  echo "corpus: no MANIFEST.tsv under $corpus; set VEX_CORPUS_DIR to run this test. Skipped."
  exit 77
fi
corpus=$(cd "$corpus" && pwd)
schema=$source_dir/schema/vexfcbl.xsd

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The corpus stores each file under its whole original path; a COPY names
# the original file name. Each run gets a folder of links that gives the
# files of its corpus folder their original names, the ones from the
# copier's own original directory taking precedence. One such folder is made
# per corpus folder and original directory.
declare -A folder_files
while IFS=$'\t' read -r path _repo orig _rest; do
  [ "$path" = local_path ] && continue
  folder_files[${path%/*}]+="$path"$'\t'"$orig"$'\n'
done <"$corpus/MANIFEST.tsv"

original_dir() { [[ $1 == */* ]] && echo "${1%/*}" || echo .; }

declare -A stages
stage_count=0
# Sets `stage` to the link folder for the file `path` whose original path is
# `orig` (no subshell, so that the folders are made once).
stage_copybooks() {
  local path=$1 orig=$2 key other other_orig name
  key="${path%/*}|$(original_dir "$orig")"
  if [ -z "${stages[$key]:-}" ]; then
    stage_count=$((stage_count + 1))
    stage=$scratch/stage/$stage_count
    mkdir -p "$stage"
    while IFS=$'\t' read -r other other_orig; do
      [ -z "$other" ] && continue
      name=${other_orig##*/}
      if [ "$(original_dir "$other_orig")" = "$(original_dir "$orig")" ]; then
        ln -sfn "$corpus/$other" "$stage/$name"
      elif [ ! -e "$stage/$name" ]; then
        ln -s "$corpus/$other" "$stage/$name"
      fi
    done <<<"${folder_files[${path%/*}]}"
    stages[$key]=$stage
  fi
  stage=${stages[$key]}
}

# Expected outcomes of the listed files.
declare -A listed
while IFS=$'\t' read -r path outcome reason; do
  case $path in '' | '#'*) continue ;; esac
  row_mode=copybook
  if [ "$path" = program ] || [ "$path" = lenient ] || [ "$path" = program-lenient ]; then
    row_mode=$path
    path=$outcome
    outcome=${reason%%$'\t'*}
  fi
  [ "$row_mode" = "$mode" ] && listed[$path]=$outcome
done <"$expected_file"

# The outcome of one run, from its exit status, its messages and its output.
classify() {
  local status=$1 err=$2 out=$3
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo hang
  elif [ "$status" -ne 0 ] && [ "$status" -ne 1 ]; then
    echo crash
  elif grep -q '^Error: Cobol source contains errors. Conversion stopped.$' "$err"; then
    if [ "$status" -eq 0 ]; then echo syntax-errors; else echo fatal-error; fi
  elif [ "$status" -eq 1 ]; then
    echo conversion-error
  elif [ -f "$out" ]; then
    echo converted
  elif grep -q '^Warning: Nothing to export' "$err"; then
    echo nothing-to-export
  else
    echo no-output
  fi
}

failures=0
processed=0
declare -A counts
declare -A seen
report=${VEX_CORPUS_REPORT:-}
[ -n "$report" ] && : >"$report"

while IFS=$'\t' read -r path _repo orig _commit _licence _lines notes fixed_ok free_ok; do
  [ "$path" = local_path ] && continue
  seen[$path]=1
  processed=$((processed + 1))
  file=$corpus/$path
  work=$scratch/run
  rm -rf "$work" && mkdir -p "$work/tmp"
  stage_copybooks "$path" "$orig"
  args=(-i "$file" -o "$work/out.gnv" -d "$stage" -d "$(dirname "$file")"
    -e .cbl -e .cob -e .copy)
  if [ "$fixed_ok" != yes ] && [ "$free_ok" = yes ]; then
    args+=(-f)
  fi
  [ "$mode" = program ] || [ "$mode" = program-lenient ] && args+=(-program)
  [ "$mode" = lenient ] || [ "$mode" = program-lenient ] && args+=(-lenient)
  (cd "$work" && TMPDIR="$work/tmp" timeout -s KILL "$limit" "$binary" "${args[@]}" \
    </dev/null >"$work/stdout" 2>"$work/stderr")
  status=$?
  outcome=$(classify "$status" "$work/stderr" "$work/out.gnv")
  counts[$outcome]=$((${counts[$outcome]:-0} + 1))
  [ -n "$report" ] && printf '%s\t%s\n' "$path" "$outcome" >>"$report"

  eligible=no
  is_program=no
  [[ $notes == *"whole program"* || $notes == *"program without PROCEDURE DIVISION"* ]] &&
    is_program=yes
  if { [ "$fixed_ok" = yes ] || [ "$free_ok" = yes ]; } &&
    [[ $notes != *"procedure-code copybook"* ]]; then
    whole_programs=no
    [ "$mode" = program ] || [ "$mode" = program-lenient ] && whole_programs=yes
    if { [ "$whole_programs" = no ] && [ "$is_program" = no ]; } ||
      { [ "$whole_programs" = yes ] && [ "$is_program" = yes ]; }; then
      eligible=yes
    fi
  fi
  want=${listed[$path]:-}
  problem=""
  if [ "$outcome" = crash ] || [ "$outcome" = hang ]; then
    problem="$outcome (exit status $status)"
  elif [ -n "$want" ] && [ "$outcome" != "$want" ]; then
    problem="expected $want, got $outcome"
  elif [ -z "$want" ] && [ "$eligible" = yes ] && [ "$outcome" != converted ]; then
    problem="accepted by GnuCOBOL but $outcome"
  elif [ -n "$(ls -A "$work/tmp")" ]; then
    problem="temporary files left behind"
  elif [ "$outcome" = converted ] && [ -f "$schema" ] &&
    ! xmllint --noout --schema "$schema" "$work/out.gnv" 2>"$work/xmllint"; then
    problem="output does not validate: $(head -3 "$work/xmllint")"
  fi
  if [ -n "$problem" ]; then
    echo "FAIL $path: $problem" >&2
    sed 's/^/    /' "$work/stderr" | head -12 >&2
    failures=$((failures + 1))
  fi
done <"$corpus/MANIFEST.tsv"

for path in "${!listed[@]}"; do
  if [ -z "${seen[$path]:-}" ]; then
    echo "FAIL $path: listed in $(basename "$expected_file") but not in the corpus" >&2
    failures=$((failures + 1))
  fi
done

rows=$(($(wc -l <"$corpus/MANIFEST.tsv") - 1))
if [ "$processed" -ne "$rows" ]; then
  echo "FAIL: $processed of the $rows files of the corpus were run" >&2
  failures=$((failures + 1))
fi

summary=""
for outcome in $(printf '%s\n' "${!counts[@]}" | sort); do
  summary+=" $outcome=${counts[$outcome]}"
done
echo "corpus ($mode):$summary; $failures failed"
[ "$failures" -eq 0 ]
