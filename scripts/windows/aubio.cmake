# aubio's C library for MinGW, in place of its waf build: every source but the audio file
# readers and writers of other systems and the DLL entry point, FFTs through fftw3f, the
# defines its waf build sets for Windows; installed as Debian lays it out.
cmake_minimum_required(VERSION 3.20)
project(aubio VERSION 0.4.9 LANGUAGES C)
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFTW3F REQUIRED fftw3f)
file(GLOB_RECURSE AUBIO_SOURCES src/*.c)
list(FILTER AUBIO_SOURCES EXCLUDE REGEX "apple_audio|audio_unit|_avcodec|_sndfile|windll")
add_library(aubio STATIC ${AUBIO_SOURCES})
target_include_directories(aubio PRIVATE src ${FFTW3F_INCLUDE_DIRS})
target_compile_definitions(aubio PRIVATE HAVE_STDLIB_H=1 HAVE_STDIO_H=1 HAVE_MATH_H=1
  HAVE_STRING_H=1 HAVE_ERRNO_H=1 HAVE_LIMITS_H=1 HAVE_STDARG_H=1 HAVE_C99_VARARGS_MACROS=1
  HAVE_FFTW3=1 HAVE_FFTW3F=1 HAVE_WAVREAD=1 HAVE_WAVWRITE=1 HAVE_WIN_HACKS=1
  HAVE_MEMCPY_HACKS=1)
install(TARGETS aubio ARCHIVE DESTINATION lib)
install(DIRECTORY src/ DESTINATION include/aubio FILES_MATCHING PATTERN "*.h"
  PATTERN "aubio_priv.h" EXCLUDE)
file(WRITE ${CMAKE_BINARY_DIR}/aubio.pc "prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: aubio
Description: a library for audio labelling
Version: ${PROJECT_VERSION}
Requires.private: fftw3f
Libs: -L\${libdir} -laubio
Cflags: -I\${includedir}
")
install(FILES ${CMAKE_BINARY_DIR}/aubio.pc DESTINATION lib/pkgconfig)
