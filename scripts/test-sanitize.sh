#!/usr/bin/env bash
# Builds with AddressSanitizer + UndefinedBehaviorSanitizer into build-asan/ and runs every test
# there (leaks of system libraries are named in tests/lsan.supp).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
VORPANE_BUILD_DIR=build-asan bash scripts/build.sh -DVORPANE_SANITIZE=ON -DVORPANE_BENCH=OFF \
  -DVORPANE_WERROR="${VORPANE_WERROR:-ON}"
cd build-asan
ctest --output-on-failure -j"$(nproc)"
