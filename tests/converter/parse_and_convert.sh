#!/usr/bin/env bash
# Converting while parsing against converting after the parse:
#   tests/converter/parse_and_convert.sh BINARY
# Each case runs BINARY twice on the same input, once with the records
# converted on a second thread as the parse leaves them
# (VEXFCBL_PARSE_AND_CONVERT=1) and once after the parse
# (VEXFCBL_PARSE_AND_CONVERT=0, the reference), in fresh folders; standard
# output, standard error, exit status and every file left (content and mode)
# must be the same. The cases are the ways the overlap can go wrong: records
# redefining the one before them, the last record, copybooks whose entries
# hang below the root, errors found after records were converted, a record
# the converter refuses, an existing output replaced, outputs that cannot be
# written.
set -uo pipefail

binary=$(realpath "$1")
scratch=$(mktemp -d)
trap 'chmod -R u+rwX "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
failed=0

# Records of 50 entries, as bench/scale.sh makes them: groups, REDEFINES,
# OCCURS, level-88 conditions and an edited total.
mixed() {
  awk -v records="$1" 'BEGIN {
    for (r = 1; r <= records; r++) {
      printf "       01  REC-%06d.\n", r
      for (g = 1; g <= 6; g++) {
        printf "           05  G%d-%06d.\n", g, r
        printf "               10  ID-%d-%06d        PIC 9(8).\n", g, r
        printf "               10  AMT-%d-%06d       PIC S9(9)V99 COMP-3.\n", g, r
        printf "               10  CNT-%d-%06d       PIC S9(4) COMP OCCURS 3.\n", g, r
        printf "               10  NAME-%d-%06d      PIC X(30).\n", g, r
        printf "               10  NAMR-%d-%06d      REDEFINES NAME-%d-%06d PIC 9(30).\n", g, r, g, r
        printf "               10  ST-%d-%06d        PIC X.\n", g, r
        printf "                   88  OK-%d-%06d    VALUE \"Y\".\n", g, r
      }
      printf "           05  TOTAL-%06d          PIC ZZZ,ZZZ,ZZ9.99-.\n", r
    }
  }'
}

# case NAME SETUP ARGS...: SETUP is a shell snippet run in the case's work
# folder first (it writes the inputs); ARGS are the program's arguments.
case_() {
  local name=$1 setup=$2
  shift 2
  local mode
  for mode in 0 1; do
    local run=$scratch/$name.$mode
    mkdir -p "$run/work"
    (cd "$run/work" && eval "$setup")
    (cd "$run/work" && VEXFCBL_PARSE_AND_CONVERT=$mode "$binary" "$@" </dev/null \
      >"$run/stdout" 2>"$run/stderr")
    echo "$?" >"$run/status"
    (cd "$run/work" && find . -type f -printf '%p %m\n' | sort >"$run/files" &&
      find . -type f -print0 | sort -z | xargs -0 -r sha256sum >>"$run/files")
  done
  local what
  for what in stdout stderr status files; do
    if ! cmp -s "$scratch/$name.0/$what" "$scratch/$name.1/$what"; then
      echo "$name: $what differs between converting after and while parsing:" >&2
      diff "$scratch/$name.0/$what" "$scratch/$name.1/$what" | head -20 >&2
      failed=1
    fi
  done
}

case_ records 'mixed 120 >in.cpy' -i in.cpy -o out.gnv
case_ options 'mixed 40 >in.cpy' -i in.cpy -o out.gnv -r -tn -ns a.b.c -c
case_ compat-300 'mixed 40 >in.cpy' -i in.cpy -o out.gnv -compat 300
# The existing output is replaced by a rename, keeping its mode.
case_ existing-output 'mixed 60 >in.cpy; echo old >out.gnv; chmod 640 out.gnv' \
  -i in.cpy -o out.gnv
case_ output-through-link 'mixed 20 >in.cpy; mkdir real; echo old >real/doc.gnv; ln -s real/doc.gnv out.gnv' \
  -i in.cpy -o out.gnv
