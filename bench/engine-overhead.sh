#!/usr/bin/env bash
# Engine overhead per frame: an empty production of 1000 bars ("template" effects, which draw
# nothing) with two input mappings each, all active at once, beside the bare clear+present
# frame, at 800x600 on the fixed-step clock (--benchmark).
# Usage: bash bench/engine-overhead.sh [SECONDS]   (default 20 s of demo time at 60 fps)
set -euo pipefail
source "$(dirname "$0")/common.sh"
seconds=${1:-20}
# Channel 0 keeps the demotrack long; channels 1 and 2 hold a note on every fourth row.
awk 'BEGIN { for (i = 0; i < 2600; ++i) print 1, (i % 4 == 0 ? 5 : 0), (i % 8 == 0 ? 7 : 0) }' \
  > "$work/track.txt"
"$build/tools/make_demotrack" "$work/track.txt" "$work/track.bin"
header='RESOLUTIONX 800
RESOLUTIONY 600
COLORDEPTH 32
INIT
CLEARCOLOR 16 24 64 255
TRACKER track.bin
BPM 120'
printf '%s\n' "$header" > "$work/bare.vrp"
{
  printf '%s\n' "$header"
  for slot in $(seq 0 9); do echo "LOAD template $slot"; done
  for bar in $(seq 0 999); do
    printf 'BAR b%d\nMOUNT 0\nLENGTH 40\nEFFECT %d\nINPUT 0 1 5 100 50\nINPUT 1 2 7 250 0\n' \
      "$bar" $((bar % 10))
  done
} > "$work/bars1000.vrp"
for name in bare bars1000; do
  echo "== $name"
  (cd "$work" && "$build/vorpane" --quiet --no-dialogs --benchmark --fps 60 --to "$seconds" "$name.vrp")
done
