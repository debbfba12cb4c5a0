#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (headless: offscreen video, no audio
# device, no dialogs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd "${VORPANE_BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)"
