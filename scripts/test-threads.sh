#!/usr/bin/env bash
# Builds with ThreadSanitizer into build-tsan/ and runs the tests whose code starts threads: the
# unit and GL tests (music decoding, the two-thread voxel sweep, the script watcher, the audio
# callback) and the end-to-end runs that play a whole production and capture to a video file
# through the encoder's pipe. Any report fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
VORPANE_BUILD_DIR=build-tsan bash scripts/build.sh -DVORPANE_TSAN=ON -DVORPANE_BENCH=OFF \
  -DVORPANE_WERROR="${VORPANE_WERROR:-ON}"
cd build-tsan
ctest --output-on-failure -j"$(nproc)" -L 'unit|gl'
ctest --output-on-failure -L e2e -R 'Production\.(RunsToItsEnd|CaptureToMp4)|EditMode'
