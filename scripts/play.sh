#!/usr/bin/env bash
# Installs what is missing, builds (which also generates the production's music, demotrack,
# pictures and models into build/production, beside a copy of its script), and plays the sample
# production: in a window with sound when there is a display; without one, captures it to a
# video file and prints its path.
# Extra arguments go to the player (e.g. --fullscreen, or --fps 60 for the capture).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir=$(cd "${VORPANE_BUILD_DIR:-build}" && pwd)

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
