#!/usr/bin/env bash
# Captures a range of a production in segments run side by side by GNU parallel, on this
# machine (--jobs N at once) or on others (--sshlogin, as GNU parallel takes it), then joins the
# segments and encodes the video once.
#
#   bash scripts/capture-split.sh [--jobs N] [--sshlogin HOSTS] [CAPTURE OPTIONS] OUTPUT SCRIPT
#   bash scripts/capture-split.sh --jobs 2 --fps 30 --from 10 --to 20 out.mp4 moltrax.vrp
#
# Each segment is a capture of its own (frames and sound lossless: FFV1 RGB and PCM in
# Matroska) that starts on the whole run's frame clock, so its frames are those of a single
# capture of the range. The segments are joined without re-encoding, and the player encodes
# the joined file once with the codec options (--video-codec, --crf, --preset, --pix-fmt,
# --audio-codec, --audio-bitrate); the sound is the music's own samples of the range. Other
# options (--size, --ssaa, ...) go to every segment. --to is needed; --from defaults to 0.
#
# Remote hosts need the player (VORPANE, else vorpane on their PATH) and the production at the
# same path as here; segments come back by GNU parallel's --return. The player here is VORPANE,
# else vorpane on the PATH, else the build's own (build/vorpane beside this script's folder).
set -euo pipefail

usage() {
  sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'
}

jobs=2
sshlogin=""
fps=60
from=0
to=""
render=()
encode=()
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    -h|--help) usage; exit 0 ;;
    --jobs|--sshlogin|--fps|--from|--to|--video-codec|--crf|--preset|--pix-fmt|--audio-codec|\
    --audio-bitrate)
      [ $# -ge 2 ] || { echo "capture-split: $1 needs a value" >&2; exit 2; }
      case "$1" in
        --jobs) jobs=$2 ;;
        --sshlogin) sshlogin=$2 ;;
        --fps) fps=$2 ;;
        --from) from=$2 ;;
        --to) to=$2 ;;
        *) encode+=("$1" "$2") ;;
      esac
      shift 2 ;;
    --quiet|--no-dialogs) render+=("$1"); shift ;;
    --overwrite) shift ;;  # the output is always replaced
    --*=*) render+=("$1"); shift ;;
    --*)
      [ $# -ge 2 ] || { echo "capture-split: $1 needs a value" >&2; exit 2; }
      render+=("$1" "$2"); shift 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
if [ ${#positional[@]} -ne 2 ]; then
  echo "capture-split: give the output video and the script (see --help)" >&2
  exit 2
fi
output=${positional[0]}
script=${positional[1]}
number='^[0-9]+([.][0-9]+)?$'
if [ -z "$to" ] || ! [[ $to =~ $number && $from =~ $number && $fps =~ $number ]]; then
  echo "capture-split: --to SECONDS is needed; --from, --to and --fps are plain numbers" >&2
  exit 2
fi
if ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
  echo "capture-split: --jobs needs a whole number above 0" >&2
  exit 2
fi
if ! command -v parallel >/dev/null; then
  echo "capture-split: GNU parallel is not installed (apt-get install parallel)" >&2
  exit 1
fi
[ -f "$script" ] || { echo "capture-split: cannot find the script $script" >&2; exit 1; }

here=$(cd "$(dirname "$0")/.." && pwd)
player=${VORPANE:-}
if [ -z "$player" ]; then
  player=$(command -v vorpane || true)
  [ -n "$player" ] || player="$here/build/vorpane"
fi
remote_player=${VORPANE:-vorpane}
script_dir=$(cd "$(dirname "$script")" && pwd)
script_name=$(basename "$script")
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac

# Frames of the range, and the first frame of each segment: the player gives the range
# round((to - from) * fps) frames, frame i at from + i / fps.
frames=$(awk -v a="$from" -v b="$to" -v f="$fps" 'BEGIN { n = (b - a) * f; printf "%d", n + 0.5 }')
if [ "$frames" -lt 1 ]; then
  echo "capture-split: --to must be later than --from" >&2
  exit 2
fi
# N segments per machine: each machine runs N at once.
machines=1
[ -z "$sshlogin" ] || machines=$(tr ',' '\n' <<< "$sshlogin" | grep -c .)
segments=$((jobs * machines))
[ "$segments" -le "$frames" ] || segments=$frames

work=$(mktemp -d "${TMPDIR:-/tmp}/capture-split.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The codec options are checked before anything is rendered: the player refuses bad ones with
# status 2 (a file that is not there to encode is status 1).
status=0
"$player" --no-dialogs --capture "$output" --encode "$work/none.mkv" \
  ${encode[@]+"${encode[@]}"} 2>"$work/check.txt" || status=$?
if [ "$status" -eq 2 ]; then
  cat "$work/check.txt" >&2
  exit 2
fi
: > "$work/segments.txt"
for ((k = 0; k < segments; ++k)); do
  first=$((frames * k / segments))
  end=$((frames * (k + 1) / segments))
  awk -v k="$k" -v a="$from" -v f="$fps" -v s="$first" -v e="$end" -v dir="$work" \
    'BEGIN { printf "%s/segment_%04d.mkv\t%.9f\t%.9f\n", dir, k, a + s / f, a + e / f }' \
    >> "$work/segments.txt"
  printf "file '%s/segment_%04d.mkv'\n" "$work" "$k" >> "$work/join.txt"
done

# One command line per segment; GNU parallel quotes what it puts in for {1} {2} {3}.
if [ -n "$sshlogin" ]; then
  run_player="mkdir -p $(printf %q "$work") && cd $(printf %q "$script_dir") && $(printf %q "$remote_player")"
  parallel_options=(--sshlogin "$sshlogin" --return '{1}' --cleanup)
else
  run_player="cd $(printf %q "$script_dir") && $(printf %q "$player")"
  parallel_options=()
fi
extra=""
for option in ${render[@]+"${render[@]}"}; do extra+=" $(printf %q "$option")"; done
echo "capture-split: $frames frames in $segments segments, $jobs at once on each machine" >&2
parallel --jobs "$jobs" --halt now,fail=1 --colsep '\t' ${parallel_options[@]+"${parallel_options[@]}"} \
  "$run_player --quiet --no-dialogs --capture {1} --fps $fps --from {2} --to {3}" \
  "--video-codec ffv1 --pix-fmt rgb --audio-codec pcm$extra $(printf %q "$script_name")" \
  :::: "$work/segments.txt"

# Join without re-encoding, then encode once.
ffmpeg -hide_banner -loglevel error -nostdin -y -f concat -safe 0 -i "$work/join.txt" -c copy \
  "$work/joined.mkv"
"$player" --no-dialogs --capture "$output" --encode "$work/joined.mkv" ${encode[@]+"${encode[@]}"}
echo "capture-split: wrote $output" >&2
