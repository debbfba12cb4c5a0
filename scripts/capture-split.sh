#!/usr/bin/env bash
# Captures a range of a production in segments run side by side by GNU parallel, on this
# machine (--jobs N at once) or on others (--sshlogin, as GNU parallel takes it), then joins the
# segments and encodes the video once.
#
#   bash scripts/capture-split.sh [--jobs N] [--sshlogin HOSTS] [CAPTURE OPTIONS] OUTPUT SCRIPT
#   bash scripts/capture-split.sh --jobs 2 --fps 30 --from 10 --to 20 out.mp4 moltrax.vrp
#
# Each segment is a capture of its own (frames and sound lossless: FFV1 RGB and PCM in
# Matroska) that starts on the whole run's frame clock, so its frames and samples are those of a
# single capture of the range. The segments are joined without re-encoding, and the player
# encodes the joined file once with the codec options (--video-codec, --crf, --preset, --pix-fmt,
# --audio-codec, --audio-bitrate). Other options (--size, --ssaa, ...) go to every segment. --to
# is needed; --from defaults to 0. An OUTPUT that exists is refused unless --overwrite.
#
# Remote hosts need the player (VORPANE, else vorpane on their PATH), rsync, and the production
# at the same path as here; segments come back by GNU parallel's --return. The player here (also
# for ":" in --sshlogin) is VORPANE, else vorpane on the PATH, else the build's own (build/vorpane
# beside this script's folder).
set -euo pipefail

usage() {
  sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'
}

jobs=2
sshlogin=""
fps=60
from=0
to=""
render=()
encode=()
overwrite=()
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
    --overwrite) overwrite=(--overwrite); shift ;;
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
if [ -e "$output" ] && [ ${#overwrite[@]} -eq 0 ]; then
  echo "capture-split: $output exists; use --overwrite to replace it" >&2
  exit 2
fi
# GNU parallel brings segments back from other machines with rsync (there and here).
remote=false
for login in $(tr ',' ' ' <<< "$sshlogin"); do
  [ "${login#*/}" = ":" ] || [ "$login" = ":" ] || remote=true
done
if "$remote" && ! command -v rsync >/dev/null; then
  echo "capture-split: rsync is not installed here; this machine and every other one need it" \
    "(apt-get install rsync, or bash scripts/install-deps.sh)" >&2
  exit 1
fi

here=$(cd "$(dirname "$0")/.." && pwd)
player=${VORPANE:-}
if [ -z "$player" ]; then
  player=$(command -v vorpane || true)
  [ -n "$player" ] || player="$here/build/vorpane"
fi
# The jobs here start in another folder.
case "$player" in /*) ;; */*) player="$PWD/$player" ;; esac
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
trap 'exit 130' INT
trap 'exit 143' TERM
# The codec options are checked before anything is rendered: the player refuses bad ones with
# status 2 (a file that is not there to encode is status 1).
status=0
"$player" --no-dialogs --capture "$output" --encode "$work/none.mkv" ${overwrite[@]+"${overwrite[@]}"} \
  ${encode[@]+"${encode[@]}"} 2>"$work/check.txt" || status=$?
if [ "$status" -eq 2 ]; then
  cat "$work/check.txt" >&2
  exit 2
fi
# Segments are written to a folder named after the work folder: here inside it, on another
# machine in its login folder, from where --return brings them here and --cleanup removes them.
segment_folder=".$(basename "$work")"
mkdir "$work/$segment_folder"
: > "$work/segments.txt"
: > "$work/join.txt"
for ((k = 0; k < segments; ++k)); do
  first=$((frames * k / segments))
  end=$((frames * (k + 1) / segments))
  awk -v k="$k" -v a="$from" -v f="$fps" -v s="$first" -v e="$end" \
    'BEGIN { printf "segment_%04d.mkv\t%.9f\t%.9f\n", k, a + s / f, a + e / f }' \
    >> "$work/segments.txt"
  printf "file '%s/%s/segment_%04d.mkv'\n" "$work" "$segment_folder" "$k" >> "$work/join.txt"
done

# One segment's job, run by sh here or on another machine: SEGMENT FROM TO, then what is the
# same for all. Its error lines name the machine; a failed or stopped job removes its partial
# segment (and on another machine the folder, once empty).
# shellcheck disable=SC2016 # expanded by the job's own shell
job='segment=$1 from=$2 to=$3 work=$4 folder=$5 player=$6 there=$7 fps=$8 dir=$9; shift 9
if [ "${PARALLEL_SSHHOST:-:}" = : ]; then where="this machine" out=$work/$folder/$segment
else where=$PARALLEL_SSHHOST player=$there out=$PWD/$folder/$segment; fi
log=$(mktemp) || exit 1
tidy() { rm -f "$out" "$log"; [ "$where" = "this machine" ] || rmdir "${out%/*}" 2>/dev/null; }
trap "tidy; exit 143" HUP INT TERM
{ mkdir -p "${out%/*}" && cd "$dir" && "$player" --quiet --no-dialogs --capture "$out" --fps "$fps" --from "$from" --to "$to" --video-codec ffv1 --pix-fmt rgb --audio-codec pcm "$@"; } 2>"$log"
status=$?
awk -v p="capture-split: $where: " "{ print p \$0 }" "$log" >&2
rm -f "$log"
[ "$status" -eq 0 ] && exit 0
tidy
echo "capture-split: $where: the segment from $from s to $to s failed (status $status)" >&2
exit "$status"'
export CAPTURE_SPLIT_JOB="$job"
parallel_options=()
[ -z "$sshlogin" ] || parallel_options=(--sshlogin "$sshlogin" --env CAPTURE_SPLIT_JOB)
"$remote" && parallel_options+=(--return "$work/./$segment_folder/{1}" --cleanup)
quoted=""
for word in "$work" "$segment_folder" "$player" "$remote_player" "$fps" "$script_dir" \
  ${render[@]+"${render[@]}"} "$script_name"; do
  quoted+=" $(printf %q "$word")"
done
echo "capture-split: $frames frames in $segments segments, $jobs at once on each machine" >&2
# GNU parallel quotes what it puts in for {1} {2} {3}.
status=0
(cd "$work" && parallel --jobs "$jobs" --halt now,fail=1 --colsep '\t' \
  ${parallel_options[@]+"${parallel_options[@]}"} \
  "sh -c \"\$CAPTURE_SPLIT_JOB\" segment {1} {2} {3}$quoted" :::: "$work/segments.txt") ||
  status=$?
for ((k = 0; k < segments; ++k)); do
  part=$(printf '%s/%s/segment_%04d.mkv' "$work" "$segment_folder" "$k")
  if [ "$status" -eq 0 ] && ! [ -s "$part" ]; then
    echo "capture-split: segment $k did not come back (rsync missing on its machine?)" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] || exit "$status"

# Join without re-encoding, then encode once.
ffmpeg -hide_banner -loglevel error -nostdin -y -f concat -safe 0 -i "$work/join.txt" -c copy \
  "$work/joined.mkv"
"$player" --no-dialogs --capture "$output" --encode "$work/joined.mkv" \
  ${overwrite[@]+"${overwrite[@]}"} ${encode[@]+"${encode[@]}"}
echo "capture-split: wrote $output" >&2
