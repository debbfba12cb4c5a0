#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (headless: offscreen video, no audio
# device, no dialogs). Then the unit, GL and tools binaries run once more, each whole and in a random
# order: ctest runs every test in a process of its own, which cannot show a test that depends on
# what an earlier one left behind. The order's seed is printed first, to repeat a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# A build folder that scripts/play.sh configured has no tests yet: turn them on.
bash scripts/build.sh -DVORPANE_TESTS=ON -DVORPANE_BENCH=ON -DVORPANE_WERROR="${VORPANE_WERROR:-ON}"
cd "${VORPANE_BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"
seed=$((RANDOM % 99999 + 1))
for layer in unit gl tools; do
  echo "test.sh: the $layer tests in a random order, --gtest_random_seed=$seed"
  env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy VORPANE_NO_DIALOGS=1 \
    "tests/vorpane_${layer}_tests" --gtest_shuffle --gtest_random_seed="$seed" --gtest_brief=1
done
