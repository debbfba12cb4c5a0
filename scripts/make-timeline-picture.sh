#!/usr/bin/env bash
# Remakes docs/timeline.svg, the README's picture of the sample production's timeline: builds
# the player and the production's data (the build draws <build>/production/timeline.svg) and
# copies the picture.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VORPANE_BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)" --target production_timeline
cp "$build_dir/production/timeline.svg" docs/timeline.svg
echo "make-timeline-picture: docs/timeline.svg"
