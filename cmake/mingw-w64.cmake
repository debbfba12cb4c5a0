# Cross-building for 64-bit Windows with MinGW-w64 (Debian's mingw-w64, the POSIX thread model
# that std::thread needs). The libraries come from the prefix scripts/build-windows.sh fills:
# pass it as -DVORPANE_WINDOWS_PREFIX=DIR or in the environment variable of the same name.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VORPANE_MINGW_HOST x86_64-w64-mingw32)

if(NOT VORPANE_WINDOWS_PREFIX)
  set(VORPANE_WINDOWS_PREFIX "$ENV{VORPANE_WINDOWS_PREFIX}")
endif()
if(NOT VORPANE_WINDOWS_PREFIX)
  message(FATAL_ERROR "Set VORPANE_WINDOWS_PREFIX to the library prefix that scripts/build-windows.sh prints")
endif()
# Try-compile projects are configured anew: hand them the prefix too.
set(ENV{VORPANE_WINDOWS_PREFIX} "${VORPANE_WINDOWS_PREFIX}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORPANE_WINDOWS_PREFIX)

set(CMAKE_C_COMPILER ${VORPANE_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORPANE_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${VORPANE_MINGW_HOST}-windres)
set(CMAKE_AR ${VORPANE_MINGW_HOST}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VORPANE_MINGW_HOST}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers and libraries from the prefix (before MinGW's own tree), programs from the host.
set(CMAKE_FIND_ROOT_PATH "${VORPANE_WINDOWS_PREFIX}" /usr/${VORPANE_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ENV{PKG_CONFIG_LIBDIR} "${VORPANE_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# pkg_check_modules hands on Libs.private too, so static libraries bring what they link.
set(PKG_CONFIG_ARGN --static)
set(PKG_CONFIG_EXECUTABLE pkg-config CACHE FILEPATH "")
