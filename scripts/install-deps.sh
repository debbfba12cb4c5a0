#!/usr/bin/env bash
# Installs the Debian 12 packages Vorpane needs to build, test and play. Idempotent: when
# everything is there it only checks and returns. Uses apt-get as root, sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libjpeg62-turbo-dev libpng-dev
  libsndfile1-dev libfftw3-dev libmpg123-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev
  xvfb xauth x11-utils xdotool ffmpeg time
  clang libclang-rt-14-dev libstb-dev locales
  libassimp-dev lib3ds-dev
  dpkg-dev file libxml2-utils
)

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

# A comma-decimal locale, so the tests can show that scripts read the same under it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  as_root sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
