#!/usr/bin/env bash
# Installs what is missing, builds the player (which also generates the production's music, demotrack,
# pictures and models into build/production, beside a copy of its script), and plays the sample
# production: in a window with sound when there is a display; without one, captures it to a
# video file and prints its path.
# Extra arguments go to the player (e.g. --fullscreen, or --fps 60 for the capture).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --play
# Only what plays: a new build folder is configured without tests, benchmarks and fuzzers (one
# that scripts/test.sh made keeps them), and only the player and the production's data are built.
build_dir=${VORPANE_BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORPANE_TESTS=OFF \
    -DVORPANE_BENCH=OFF >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)" --target vorpane production_data
build_dir=$(cd "$build_dir" && pwd)

# The build copies the script beside its generated data, so it plays from that folder.
cd "$build_dir/production"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$build_dir/vorpane" "$@" moltrax.vrp
fi

# No display: a video of the whole production, at 30 frames a second unless --fps is given.
video="$build_dir/moltrax.mp4"
rate=(--fps 30)
for argument in "$@"; do
  if [ "$argument" = "--fps" ]; then rate=(); fi
done
echo "No display: capturing the production to a video (this takes a while)..."
"$build_dir/vorpane" --capture "$video" "${rate[@]}" "$@" moltrax.vrp
echo "Video written to $video"
