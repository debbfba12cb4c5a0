#!/usr/bin/env bash
# Builds the Debian package: builds build/ (or $VORPANE_BUILD_DIR) as scripts/build.sh does,
# then runs CPack's DEB generator there. Prints the package's path on the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
build_dir=$(cd "${VORPANE_BUILD_DIR:-build}" && pwd)
cd "$build_dir"
rm -f vorpane_*.deb
cpack -G DEB >/dev/null
ls "$build_dir"/vorpane_*.deb