case_ free-format 'mixed 30 | cut -c8- >in.cbl' -f -i in.cbl -o out.gnv
# Whether a record is redefined is read from the record after it: chains of
# record REDEFINES, the last record redefined and redefining.
case_ record-redefines "printf '%s\n' \
  '       01  A.' '           05 A1 PIC X(10).' \
  '       01  B REDEFINES A.' '           05 B1 PIC 9(10).' \
  '       01  C REDEFINES A PIC X(10).' \
  '       01  D PIC X(4).' '       01  E REDEFINES D PIC 9(4).' >in.cpy" -i in.cpy -o out.gnv
case_ level-77-66 "printf '%s\n' \
  '       77  COUNTER PIC S9(4) COMP.' \
  '       01  R.' '           05 R1 PIC X(2).' '           05 R2 PIC X(3).' \
  '       66  R12 RENAMES R1 THRU R2.' \
  '       77  LAST-ONE PIC X.' '           88 IS-Y VALUE \"Y\".' >in.cpy" -i in.cpy -o out.gnv
# Entries without an 01 hang below the root; an 01 after them makes the
# records the entries to convert instead.
case_ loose-entries "printf '%s\n' '           05  A PIC X(3).' '           05  B.' \
  '               10  C PIC 9(2).' >in.cpy" -i in.cpy -o out.gnv
case_ loose-then-record "printf '%s\n' '           05  A PIC X(3).' '           05  B PIC X.' \
  '       01  R.' '           05  C PIC 9(2).' '       01  S PIC X.' >in.cpy" -i in.cpy -o out.gnv
# Errors after many records were converted: nothing is converted.
case_ late-syntax-error 'mixed 80 >in.cpy; echo "       01  BAD PIC X(3) VALUE." >>in.cpy' \
  -i in.cpy -o out.gnv
case_ late-duplicate 'mixed 30 >in.cpy; mixed 1 >>in.cpy' -i in.cpy -o out.gnv
case_ late-undeclared 'mixed 30 >in.cpy; echo "       01  T PIC X OCCURS 1 TO 5 DEPENDING ON NOWHERE." >>in.cpy' \
  -i in.cpy -o out.gnv
# A qualified name whose field is missing is declared below its qualifier,
# an entry converted long before: at the end (DEPENDING ON) and while the
# parse reads on (RENAMES operands, resolved at once).
case_ late-missing-field 'mixed 30 >in.cpy; echo "       01  T PIC X OCCURS 1 TO 5 DEPENDING ON NOPE OF REC-000002." >>in.cpy' \
  -i in.cpy -o out.gnv
case_ missing-field-mid-parse 'mixed 30 >in.cpy; printf "       01  T PIC X.\n       66  TR RENAMES NOPE OF REC-000002.\n" >>in.cpy; mixed 20 | sed s/-0000/-9000/g >>in.cpy' \
  -i in.cpy -o out.gnv
case_ late-missing-copybook 'mixed 30 >in.cpy; echo "       COPY NOSUCHBOOK." >>in.cpy' \
  -i in.cpy -o out.gnv
# A record the converter refuses stops the conversion there.
case_ refused-record 'mixed 30 >in.cpy; echo "       01  HUGE PIC X OCCURS 1000000000." >>in.cpy; mixed 2 | sed s/-00000/-90000/g >>in.cpy' \
  -i in.cpy -o out.gnv
case_ no-records "printf '%s\n' '      * only a comment' >in.cpy" -i in.cpy -o out.gnv
case_ no-output-folder 'mixed 10 >in.cpy' -i in.cpy -o missing/out.gnv
case_ output-is-folder 'mixed 10 >in.cpy; mkdir out.gnv' -i in.cpy -o out.gnv
case_ strict-errors 'mixed 10 >in.cpy; echo "       01  BAD PIC." >>in.cpy' \
  -strict -i in.cpy -o out.gnv
case_ with-layout 'mixed 10 >in.cpy' -i in.cpy -o out.gnv -layout out.json

exit "$failed"
