#!/usr/bin/env bash
# Installs the Debian 12 packages Vorpane needs. With --play only what building and playing the
# player and its sample production takes (scripts/play.sh); without it also what the tests, the
# sanitizer and fuzz builds, the benchmarks and the Debian package take (scripts/test.sh, CI).
# With --windows what scripts/build-windows.sh takes: the MinGW-w64 cross compilers, Wine to run
# what they build, and the tools the libraries' own builds call.
# Idempotent: when everything is there it only checks and returns. Uses apt-get as root, sudo
# otherwise.
set -euo pipefail

# The player and the generator of the sample production's data; aubio and the Queen Mary DSP
# library for demotracks made from recordings; ffmpeg for a capture to video (play.sh captures
# when there is no display).
play_packages=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libjpeg62-turbo-dev libpng-dev
  libsndfile1-dev libfftw3-dev libmpg123-dev libcli11-dev libopenmpt-dev
  libaubio-dev libqm-dsp-dev
  ffmpeg
)
# Tests (Google Test, a real X server, a comma-decimal locale), the benchmarks' side-by-side
# readers, clang for the fuzzers and sanitizer runtimes, the package checks, and GNU parallel and
# rsync for scripts/capture-split.sh (rsync brings segments back from other machines, which need
# it too).
development_packages=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth x11-utils xdotool time locales
  clang libclang-rt-14-dev libstb-dev
  libassimp-dev lib3ds-dev
  dpkg-dev file libxml2-utils lintian mandoc
  parallel rsync
)

# Cross-building for 64-bit Windows and running the result: zlib is the one library Debian ships
# built for MinGW; nasm for libjpeg-turbo's SIMD code; dpkg-dev, patch, bzip2 and xz-utils fetch
# and unpack the Debian sources; xvfb gives Wine's programs a display for GL.
windows_packages=(
  mingw-w64 libz-mingw-w64-dev wine64 wine
  cmake ninja-build pkg-config nasm dpkg-dev patch bzip2 xz-utils xvfb xauth
)

packages=("${play_packages[@]}")
play_only=false
case "${1:-}" in
  --play) play_only=true ;;
  --windows) play_only=true; packages=("${windows_packages[@]}") ;;
  *) packages+=("${development_packages[@]}") ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

"$play_only" && exit 0
# A comma-decimal locale, so the tests can show that scripts read the same under it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  as_root sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
