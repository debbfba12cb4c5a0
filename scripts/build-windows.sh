#!/usr/bin/env bash
# Cross-builds for 64-bit Windows: installs MinGW-w64 and Wine, builds the libraries Vorpane links
# from Debian's own sources as static libraries into a prefix outside the clone, and proves the
# prefix with a program that links them all and runs under Wine.
#
# The prefix is ${VORPANE_WINDOWS_CACHE:-~/.cache/vorpane-windows}/KEY/prefix, KEY being the
# first 12 hex digits of the SHA-256 of this script and the build files it hands to libraries
# (scripts/windows/*.cmake): a change to how a library is built starts a new prefix. A stamp per
# library marks it built; a failed build leaves none and names its log. Compiles run under
# `nice -n 19` with $VORPANE_WINDOWS_JOBS (default 2) jobs.
#
# Usage: scripts/build-windows.sh [--libs-only]
#   --libs-only  build the prefix, skip the check program under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
check=true
case "${1:-}" in
  --libs-only) check=false ;;
  "") ;;
  *) echo "usage: scripts/build-windows.sh [--libs-only]" >&2; exit 2 ;;
esac

host=x86_64-w64-mingw32
jobs=${VORPANE_WINDOWS_JOBS:-2}
cache_root=${VORPANE_WINDOWS_CACHE:-$HOME/.cache/vorpane-windows}
key=$(cat scripts/build-windows.sh scripts/windows/*.cmake | sha256sum | cut -c1-12)
cache=$cache_root/$key
prefix=$cache/prefix
toolchain=$repo/cmake/mingw-w64.cmake
# Sources and Wine's own folder do not depend on how the libraries are built: shared by all keys.
sources=$cache_root/sources
mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" "$cache/stamps" "$cache/logs" "$cache/build" \
  "$sources"

bash scripts/install-deps.sh --windows

# --- Debian sources -------------------------------------------------------------------------
# apt reads a deb-src list of its own, with its own state and cache: the system's lists stay
# as they are.
apt_dir=$sources/apt
mkdir -p "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial"
{
  for suite in bookworm bookworm-updates; do
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main"
  done
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main"
} > "$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/nonexistent
  -o "Dir::State=$apt_dir/state" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
apt_updated=false

# Prints the folder of the unpacked source of Debian source package $1, fetching it once. Takes
# the newest version the archive serves whole; where only the upstream tarball arrives (a mirror
# may lack a file), builds that without Debian's patches and says so.
debian_source() {
  local package=$1 folder=$sources/$1
  if [ -f "$folder/.unpacked" ]; then
    echo "source: $(cat "$folder/version")" >&2
    cat "$folder/.unpacked"
    return
  fi
  if ! $apt_updated; then
    apt-get "${apt_options[@]}" update -qq >&2
    apt_updated=true
  fi
  rm -rf "$folder" && mkdir -p "$folder/download"
  local versions version chosen="" orig_only=""
  versions=$(apt-cache "${apt_options[@]}" showsrc "$package" | sed -n 's/^Version: //p' |
    sort -u | sort -r -V)
  for version in $versions; do
    (cd "$folder/download" &&
      apt-get "${apt_options[@]}" source -qq --download-only "$package=$version" >/dev/null 2>&1) || true
    local upstream=${version#*:}; upstream=${upstream%-*}
    if ls "$folder/download/${package}_${version#*:}.debian.tar."* >/dev/null 2>&1; then
      chosen=$version
      break
    fi
    if [ -z "$orig_only" ] && ls "$folder/download/${package}_${upstream}.orig.tar."* >/dev/null 2>&1; then
      orig_only=$version
    fi
  done
  if [ -z "$chosen" ]; then
    if [ -z "$orig_only" ]; then
      echo "build-windows: could not fetch the Debian source of $package" >&2
      return 1
    fi
    chosen=$orig_only
    echo "build-windows: $package $chosen: Debian's patches not served, building the upstream source" >&2
    chosen="$chosen (upstream source only)"
  fi
  local upstream=${chosen%% *}; upstream=${upstream#*:}; upstream=${upstream%-*}
  local unpacked=$folder/$package-$upstream
  mkdir -p "$unpacked"
  tar -xf "$(ls "$folder/download/${package}_${upstream}.orig.tar."* | head -n1)" -C "$unpacked" \
    --strip-components=1
  local debian_tar
  debian_tar=$(ls "$folder/download/${package}_${chosen#*:}.debian.tar."* 2>/dev/null | head -n1 || true)
  echo "$package $chosen" > "$folder/version"
  if [ -n "$debian_tar" ]; then
    tar -xf "$debian_tar" -C "$unpacked"
    if [ -f "$unpacked/debian/patches/series" ]; then
      local patch
      while read -r patch _; do
        case "$patch" in ''|'#'*) continue ;; esac
        patch -d "$unpacked" -p1 -s --no-backup-if-mismatch < "$unpacked/debian/patches/$patch" >&2
      done < "$unpacked/debian/patches/series"
    fi
  fi
  echo "$unpacked" > "$folder/.unpacked"
  echo "source: $(cat "$folder/version")" >&2
  echo "$unpacked"
}

# --- Building ---------------------------------------------------------------------------------
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
export PKG_CONFIG_PATH=
export VORPANE_WINDOWS_PREFIX=$prefix
cross_env=(CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-gcc-ar-posix RANLIB=$host-gcc-ranlib-posix
  STRIP=$host-strip)
zlib_options=(-DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include")

# Configures, builds and installs a CMake project: source folder, then options.
cmake_build() {
  local source=$1; shift
  local build=$cache/build/$library
  rm -rf "$build"
  nice -n 19 cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DVORPANE_WINDOWS_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@"
  nice -n 19 cmake --build "$build" -j"$jobs"
  cmake --install "$build"
}

# Configures, builds and installs an autotools project, out of its source folder (optimised as
# the CMake ones, without debug information, which only slows the build).
autotools_build() {
  local source=$1; shift
  local build=$cache/build/$library
  rm -rf "$build" && mkdir -p "$build"
  (cd "$build" && env "${cross_env[@]}" CFLAGS=-O2 CXXFLAGS=-O2 nice -n 19 "$source/configure" \
    --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --disable-dependency-tracking "$@" && nice -n 19 make -j"$jobs" && make install)
}

# Adds $2 to the Libs.private of pkg-config file $1 of the prefix, for a static library whose
# build does not list all it links.
add_private_libs() {
  sed -i "s|^Libs.private:.*|& $2|" "$prefix/lib/pkgconfig/$1.pc"
  grep -q "^Libs.private:.* $2" "$prefix/lib/pkgconfig/$1.pc"
}

build_zlib() {
  # Debian builds zlib for MinGW (libz-mingw-w64-dev): its static library and headers, without
  # the import library beside them, which would link the DLL.
  cp /usr/$host/include/zlib.h /usr/$host/include/zconf.h "$prefix/include/"
  cp /usr/$host/lib/libz.a "$prefix/lib/"
  printf '%s\n' 'prefix=${pcfiledir}/../..' 'Name: zlib' 'Description: zlib compression library' \
    "Version: $(dpkg-query -W -f='${Version}' libz-mingw-w64-dev | sed 's/-.*//; s/^[0-9]*://; s/+.*//')" \
    'Libs: -L${prefix}/lib -lz' 'Cflags: -I${prefix}/include' > "$prefix/lib/pkgconfig/zlib.pc"
}
build_sdl2() {
  cmake_build "$(debian_source libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF
}
build_jpeg() {
  cmake_build "$(debian_source libjpeg-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DCMAKE_ASM_NASM_COMPILER=nasm
}
build_png() {
  cmake_build "$(debian_source libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF "${zlib_options[@]}"
}
build_freetype() {
  # zlib as a library of its own (FreeType's copy inside would clash with it); no shaping, no
  # PNG glyphs, no bzip2 or Brotli: the player reads TrueType and OpenType fonts.
  cmake_build "$(debian_source freetype)" -DFT_REQUIRE_ZLIB=ON "${zlib_options[@]}" \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
}
build_ogg() {
  cmake_build "$(debian_source libogg)" -DINSTALL_DOCS=OFF
}
build_vorbis() {
  cmake_build "$(debian_source libvorbis)"
}
build_flac() {
  cmake_build "$(debian_source flac)" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
    -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DBUILD_CXXLIBS=OFF
}
build_opus() {
  # The 1.3.1 tarball lacks a file its CMake build includes: autotools.
  autotools_build "$(debian_source opus)" --disable-extra-programs --disable-doc
  # Its hardening checks buffer copies through MinGW's libssp.
  add_private_libs opus -lssp
}
build_sndfile() {
  # MPEG through libsndfile would need LAME; the player decodes MP3 with libmpg123 itself.
  # FLAC's headers declare DLL imports unless told the library is static.
  cmake_build "$(debian_source libsndfile)" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
    -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF -DINSTALL_MANPAGES=OFF -DENABLE_CPACK=OFF \
    -DCMAKE_C_FLAGS=-DFLAC__NO_DLL
}
build_fftw3f() {
  # Windows has no memalign: FFTW's own aligned allocator (its CMake build offers no option).
  cmake_build "$(debian_source fftw3)" -DENABLE_FLOAT=ON -DENABLE_SSE=ON -DENABLE_SSE2=ON \
    -DENABLE_THREADS=OFF -DBUILD_TESTS=OFF -DDISABLE_FORTRAN=ON \
    -DCMAKE_C_FLAGS=-DWITH_OUR_MALLOC
}
build_mpg123() {
  # Its CMake port builds the library alone (the autotools build always adds the programs).
  cmake_build "$(debian_source mpg123)/ports/cmake" -DBUILD_PROGRAMS=OFF -DBUILD_LIBOUT123=OFF
  # Its Windows path helpers.
  add_private_libs libmpg123 -lshlwapi
}
build_openmpt() {
  # Only the library: no player, no examples, no tests. Ogg Vorbis and MP3 samples inside
  # modules are decoded with the libraries above.
  autotools_build "$(debian_source libopenmpt)" --disable-openmpt123 --disable-examples \
    --disable-tests --disable-doxygen-doc --without-portaudio --without-portaudiocpp \
    --without-pulseaudio --without-sndfile --without-flac --with-zlib --with-mpg123 --with-ogg \
    --with-vorbis --with-vorbisfile
}
build_aubio() {
  # aubio builds with waf; its C sources build as one library with a CMake file of our own, FFTs
  # through fftw3f as on Debian, no audio file readers (the player decodes audio itself).
  local source
  source=$(debian_source aubio)
  cp scripts/windows/aubio.cmake "$source/CMakeLists.txt"
  cmake_build "$source"
}
build_qmdsp() {
  local source
  source=$(debian_source qm-dsp)
  cp scripts/windows/qm-dsp.cmake "$source/CMakeLists.txt"
  cmake_build "$source"
}
build_googletest() {
  cmake_build /usr/src/googletest -Dgtest_force_shared_crt=OFF
}
build_headers() {
  # Header-only libraries, from Debian's own packages: CLI11 with its CMake package, stb.
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  rm -rf "$prefix/include/CLI" "$prefix/share/cmake/CLI11" "$prefix/include/stb"
  cp -r /usr/include/CLI "$prefix/include/CLI"
  cp -r /usr/share/cmake/CLI11 "$prefix/share/cmake/CLI11"
  cp -r /usr/include/stb "$prefix/include/stb"
  # GLU is Windows' own glu32.
  printf '%s\n' 'Name: glu' 'Description: Windows GLU' 'Version: 1.3' \
    'Libs: -lglu32 -lopengl32' > "$prefix/lib/pkgconfig/glu.pc"
}

