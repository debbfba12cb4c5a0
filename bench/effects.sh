#!/usr/bin/env bash
# Frame times of the drawing effects at 800x600 beside the bare clear+present frame, all in one
# run: each production of bench/productions is played with the fixed-step clock (--benchmark)
# and its median, p90, p99 and max frame times are printed in milliseconds.
# Usage: bash bench/effects.sh [SECONDS]   (default 20 s of demo time = 1200 frames per effect)
set -euo pipefail
source "$(dirname "$0")/common.sh"
seconds=${1:-20}
cp "$root"/bench/productions/*.vrp "$work"/
# One channel with note 1 on every row: the bars' inputs stay above 1 throughout.
awk 'BEGIN { for (i = 0; i < 2600; ++i) print 1 }' > "$work/steady.txt"
"$build/tools/make_demotrack" "$work/steady.txt" "$work/steady.bin"
printf '%-12s %8s %8s %8s %8s %7s\n' production median p90 p99 max frames
for name in bare flash invertflash lines overlay; do
  out=$(cd "$work" && "$build/vorpane" --quiet --no-dialogs --benchmark --fps 60 --to "$seconds" "$name.vrp")
  value() { printf '%s\n' "$out" | awk -v key="$1" 'tolower($0) ~ key { for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9.]+$/) { print $i; exit } }'; }
  printf '%-12s %8s %8s %8s %8s %7s\n' "$name" "$(value median)" "$(value p90)" "$(value p99)" \
    "$(value max)" "$(value frame)"
done
