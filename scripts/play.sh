#!/usr/bin/env bash
# Installs what is missing, builds, and plays the sample production: in a window when there is a
# display; without one, captures it frame by frame and says where the frames are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
root=$(pwd)
cd production
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/vorpane" "$@" moltrax.vrp
fi
frames="$root/build/capture"
rm -rf "$frames"
echo "No display: capturing the production to $frames"
"$root/build/vorpane" --capture "$frames" "$@" moltrax.vrp
echo "Frames written to $frames ($(ls "$frames" | wc -l) PNG files)"
