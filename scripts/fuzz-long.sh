#!/usr/bin/env bash
# fuzz-long.sh TARGET MINUTES: a fuzzing campaign by hand. Runs one fuzz target (bmp_reader,
# tga_reader, jpeg_pair_reader, music_reader, model3ds, script_reader, demotrack_reader, or any
# other fuzz/<name>.cpp) for MINUTES minutes on both cores. Its corpus is kept between campaigns
# outside the tree, in $VORPANE_FUZZ_CORPUS/TARGET (default ~/.cache/vorpane-fuzz/TARGET), and
# starts from the seeds of scripts/fuzz-smoke.sh; crash inputs are written to the corpus folder's
# crashes/ subfolder.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]] || [ "$2" -lt 1 ]; then
  echo "usage: bash scripts/fuzz-long.sh TARGET MINUTES" >&2
  exit 2
fi
target=$1
minutes=$2
build_dir=${VORPANE_FUZZ_BUILD_DIR:-build-fuzz}
if [ ! -f "fuzz/$target.cpp" ]; then
  echo "fuzz-long: no target $target (fuzz/$target.cpp)" >&2
  exit 2
fi
corpus_root=${VORPANE_FUZZ_CORPUS:-$HOME/.cache/vorpane-fuzz}
corpus="$corpus_root/$target"
crashes="$corpus/crashes"
mkdir -p "$corpus/inputs" "$crashes"

# Seeds: fuzz-smoke.sh builds the targets and makes them; a zero-second run is enough.
if [ ! -d "$build_dir/fuzz-seeds/$target" ]; then
  VORPANE_FUZZ_SECONDS=1 bash scripts/fuzz-smoke.sh >/dev/null
fi
cmake --build "$build_dir" --target "fuzz_$target"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
log="$corpus/last-run.log"
echo "fuzz-long: $target for $minutes min, corpus $corpus/inputs, log $log"
status=0
dict=()  # fuzz-smoke.sh writes the dictionaries the targets have
if [ -f "$build_dir/$target.dict" ]; then dict=(-dict="$build_dir/$target.dict"); fi
"$build_dir/fuzz/fuzz_$target" -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2560 \
  -close_fd_mask=2 "${dict[@]}" -print_final_stats=1 -jobs="$(nproc)" -workers="$(nproc)" \
  -artifact_prefix="$crashes/" "$corpus/inputs" "$build_dir/fuzz-seeds/$target" >"$log" 2>&1 ||
  status=$?
# With -jobs, each worker writes fuzz-N.log in the working folder: keep them with the corpus.
for worker_log in fuzz-*.log; do
  [ -e "$worker_log" ] && mv "$worker_log" "$corpus/"
done
echo "fuzz-long: $(ls "$corpus/inputs" | wc -l) inputs in the corpus, $(ls "$crashes" | wc -l) crash files"
exit "$status"
