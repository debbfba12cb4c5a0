#!/usr/bin/env bash
# Builds the fuzz target of every reader (pictures, music, 3DS models, scripts, demotracks, and
# the MIDI files and modules demotracks are made from, keyed-track files) with
# clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer) into build-fuzz/ (or
# $VORPANE_FUZZ_BUILD_DIR), makes the seed files (kept there, in fuzz-seeds/, for fuzz-long.sh), and runs each target over its seeds and then $VORPANE_FUZZ_SECONDS (default 20)
# seconds of fuzzing. Prints one line per target with its executions per second; fails on the
# first crash.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VORPANE_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${VORPANE_FUZZ_SECONDS:-20}
# Every fuzz/NAME.cpp is the target fuzz_NAME: a new one runs here without being listed.
targets=()
for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORPANE_FUZZ=ON -DVORPANE_TESTS=OFF -DVORPANE_BENCH=OFF -DVORPANE_WERROR=ON >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)" --target make_picture_seeds make_test_audio make_model \
  make_test_music make_script_dictionary \
  "${targets[@]/#/fuzz_}"

seeds="$(cd "$build_dir" && pwd)/fuzz-seeds"
rm -rf "$seeds"
"$build_dir/tools/make_picture_seeds" "$seeds"
# Palette, run-length, 16-bit and greyscale pictures as ImageMagick and Pillow write them.
cp tests/data/pictures/*.bmp "$seeds/bmp_reader/"
cp tests/data/pictures/*.tga "$seeds/tga_reader/"
mkdir -p "$seeds/music_reader"
for format in wav flac ogg opus mp3; do
  "$build_dir/tools/make_test_audio" clicks "$format" 1.2 "$seeds/music_reader/clicks.$format" 8000
done
mkdir -p "$seeds/model3ds"
# make_model without arguments lists its kinds (and exits 2).
kinds=$("$build_dir/tools/make_model" 2>&1 | sed -n 's/^kinds://p' || true)
for kind in $kinds; do
  "$build_dir/tools/make_model" "$kind" "$seeds/model3ds/$kind.3ds"
done
# The script reader starts from the sample production and the test scripts; the demotrack
# reader from the demotracks of the sample production and of make_production's test sets.
mkdir -p "$seeds/script_reader" "$seeds/demotrack_reader"
cp production/*.vrp "$seeds/script_reader/"
printf 'REGISTER $T textures/title.jpg\nA $T $T\nREGISTER FOO bar\nUNREGISTER FOO\nLOAD plaincolor 3\nX 5 // c\nRESOLUTIONX 800\n' \
  >"$seeds/script_reader/macros.vrp"
printf 'REGISTER P0 ab\nREGISTER Q0 cd\nREGISTER P1 P0Q0\nREGISTER Q1 P0Q0\nREGISTER P2 P1Q1\nDEMO P2 Q0\n' \
  >"$seeds/script_reader/doubling.vrp"
# Names doubling toward half a mebibyte, then many lines that grow with them: the whole read
# runs into the bound on substitution work.
{
  printf 'REGISTER P0 ab\nREGISTER Q0 cd\nREGISTER @A @A@A\n'
  for k in $(seq 0 17); do
    printf 'REGISTER P%d P%dQ%d\nREGISTER Q%d P%dQ%d\n' $((k + 1)) $k $k $((k + 1)) $k $k
  done
  for k in $(seq 1 40); do printf 'DEMO P18 Q17 @A\nGROUP P17Q16\n'; done
} >"$seeds/script_reader/growing.vrp"
printf '\x02\x00\x00\x00\x04\x00\x00\x00\x01\x00\x05\x00\x00\x05\x00\x01' \
  >"$seeds/demotrack_reader/two_channels.trk"
find build/production "$build_dir/production" -name '*.trk' -size -2M \
  -exec cp {} "$seeds/demotrack_reader/" \; 2>/dev/null || true
# The MIDI reader and the module path start from small files with known events.
mkdir -p "$seeds/midi_reader" "$seeds/module_track"
for kind in midi midi-smpte; do "$build_dir/tools/make_test_music" "$kind" "$seeds/midi_reader/$kind.mid"; done
"$build_dir/tools/make_test_music" mod "$seeds/module_track/jumps.mod"
# The track file reader starts from both editors' dialects and a player's export, and is given
# the words of the format.
mkdir -p "$seeds/track_file_reader"
printf '<sync rows="128">\n<tracks>\n<track name="cam:x&amp;&#x41;">\n<key row="0" value="0.5" interpolation="1"/>\n<key row="16" value="-2.25" interpolation="3"/>\n<key row="32" value="1e-07" interpolation="2"/>\n</track>\n<track name="fade"/>\n</tracks>\n<bookmarks><bookmark row="4"/></bookmarks>\n</sync>\n' \
  >"$seeds/track_file_reader/gnu.rocket"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<!-- c -->\n<rootElement>\n<group name="cam" folded="0"/>\n<tracks rows="10000" startRow="0" endRow="10000" rowsPerBeat="8" beatsPerMin="125">\n<track name='"'"'cam:y'"'"' folded="0" muteKeyCount="0" color="ff00ff">\n<key row="8" value="1.000000" interpolation="0"/>\n<key row="4" value="-0.250000" interpolation="2" />\n</track>\n</tracks>\n</rootElement>\n' \
  >"$seeds/track_file_reader/editor.rocket"
printf '\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x80\x3f\x01\x10\x00\x00\x00\x00\x00\x00\x40\x03' \
  >"$seeds/track_file_reader/two_keys.track"
printf '"<sync"\n"<track"\n"<key"\n"</track>"\n"/>"\n" name=\\"a\\""\n" row=\\"1\\""\n" value=\\"0.5\\""\n" interpolation=\\"2\\""\n"&amp;"\n"&#x41;"\n"<!--"\n"-->"\n"<?xml"\n"?>"\n' \
  >"$build_dir/track_file_reader.dict"
# The sync protocol reader: two tracks, pieces of 3 bytes; an editor's greeting, pause, seek,
# keys of every type, a delete and a save.
mkdir -p "$seeds/sync_protocol_reader"
printf '\x02\x02\x04\x01\x03\x00\x00\x00\x20\x00\x00\x00\x00\x01\x00\x00\x00\x08\x3f\x80\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x40\x20\x00\x00\x03\x01\x00\x00\x00\x01\x00\x00\x00\x08\x05' \
  >"$seeds/sync_protocol_reader/session.bin"
printf '\x01\x05hello, demo!\x04\x00' >"$seeds/sync_protocol_reader/greeting.bin"
# The script reader's dictionary: its command words, effect types and value words.
"$build_dir/tools/make_script_dictionary" "$build_dir/script_reader.dict"
# libsndfile leaves some codec state behind on files it gives up on (see the suppressions).
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"

for target in "${targets[@]}"; do
  mkdir -p "$seeds/$target"  # a target nothing above makes seeds for starts from none
  found=$(mktemp -d)  # new inputs go here; the seeds stay as the tools made them
  log="$build_dir/fuzz_$target.log"
  dict=()  # a target with a dictionary NAME.dict in the build folder is given it
  if [ -f "$build_dir/$target.dict" ]; then dict=(-dict="$build_dir/$target.dict"); fi
  if ! "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
       -close_fd_mask=2 "${dict[@]}" \
       -print_final_stats=1 "$found" "$seeds/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz-smoke: $target failed (crash input saved in the working folder)" >&2
    rm -rf "$found"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "fuzz-smoke: $target: $runs executions in ${seconds} s, $rate exec/s, no crash"
  rm -rf "$found"
done
