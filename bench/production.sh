#!/usr/bin/env bash
# The sample production scene by scene at 800x600, beside the bare clear+present frame, all in one
# run: each 8-second section of production/moltrax.vrp is played with the fixed-step clock
# (--benchmark --from --to) and its median, p90, p99 and max frame times are printed in
# milliseconds. Then the start-up time to the first frame, the peak memory of a full run, and
# (with --mp4) the time to capture the whole production to MP4.
# Usage: bash bench/production.sh [--mp4]
set -euo pipefail
source "$(dirname "$0")/common.sh"
# The built production (the script beside its generated data), linked file by file.
mkdir "$work/production"
ln -s "$build"/production/* "$work/production/"
printf 'RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\nINIT\nENDTIME 800\n' > "$work/production/bare.vrp"
cd "$work/production"

value() { printf '%s\n' "$1" | awk -v key="$2" 'tolower($0) ~ key { for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9.]+$/) { print $i; exit } }'; }
row() {
  printf '%-12s %8s %8s %8s %8s %7s\n' "$1" "$(value "$2" median)" "$(value "$2" p90)" \
    "$(value "$2" p99)" "$(value "$2" max)" "$(value "$2" frame)"
}
printf '%-12s %8s %8s %8s %8s %7s\n' scene median p90 p99 max frames
row bare "$("$build/vorpane" --quiet --no-dialogs --benchmark --fps 60 --to 8 bare.vrp)"
start=0
for scene in intro build groove theme break drop drop2 outro finale; do
  row "$scene" "$("$build/vorpane" --quiet --no-dialogs --benchmark --fps 60 --from "$start" \
    --to $((start + 8)) moltrax.vrp)"
  start=$((start + 8))
done

# Start-up: from launch to the end of the first frame (the run is one frame long).
seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'; }
begin=$EPOCHREALTIME
"$build/vorpane" --quiet --no-dialogs --benchmark --fps 60 --to 0.01 moltrax.vrp >/dev/null
echo "start-up to the first frame: $(seconds_since "$begin") s"

# Peak memory of a full run at 60 frames a second.
/usr/bin/time -f "peak memory of a full run: %M KiB (%e s)" \
  "$build/vorpane" --quiet --no-dialogs --benchmark --fps 60 moltrax.vrp >/dev/null

if [ "${1:-}" = "--mp4" ]; then
  begin=$EPOCHREALTIME
  "$build/vorpane" --quiet --no-dialogs --capture "$work/moltrax.mp4" --fps 60 moltrax.vrp
  echo "capture of the whole production to MP4 at 60 fps: $(seconds_since "$begin") s"
fi
