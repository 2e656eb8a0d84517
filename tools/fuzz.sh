#!/usr/bin/env bash
# Builds the libFuzzer targets (clang 14, AddressSanitizer, UBSan) in
# build-fuzz/ and runs them on a seed corpus with a COBOL dictionary.
#   tools/fuzz.sh SECONDS      run each target for SECONDS, keeping what it
#                              finds in build-fuzz/corpus/TARGET/
#   tools/fuzz.sh --smoke      run each target over its seeds and a few
#                              thousand mutations; fails on any finding
#   VEX_FUZZ_TARGETS="fuzz_decoder" tools/fuzz.sh 1800   only the targets named
# Seeds: the golden cases' copybooks, tests/fuzz/ and, when it is there, the
# real-world corpus (shared/corpus beside the source tree, or VEX_CORPUS_DIR);
# for fuzz_decoder the golden cases' data files behind every option pair of a
# few layouts, and tests/fuzz/decoder/ (findings kept, option bytes first).
# A finding is written as build-fuzz/findings/TARGET-crash-... ; keep it as a
# regression case under tests/fuzz/ once it is fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VEX_FUZZ_BUILD:-$root/build-fuzz}
mode=${1:---smoke}

if [ ! -f "$build/build.ninja" ]; then
  CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVEX_FUZZ=ON -DVEX_TESTS=OFF >/dev/null
fi
targets=${VEX_FUZZ_TARGETS:-fuzz_copybook fuzz_copy_tree fuzz_program fuzz_decoder}
# shellcheck disable=SC2086
ninja -C "$build" -j"$(nproc)" $targets | grep -v '^\[' || true

# The dictionary: every reserved word and the separators COBOL cares about.
dict=$build/cobol.dict
{
  sed -n 's/^KEYWORD("\([^"]*\)".*/"\1"/p;s/^SYNONYM("\([^"]*\)".*/"\1"/p' "$root/frontend/keywords.def"
  printf '"%s"\n' "==" "." "," ";" "(" ")" ":" "*>" "\\\"" "'" "COPY " " REPLACING " " BY " \
    "*>FILE " "      *" "      -" "       01 " "           05 " "               88 " \
    " PIC X(" " PIC S9(" ")V9(" " COMP-3" " OCCURS " " DEPENDING ON " " REDEFINES " " VALUE " \
    "       IDENTIFICATION DIVISION." "       PROGRAM-ID. " "       DATA DIVISION." \
    "       PROCEDURE DIVISION." "       END PROGRAM " " SECTION." "       FD " \
    ">>SOURCE FORMAT IS FREE" ">>SOURCE FIXED" ">>DEFINE " ">>IF " ">>ELSE" ">>END-IF"
} | sort -u >"$dict"

# Seeds, the option byte in front (0: the default options).
seeds=$build/seeds
rm -rf "$seeds" && mkdir -p "$seeds"
n=0
add_seed() { n=$((n + 1)); { printf '\000'; cat "$1"; } >"$seeds/seed-$n"; }
for f in "$root"/tests/golden/*/files/*.cpy "$root"/tests/golden/*/files/*.cbl "$root"/tests/fuzz/*; do
  [ -f "$f" ] && add_seed "$f"
done
corpus=${VEX_CORPUS_DIR:-$root/../shared/corpus}
if [ -d "$corpus" ]; then
  while IFS= read -r f; do add_seed "$f"; done < <(find "$corpus" -type f \( -iname '*.cpy' -o -iname '*.cbl' -o -iname '*.cob' \) | sort)
fi
echo "fuzz: $n seeds"

# The decoder's seeds: two option bytes (layout, format, code page, float and
# byte order; -fillers, -trim, -raw, declared length), then record bytes.
decoder_seeds=$build/seeds-decoder
rm -rf "$decoder_seeds" && mkdir -p "$decoder_seeds"
d=0
for f in "$root"/tests/fuzz/decoder/*; do
  # Earlier findings, option bytes included: replayed as they are.
  [ -f "$f" ] && d=$((d + 1)) && cp "$f" "$decoder_seeds/seed-$d"
done
for f in "$root"/tests/golden/*decode*/files/*; do
  case "$f" in *.cpy) continue ;; esac
  [ -f "$f" ] || continue
  for options in '\000\000' '\002\000' '\012\004' '\101\002' '\223\001' '\304\010' '\025\005' '\046\000' '\017\006'; do
    d=$((d + 1))
    { printf "$options"; head -c 4096 "$f"; } >"$decoder_seeds/seed-$d"
  done
done
echo "fuzz: $d decoder seeds"

mkdir -p "$build/findings"
status=0
passed=0
failed=0
for target in $targets; do
  work=$build/corpus/$target
  mkdir -p "$work"
  if [ "$target" = fuzz_decoder ]; then
    # Records are short: long inputs only repeat them.
    target_seeds=$decoder_seeds
    args=(-max_len=4096)
  else
    target_seeds=$seeds
    args=(-max_len=65536 -dict="$dict")
  fi
  if [ "$mode" = --smoke ]; then
    # Every seed once, then a bounded number of mutations of them.
    args+=(-runs=3000)
  else
    args+=(-max_total_time="$mode")
  fi
  echo "fuzz: $target ${args[*]}"
  if ! (cd "$build/findings" && "$build/fuzz/$target" "${args[@]}" -timeout=10 \
        -rss_limit_mb=2048 -close_fd_mask=3 -artifact_prefix="$build/findings/$target-" \
        -print_final_stats=1 "$work" "$target_seeds" 2>"$build/$target.log"); then
    echo "fuzz: $target found a problem:"; tail -40 "$build/$target.log"; status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb' \
    "$build/$target.log" | sed "s/^/fuzz: $target /"
done
echo "fuzz: $passed passed, $failed failed"
exit $status
