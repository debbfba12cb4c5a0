#!/usr/bin/env bash
# Installs what is missing, builds, and plays the sample production: in a window when there is a
# display, otherwise offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd production
exec ../build/vorpane "$@" moltrax.vrp
