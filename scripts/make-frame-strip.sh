#!/usr/bin/env bash
# Draws docs/frames.jpg, the strip of frames the README opens with: one frame from the middle of
# six sections of the sample production, captured headless by the built player from
# build/production (or $VORPANE_BUILD_DIR/production), scaled down and set side by side by ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_dir=$(cd "${VORPANE_BUILD_DIR:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
times=(5 13 28 36 44 52)   # seconds: build, groove, theme, break, first and second drop
i=0
for t in "${times[@]}"; do
  # One frame: the range [t, t + 1/10) at 10 frames a second.
  (cd "$build_dir/production" &&
    SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$build_dir/vorpane" --no-dialogs --quiet \
      --capture "$work/at$t" --fps 10 --from "$t" --to "$(awk "BEGIN { print $t + 0.1 }")" moltrax.vrp)
  cp "$work/at$t/frame_000000.png" "$work/strip_$i.png"
  i=$((i + 1))
done
ffmpeg -loglevel error -y -i "$work/strip_%d.png" \
  -vf "scale=240:180:flags=lanczos,tile=${#times[@]}x1:padding=4:color=black" \
  -frames:v 1 -q:v 3 "$root/docs/frames.jpg"
echo "make-frame-strip: docs/frames.jpg from the frames at ${times[*]} s"
