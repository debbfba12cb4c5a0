#!/usr/bin/env bash
# Builds scripts/windows/check with the MinGW toolchain file against the library prefix $1 and
# runs it under Wine in a private Xvfb display: every library called, and an OpenGL context of a
# hidden SDL window read back. $2 is the cache folder for the build and Wine's own folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
prefix=$1
cache=$2
build=$cache/build/check
rm -rf "$build"
nice -n 19 cmake -S scripts/windows/check -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DVORPANE_WINDOWS_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >"$cache/logs/check-configure.log" 2>&1 ||
  { tail -n 30 "$cache/logs/check-configure.log" >&2; exit 1; }
nice -n 19 cmake --build "$build" >"$cache/logs/check-build.log" 2>&1 ||
  { tail -n 30 "$cache/logs/check-build.log" >&2; exit 1; }
exe=$build/vorpane-windows-check.exe
windows_dlls='(kernel32|user32|gdi32|winmm|imm32|ole32|oleaut32|version|advapi32|setupapi|shell32'
windows_dlls+='|shlwapi|opengl32|glu32|msvcrt|ws2_32)\.dll'
if x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' | grep -vqiE "$windows_dlls"; then
  echo "build-windows: the check program needs DLLs beyond Windows' own:" >&2
  x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' >&2
  exit 1
fi

# Wine's folder is shared by every key of the cache: it does not depend on the libraries.
export WINEPREFIX=${cache%/*}/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  set -e
  wineserver -p
  trap "wineserver -k" EXIT
  "$1" "$2" && "$1" "$2" --gl
' check "$wine" "$exe"
