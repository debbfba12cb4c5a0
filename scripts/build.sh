#!/usr/bin/env bash
# Configures and builds Vorpane into build/ (or $VORPANE_BUILD_DIR). Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VORPANE_BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
elif [ $# -gt 0 ]; then
  cmake "$build_dir" "$@" >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)"
