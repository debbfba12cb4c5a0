#!/usr/bin/env bash
# Builds Vorpane for 64-bit Windows (scripts/build-windows.sh's libraries, the same CMake tree)
# into build-windows/ and runs its unit and GL tests under Wine, in a private Xvfb display.
# The tests read the sample production of the Linux build ($VORPANE_BUILD_DIR, default build/),
# which scripts/test.sh makes.
#
# Usage: scripts/test-wine.sh [--build-only]
#   --build-only  build the libraries and the programs, run nothing (CI starts this early)
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=false
case "${1:-}" in
  --build-only) build_only=true ;;
  "") ;;
  *) echo "usage: scripts/test-wine.sh [--build-only]" >&2; exit 2 ;;
esac
native_build=$PWD/${VORPANE_BUILD_DIR:-build}
windows_build=$PWD/${VORPANE_WINDOWS_BUILD_DIR:-build-windows}

step_start=$(date +%s)
step() {
  local now
  now=$(date +%s)
  echo "test-wine: $1 ($(( now - step_start )) s since the last step)"
  step_start=$now
}

bash scripts/build-windows.sh --libs-only
cache_root=${VORPANE_WINDOWS_CACHE:-$HOME/.cache/vorpane-windows}
prefix=$cache_root/$(cat scripts/build-windows.sh scripts/windows/*.cmake | sha256sum | cut -c1-12)/prefix
step "libraries ready in $prefix"

# Release: no debug information, which only slows the compile and the static link.
nice -n 19 cmake -S . -B "$windows_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
  -DVORPANE_WINDOWS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DVORPANE_TESTS=ON \
  -DVORPANE_BENCH=OFF -DVORPANE_WERROR="${VORPANE_WERROR:-ON}" \
  -DVORPANE_NATIVE_BUILD_DIR="$native_build" >/dev/null
nice -n 19 cmake --build "$windows_build" -j"$(nproc)"
step "built into $windows_build"
$build_only && exit 0

if [ ! -f "$native_build/production/moltrax.vrp" ]; then
  echo "test-wine: no sample production in $native_build/production; run scripts/test.sh first" >&2
  exit 1
fi

# Wine's own folder, booted once and shared by every run; a wineserver kept running makes each
# program start in a fraction of a second.
export WINEPREFIX=$cache_root/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export SDL_AUDIODRIVER=dummy VORPANE_NO_DIALOGS=1
mkdir -p "$WINEPREFIX"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export wine windows_build
xvfb-run -a -s "-noreset -screen 0 1024x768x24" bash -c '
  set -euo pipefail
  wineserver -p
  trap "wineserver -k" EXIT
  [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
  # Test binaries print the reason of every test they skip under Wine.
  "$wine" "$windows_build/tests/vorpane_unit_tests.exe" --gtest_brief=1
  # SDL offscreen driver has no OpenGL on Windows: the GL tests draw in a window on Xvfb.
  SDL_VIDEODRIVER=windows "$wine" "$windows_build/tests/vorpane_gl_tests.exe" --gtest_brief=1
'
step "unit and GL tests passed under Wine"
