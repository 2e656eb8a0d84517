#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only when one
# is missing, so that a prepared machine is not touched.
set -euo pipefail
# chromium: the record map page (-diagnose-html, -layout FILE.html) is checked in a headless browser.
packages=(cmake ninja-build g++ clang-14 libclang-rt-14-dev libmimalloc-dev flex bison libfl-dev libgtest-dev googletest libxml2-utils nlohmann-json3-dev python3-jsonschema groff-base man-db dpkg-dev bsdextrautils python3-distributed python3-dask python3-pandas pybind11-dev python3-pybind11 python3-pytest chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
