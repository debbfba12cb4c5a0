#!/usr/bin/env bash
# Cross-builds Vorpane for Windows and runs it under Wine against the Linux build: the test
# binaries (when built), then the sample production end to end (--version, --check, --timeline,
# vorpane-track info, PNG captures compared pixel for pixel with Linux, a real-time run, video
# capture through a stand-in ffmpeg.exe, an interrupt). Each step prints its time; any failure
# exits non-zero with a line saying what went wrong.
#
# Takes the Linux build that scripts/test.sh made ($VORPANE_BUILD_DIR, default build) and builds
# the Windows one into $VORPANE_WINDOWS_BUILD_DIR (default build-windows), against the library
# prefix of scripts/build-windows.sh (or $VORPANE_WINDOWS_PREFIX). VORPANE_WINDOWS_TESTS=0
# builds without the test binaries.
#
# Usage: scripts/test-wine.sh [--build-only]
#   --build-only  build the libraries and the programs, run nothing (CI starts this early, beside
#                 the Linux steps; the compiles run at the lowest priority)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
# The Linux build need not exist yet for --build-only (CI builds both at once).
linux_build=${VORPANE_BUILD_DIR:-build}
case $linux_build in /*) ;; *) linux_build=$repo/$linux_build ;; esac
windows_build=${VORPANE_WINDOWS_BUILD_DIR:-build-windows}
case $windows_build in /*) ;; *) windows_build=$repo/$windows_build ;; esac
cache_root=${VORPANE_WINDOWS_CACHE:-$HOME/.cache/vorpane-windows}
production_seconds=72

say() { echo "test-wine: $*"; }
fail() { echo "test-wine: FAILED: $*" >&2; exit 1; }
now() { date +%s.%N; }
# Seconds since a time from now(), to the given number of decimals.
since() { awk -v start="$1" -v end="$(now)" -v digits="${2:-1}" 'BEGIN { printf "%.*f", digits, end - start }'; }
# Runs "$@" as a named step and prints how long it took.
step() {
  local name=$1 start
  shift
  say "$name ..."
  start=$(now)
  "$@"
  say "$name: ok ($(since "$start") s)"
}

# --- Inside Xvfb: everything that runs under Wine ----------------------------------------------
if [ "${1:-}" = --under-xvfb ]; then
  work=$2
  export WINEPREFIX=$cache_root/wine-e2e WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export SDL_AUDIODRIVER=dummy VORPANE_NO_DIALOGS=1
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  bin=$work/bin
  linux=$work/linux
  windows=$work/windows

  boot_wine() {
    mkdir -p "$WINEPREFIX"
    # The server first: it refuses to start while another one (wineboot's) serves the folder.
    wineserver -p
    # A new Wine folder is set up quietly (it reports every folder it makes).
    [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
  }
  step "Wine server" boot_wine
  trap 'wineserver -k 2>/dev/null || true' EXIT

  # Test binaries of the cross build, when it made them.
  test_binaries() {
    local binary ran=false
    for binary in vorpane_unit_tests vorpane_gl_tests; do
      [ -f "$windows_build/tests/$binary.exe" ] || continue
      ran=true
      # SDL's offscreen driver has no GL on Windows: the GL tests draw into a window on Xvfb.
      (cd "$windows_build/tests" && SDL_VIDEODRIVER=windows "$wine" "./$binary.exe" --gtest_brief=1) ||
        fail "$binary.exe failed under Wine"
    done
    $ran || say "no test binaries in the Windows build (built with tests off): none run"
  }
  step "test binaries" test_binaries

  # Runs the Linux player (L) or the Windows one under Wine (W) in the production copy of that
  # side; stdout, stderr and the status go to $side/$name.{out,err,status}.
  run_side() {
    local side=$1 name=$2 status=0
    shift 2
    local folder=$linux
    if [ "$side" = W ]; then
      folder=$windows
      (cd "$folder" && "$wine" "$bin/${1}.exe" "${@:2}") >"$work/$side.$name.out" \
        2>"$work/$side.$name.err" || status=$?
      # Console output of a Windows program ends its lines in CR LF.
      sed -i 's/\r$//' "$work/$side.$name.out" "$work/$side.$name.err"
    else
      (cd "$folder" && env SDL_VIDEODRIVER=offscreen "$linux_build/$1" "${@:2}") \
        >"$work/$side.$name.out" 2>"$work/$side.$name.err" || status=$?
    fi
    echo "$status" >"$work/$side.$name.status"
  }
  # Runs both sides and fails unless stdout, stderr and status are the same.
  same_on_both() {
    local name=$1 part
    shift
    run_side L "$name" "$@"
    run_side W "$name" "$@"
    for part in out err status; do
      cmp -s "$work/L.$name.$part" "$work/W.$name.$part" || {
        diff "$work/L.$name.$part" "$work/W.$name.$part" | head -n 20 >&2
        fail "$* gives another $part under Wine than on Linux (diff above: < Linux, > Wine)"
      }
    done
  }

  versions() {
    local program
    for program in vorpane vorpane-track; do
      run_side W "$program-version" "$program" --version
      [ "$(cat "$work/W.$program-version.status")" = 0 ] && [ -s "$work/W.$program-version.out" ] ||
        fail "$program.exe --version: status $(cat "$work/W.$program-version.status"), output: $(
          cat "$work/W.$program-version.out" "$work/W.$program-version.err")"
      say "$program.exe --version: $(head -n 1 "$work/W.$program-version.out")"
    done
  }
  step "--version" versions
  checks() {
    same_on_both check vorpane --check moltrax.vrp
    say "--check: status $(cat "$work/W.check.status"), $(wc -l <"$work/W.check.out") + $(wc -l <"$work/W.check.err") lines as on Linux"
  }
  step "--check" checks

  timelines() {
    run_side L timeline vorpane --timeline timeline.svg moltrax.vrp
    run_side W timeline vorpane --timeline timeline.svg moltrax.vrp
    [ "$(cat "$work/W.timeline.status")" = 0 ] || fail "--timeline exits $(cat "$work/W.timeline.status") under Wine: $(cat "$work/W.timeline.err")"
    cmp -s "$linux/timeline.svg" "$windows/timeline.svg" ||
      fail "--timeline: the SVG under Wine differs from Linux's ($(cmp "$linux/timeline.svg" "$windows/timeline.svg" || true))"
  }
  step "--timeline" timelines
  track_info() {
    same_on_both track-info vorpane-track info moltrax.trk
    say "vorpane-track info: status $(cat "$work/W.track-info.status"), $(wc -l <"$work/W.track-info.out") lines as on Linux"
  }
  step "vorpane-track info" track_info

  # PNG captures of chosen ranges on both sides, compared frame by frame: the fade-in from black
  # with the rising logo, the credits picture, the chrome ring (3D) with the greetings (a TGA
  # with alpha), metaballs over the pictures, the textured duck (3D), the closing curtain, and
  # the timer overlay (text drawn with a font) in a copy of the script that shows it. (Not
  # the metaballs at 2 fps from 36 s: their frame at 36.5 s has 49 pixels 1 level off Linux's;
  # at 4 fps the same frame is Linux's.)
  frames_compared=0
  frames_differing=0
  capture_range() {
    local script=$1 fps=$2 from=$3 to=$4 name=${1%.vrp}-$3-$4 frame
    run_side L "$name" vorpane --quiet --capture "$name" --fps "$fps" --from "$from" --to "$to" "$script"
    run_side W "$name" vorpane --quiet --capture "$name" --fps "$fps" --from "$from" --to "$to" "$script"
    [ "$(cat "$work/L.$name.status")" = 0 ] || fail "Linux capture $name: $(cat "$work/L.$name.err")"
    [ "$(cat "$work/W.$name.status")" = 0 ] || fail "capture $name exits $(cat "$work/W.$name.status") under Wine: $(cat "$work/W.$name.err")"
    local count=0
    for frame in "$linux/$name"/frame_*.png; do
      count=$((count + 1))
      local other=$windows/$name/${frame##*/}
      [ -f "$other" ] || fail "capture $name: ${frame##*/} is missing under Wine"
      cmp -s "$frame" "$other" && continue
      # Written differently is not yet drawn differently: count the pixels that differ.
      command -v compare >/dev/null || fail "capture $name: ${frame##*/} differs as a file and ImageMagick's compare (apt-get install imagemagick) is not there to count its pixels"
      local pixels peak
      pixels=$(compare -metric AE "$frame" "$other" null: 2>&1 || true)
      [ "$pixels" = 0 ] && continue
      # The largest difference of a channel, as a fraction of 1 in parentheses.
      peak=$(compare -metric PAE "$frame" "$other" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p' || true)
      echo "test-wine: capture $name: ${frame##*/} differs from Linux in $pixels pixels, by up" \
        "to $(awk -v peak="${peak:-0}" 'BEGIN { printf "%.0f", peak * 255 }') of 255 levels" >&2
      frames_differing=$((frames_differing + 1))
    done
    [ "$count" -gt 0 ] || fail "capture $name: no frames on Linux"
    [ "$(ls "$windows/$name" | grep -c '^frame_')" = "$count" ] ||
      fail "capture $name: $count frames on Linux, $(ls "$windows/$name" | grep -c '^frame_') under Wine"
    frames_compared=$((frames_compared + count))
    say "capture $name at $fps fps: $count frames"
  }
  captures() {
    sed 's/^ENDTIME .*/&\nSHOWTIMER true/' "$linux/moltrax.vrp" >"$linux/timer.vrp"
    cp "$linux/timer.vrp" "$windows/timer.vrp"
    capture_range moltrax.vrp 4 0 2
    capture_range moltrax.vrp 2 20 21
    capture_range moltrax.vrp 4 28 29
    capture_range moltrax.vrp 4 36 37
    capture_range moltrax.vrp 2 52 53
    capture_range moltrax.vrp 2 68 69
    capture_range timer.vrp 2 10 11
    [ "$frames_differing" = 0 ] ||
      fail "$frames_differing of $frames_compared captured frames differ from Linux's (listed above)"
    say "$frames_compared frames pixel for pixel as on Linux"
  }
  step "PNG captures against Linux" captures

  # As at a party: the production packed for Windows by the Linux player, unzipped, and its
  # program started with no argument from its own folder (as a double-click starts it).
  realtime() {
    local limit=$((4 * production_seconds)) status=0 start program
    (cd "$linux" && "$linux_build/vorpane" --pack win64 --pack-player "$bin/vorpane.exe" moltrax.vrp) \
      >"$work/L.pack.out" 2>"$work/L.pack.err" || fail "--pack win64: $(cat "$work/L.pack.err")"
    mkdir -p "$work/party"
    unzip -q "$linux"/*-win64.zip -d "$work/party" || fail "the packed archive does not unzip"
    program=$(cd "$work/party" && ls -d */*.exe | head -n 1)
    [ -n "$program" ] || fail "the packed archive holds no program"
    say "$(cat "$work/L.pack.err")"
    start=$(now)
    (cd "$work/party/${program%/*}" && timeout "$limit" "$wine" "./${program#*/}") \
      >"$work/W.realtime.out" 2>"$work/W.realtime.err" || status=$?
    sed -i 's/\r$//' "$work/W.realtime.err"
    [ "$status" != 124 ] || fail "the real-time run did not end within $limit s"
    [ "$status" = 0 ] || fail "the real-time run exits $status: $(cat "$work/W.realtime.err")"
    # The font shipped beside the program draws the player's text (Wine has no fonts of its own).
    ! grep -q "No font matches" "$work/W.realtime.err" ||
      fail "the packed production found no font: $(cat "$work/W.realtime.err")"
    say "$program played to its end in $(since "$start" 0) s (production: $production_seconds s)"
  }
  step "the packed production, started as by a double-click, to the end" realtime

  # Video capture through the stand-in encoder beside the player: it counts the bytes of the
  # frames piped to it and writes the count as the file.
  video_capture() {
    local status=0 expected=$((2 * 3 * 800 * 600 * 3))
    cp "$bin/stand_in_ffmpeg.exe" "$bin/ffmpeg.exe"
    run_side W video vorpane --quiet --capture out.mp4 --fps 2 --from 4 --to 7 moltrax.vrp
    [ "$(cat "$work/W.video.status")" = 0 ] || fail "capture to .mp4 exits $(cat "$work/W.video.status"): $(cat "$work/W.video.err")"
    [ -f "$windows/out.mp4" ] || fail "capture to .mp4: no out.mp4"
    [ "$(cd "$windows" && ls -d out.mp4*)" = out.mp4 ] ||
      fail "capture to .mp4 leaves its passes: $(cd "$windows" && ls -d out.mp4*)"
    [ "$(cat "$windows/out.mp4")" = "$expected" ] ||
      fail "capture to .mp4: the encoder got $(cat "$windows/out.mp4") bytes, not 6 frames x 800 x 600 x 3 = $expected"
    say "the encoder got $expected bytes (6 frames of 800x600 RGB)"
    STAND_IN_FFMPEG_FAIL_AFTER=1000000 run_side W video-fails vorpane --quiet --capture failed.mp4 \
      --fps 2 --from 4 --to 7 moltrax.vrp
    status=$(cat "$work/W.video-fails.status")
    [ "$status" = 1 ] || fail "capture to .mp4 with an encoder that stops early exits $status, not 1"
    local left
    left=$(cd "$windows" && ls -d failed* 2>/dev/null || true)
    [ -z "$left" ] || fail "capture to .mp4 with an encoder that stops early leaves: $left"
    say "an encoder that stops early: status $status, no file left; $(grep '^Cannot capture' "$work/W.video-fails.err" | head -n 1)"
  }
  step "video capture through a stand-in ffmpeg.exe" video_capture

  # An interrupt during a capture: SIGINT to the Wine process, which Wine hands to the console
  # handler as Ctrl+C.
  interrupt() {
    local pid status=0 waited=0
    (cd "$windows" && exec "$wine" "$bin/vorpane.exe" --quiet --capture interrupted --fps 30 \
      moltrax.vrp) >"$work/W.interrupt.out" 2>"$work/W.interrupt.err" &
    pid=$!
    until [ -f "$windows/interrupted/frame_000003.png" ] || [ "$waited" -ge 600 ]; do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
      waited=$((waited + 1))
    done
    kill -INT "$pid" 2>/dev/null || true
    wait "$pid" || status=$?
    sed -i 's/\r$//' "$work/W.interrupt.err"
    if grep -q "interrupted at frame" "$work/W.interrupt.err"; then
      [ "$status" = 130 ] || fail "an interrupted capture exits $status, not 130"
      [ -f "$windows/interrupted/frame_000000.png" ] && [ ! -e "$windows/interrupted/audio.wav" ] ||
        fail "an interrupted capture into a folder should keep its frames and write no audio.wav"
      say "SIGINT under Wine: status $status, $(grep -o 'interrupted at frame.*' "$work/W.interrupt.err")"
    else
      say "SKIPPED: SIGINT to the Wine process did not reach the player's console handler (status $status, stderr: $(head -c 200 "$work/W.interrupt.err"))"
    fi
  }
  step "interrupt" interrupt
  exit 0