# In the order they depend on each other.
libraries=(headers zlib sdl2 jpeg png freetype ogg vorbis flac opus sndfile fftw3f mpg123 openmpt aubio
  qmdsp googletest)
run_start=$(date +%s)
for library in "${libraries[@]}"; do
  stamp=$cache/stamps/$library
  [ -f "$stamp" ] && continue
  log=$cache/logs/$library.log
  echo "build-windows: building $library (log: $log)"
  start=$(date +%s)
  # Not in an `if` or `||`, where the shell would not stop at a failing step.
  set +e
  ( set -euo pipefail; "build_$library" ) > "$log" 2>&1
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    echo "build-windows: $library failed; its log is $log" >&2
    tail -n 20 "$log" >&2
    exit 1
  fi
  seconds=$(( $(date +%s) - start ))
  source_line=$(sed -n 's/^source: //p' "$log" | head -n1)
  echo "$seconds s, ${source_line:-from a Debian package}" > "$stamp"
  echo "build-windows: $library built in ${seconds}s"
done
echo "build-windows: libraries ready in $prefix ($(( $(date +%s) - run_start ))s); each built in:"
for library in "${libraries[@]}"; do
  printf '  %-10s %s\n' "$library" "$(cat "$cache/stamps/$library")"
done

$check || exit 0
bash scripts/windows/check.sh "$prefix" "$cache"
