#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only when one
# is missing, so that a prepared machine is not touched.
set -euo pipefail
# chromium: the record map page (-diagnose-html, -layout FILE.html) is checked in a headless browser.
packages=(cmake ninja-build g++ clang-14 libclang-rt-14-dev libmimalloc-dev flex bison libfl-dev libgtest-dev googletest libxml2-utils nlohmann-json3-dev python3-jsonschema groff-base man-db dpkg-dev bsdextrautils python3-distributed python3-dask python3-pandas pybind11-dev python3-pybind11 python3-pytest zlib1g-dev libbz2-dev libzstd-dev
  libavro-dev python3-avro python3-snappy libthrift-dev thrift-compiler libsnappy-dev pkg-config sqlite3 chromium)
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

# The Parquet readers the lake tests compare against (DuckDB and hyparquet, from npm) run with
# Node.js; they go into .deps/node (git-ignored). Without them those tests skip.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq nodejs npm >/dev/null || true
fi
root=$(cd "$(dirname "$0")/.." && pwd)
if command -v npm >/dev/null && [ ! -d "$root/.deps/node/node_modules/@duckdb/node-api" ]; then
  mkdir -p "$root/.deps/node"
  npm install --no-audit --no-fund --prefix "$root/.deps/node" \
    @duckdb/node-api@1.5.6-r.1 hyparquet@1.33.0 hyparquet-compressors@1.1.2 >/dev/null ||
    echo "deps.sh: the npm Parquet readers could not be installed; the Parquet tests will skip" >&2
fi