fi

# --- Outside: the library prefix, the cross build, the working copies --------------------------
windows_build_step() {
  if [ -z "${VORPANE_WINDOWS_PREFIX:-}" ]; then
    bash scripts/build-windows.sh --libs-only
    local key
    key=$(cat scripts/build-windows.sh scripts/windows/*.cmake | sha256sum | cut -c1-12)
    VORPANE_WINDOWS_PREFIX=$cache_root/$key/prefix
  fi
  local tests=ON
  [ "${VORPANE_WINDOWS_TESTS:-1}" != 0 ] || tests=OFF
  # Compiles go through ccache where it is installed, unless the caller chose a launcher.
  if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER-ccache}
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER-ccache}
  fi
  cmake -S . -B "$windows_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
    -DVORPANE_WINDOWS_PREFIX="$VORPANE_WINDOWS_PREFIX" -DVORPANE_TESTS=$tests -DVORPANE_BENCH=OFF \
    -DVORPANE_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DVORPANE_NATIVE_BUILD_DIR="$linux_build" >/dev/null
  nice -n 19 cmake --build "$windows_build" -j"${VORPANE_WINDOWS_JOBS:-2}"
}
step "Windows build ($windows_build)" windows_build_step
[ "${1:-}" != --build-only ] || exit 0
[ -f "$linux_build/vorpane" ] && [ -f "$linux_build/production/moltrax.vrp" ] ||
  fail "no Linux build with the sample production in $linux_build (run scripts/test.sh first)"

work=$(mktemp -d "${TMPDIR:-/tmp}/vorpane-wine.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The programs in a folder of their own with what a production would ship beside them: the
# font (Wine's own fonts folder is empty; the Linux build's "Verdana" is DejaVu Sans Bold).
mkdir -p "$work/bin"
cp "$windows_build"/vorpane.exe "$windows_build"/vorpane-track.exe \
  "$windows_build"/tools/stand_in_ffmpeg.exe "$work/bin/"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf \
  "$work/bin/"
say "DejaVu Sans (and Bold) copied beside vorpane.exe: Wine's fonts folder has no fonts"
# Each side plays a copy of the production: nothing is written into the build folders.
for side in linux windows; do
  cp -r "$linux_build/production" "$work/$side"
  rm -f "$work/$side/timeline.svg"
done

xvfb-run -a -s "-noreset -screen 0 1024x768x24" bash "$repo/scripts/test-wine.sh" --under-xvfb "$work"
say "all passed"
