# Sourced by the benchmark scripts: the tree's root, the build folder (VORPANE_BUILD_DIR or
# build/), a scratch folder removed at exit, and headless video and audio drivers.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${VORPANE_BUILD_DIR:-$root/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
