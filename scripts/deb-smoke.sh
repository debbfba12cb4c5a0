#!/usr/bin/env bash
# The Debian package as a user gets it: builds it (scripts/package.sh), checks it and the
# manual pages as Debian would (lintian, mandoc: no error, no warning), installs it on this
# machine with apt-get (again, when a build of the same version is there), runs
# `vorpane --version` and `vorpane-track --version`, and captures two seconds of the installed
# sample production headless, from its installed folder, at 30 frames a second.
set -euo pipefail
cd "$(dirname "$0")/.."
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
package=$(bash scripts/package.sh | tail -n 1)
echo "deb-smoke: $(basename "$package"), $(du -k "$package" | cut -f1) KiB"
dpkg-deb -f "$package" Depends
# Debian's checks: any error or warning fails (informational tags are listed, not fatal).
lintian_status=0
lintian_out=$(lintian --fail-on error,warning --tag-display-limit 0 "$package" 2>&1) || lintian_status=$?
printf '%s\n' "$lintian_out" | grep -v 'root privileges' || true
if [ "$lintian_status" -ne 0 ]; then
  echo "deb-smoke: lintian found errors or warnings in $(basename "$package")" >&2
  exit 1
fi
for page in docs/*.1; do
  mandoc -Tlint -W warning "$page" || {
    echo "deb-smoke: mandoc found warnings in $page" >&2
    exit 1
  }
done
(cd "$(dirname "$package")" &&
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install --reinstall -y -qq "./$(basename "$package")" >/dev/null)
vorpane --version
vorpane-track --version
capture=$(mktemp -d)
trap 'rm -rf "$capture"' EXIT
cd /usr/share/vorpane/production
SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
  vorpane --no-dialogs --capture "$capture" --fps 30 --to 2
frames=$(find "$capture" -name 'frame_*.png' | wc -l)
if [ "$frames" -lt 60 ] || [ ! -s "$capture/audio.wav" ]; then
  echo "deb-smoke: expected 60 frames or more and audio.wav, got $frames frames" >&2
  exit 1
fi
echo "deb-smoke: the installed production played: $frames frames and audio.wav"
