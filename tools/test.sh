#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in the normal
# build and in a build with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)")
"$root/tools/build.sh" "$root/build-asan" -DVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$(nproc)")
# The fuzz targets over their seeds and a few thousand mutations: any crash,
# leak, sanitizer report or timeout fails the run.
"$root/tools/fuzz.sh" --smoke
