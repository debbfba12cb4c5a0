// Shows that the Windows library prefix works: each library is called for real, its version is
// printed, and with --gl a hidden SDL window's OpenGL context clears to a colour that is read
// back. Exits non-zero at the first library that does not do what it should.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_opengl.h>
#include <aubio/aubio.h>
#include <fftw3.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <png.h>
#include <sndfile.h>
#include <zlib.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dsp/tempotracking/TempoTrackV2.h>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

int failures = 0;

void Report(bool ok, const char* library, const std::string& detail) {
  std::printf("%-10s %s %s\n", library, ok ? "ok  " : "FAIL", detail.c_str());
  if (!ok) ++failures;
}

// An in-memory file for libsndfile's virtual I/O.
struct MemoryFile {
  std::vector<unsigned char> bytes;
  sf_count_t at = 0;
};
sf_count_t MemoryLength(void* user) { return static_cast<MemoryFile*>(user)->bytes.size(); }
sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->at : f->bytes.size();
  f->at = base + offset;
  return f->at;
}
sf_count_t MemoryRead(void* out, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  sf_count_t left = static_cast<sf_count_t>(f->bytes.size()) - f->at;
  if (count > left) count = left < 0 ? 0 : left;
  std::memcpy(out, f->bytes.data() + f->at, count);
  f->at += count;
  return count;
}
sf_count_t MemoryWrite(const void* in, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  if (f->bytes.size() < static_cast<size_t>(f->at + count)) f->bytes.resize(f->at + count);
  std::memcpy(f->bytes.data() + f->at, in, count);
  f->at += count;
  return count;
}
sf_count_t MemoryTell(void* user) { return static_cast<MemoryFile*>(user)->at; }

// Encodes a second of a 440 Hz tone in `format` and decodes it back; true when the frame count
// survives (lossy codecs may pad, so at least the frames written).
bool SndfileRoundTrip(int format) {
  SF_VIRTUAL_IO io = {MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
  MemoryFile file;
  SF_INFO info = {};
  info.samplerate = 48000;
  info.channels = 1;
  info.format = format;
  SNDFILE* out = sf_open_virtual(&io, SFM_WRITE, &info, &file);
  if (!out) return false;
  std::vector<float> tone(48000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(2 * M_PI * 440 * i / 48000.0);
  sf_count_t written = sf_writef_float(out, tone.data(), tone.size());
  sf_close(out);
  file.at = 0;
  SF_INFO readInfo = {};
  SNDFILE* in = sf_open_virtual(&io, SFM_READ, &readInfo, &file);
  if (!in) return false;
  sf_close(in);
  return written == 48000 && readInfo.frames >= 47000 && readInfo.frames <= 50000;
}

void CheckLibraries() {
  SDL_version sdl;
  SDL_GetVersion(&sdl);
  Report(sdl.major == 2, "SDL2",
         std::to_string(sdl.major) + "." + std::to_string(sdl.minor) + "." + std::to_string(sdl.patch));
  Report(std::strncmp(zlibVersion(), "1.", 2) == 0, "zlib", zlibVersion());

  jpeg_decompress_struct jpeg;
  jpeg_error_mgr jpegError;
  jpeg.err = jpeg_std_error(&jpegError);
  jpeg_create_decompress(&jpeg);
  jpeg_destroy_decompress(&jpeg);
  Report(true, "jpeg", "libjpeg API " + std::to_string(JPEG_LIB_VERSION));
  Report(png_access_version_number() >= 10600, "png", png_get_libpng_ver(nullptr));

  FT_Library ft;
  bool ftOk = FT_Init_FreeType(&ft) == 0;
  FT_Int ftMajor = 0, ftMinor = 0, ftPatch = 0;
  if (ftOk) {
    FT_Library_Version(ft, &ftMajor, &ftMinor, &ftPatch);
    FT_Done_FreeType(ft);
  }
  Report(ftOk, "freetype",
         std::to_string(ftMajor) + "." + std::to_string(ftMinor) + "." + std::to_string(ftPatch));

  bool flac = SndfileRoundTrip(SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  bool vorbis = SndfileRoundTrip(SF_FORMAT_OGG | SF_FORMAT_VORBIS);
  bool opus = SndfileRoundTrip(SF_FORMAT_OGG | SF_FORMAT_OPUS);
  Report(flac && vorbis && opus, "sndfile",
         std::string(sf_version_string()) + " FLAC " + (flac ? "yes" : "no") + ", Vorbis " +
             (vorbis ? "yes" : "no") + ", Opus " + (opus ? "yes" : "no"));

  // A 64-point FFT of a cosine of 5 cycles peaks in bin 5.
  float* in = fftwf_alloc_real(64);
  fftwf_complex* out = fftwf_alloc_complex(33);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(64, in, out, FFTW_ESTIMATE);
  for (int i = 0; i < 64; ++i) in[i] = std::cos(2 * M_PI * 5 * i / 64.0);
  fftwf_execute(plan);
  int peak = 0;
  for (int k = 1; k < 33; ++k)
    if (std::hypot(out[k][0], out[k][1]) > std::hypot(out[peak][0], out[peak][1])) peak = k;
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
  Report(peak == 5, "fftw3f", std::string(fftwf_version) + ", peak in bin " + std::to_string(peak));

  int mpgError = 0;
  mpg123_handle* mpg = mpg123_new(nullptr, &mpgError);
  const char** decoders = mpg123_decoders();
  Report(mpg != nullptr && decoders && decoders[0], "mpg123",
         "API " + std::to_string(MPG123_API_VERSION) + ", decoder " +
             (decoders && decoders[0] ? decoders[0] : "none"));
  mpg123_delete(mpg);

  const char* openmptVersion = openmpt_get_string("library_version");
  Report(openmptVersion && *openmptVersion, "openmpt",
         std::string(openmptVersion ? openmptVersion : "") + ", reads " +
             (openmpt_is_extension_supported("it") ? "IT" : "no IT"));
  openmpt_free_string(openmptVersion);

  // aubio finds the onset in a click after silence.
  aubio_onset_t* onset = new_aubio_onset("hfc", 512, 256, 44100);
  fvec_t* hop = new_fvec(256);
  fvec_t* found = new_fvec(1);
  double onsetAt = -1;
  for (int block = 0; block < 40 && onset; ++block) {
    for (int i = 0; i < 256; ++i) hop->data[i] = block >= 20 ? ((i * 7919) % 200 - 100) / 100.0f : 0;
    aubio_onset_do(onset, hop, found);
    if (found->data[0] != 0 && onsetAt < 0) onsetAt = aubio_onset_get_last_s(onset);
  }
  if (onset) del_aubio_onset(onset);
  del_fvec(hop);
  del_fvec(found);
  Report(onsetAt > 0.1 && onsetAt < 0.13, "aubio", "onset at " + std::to_string(onsetAt) + " s");

  // qm-dsp's tempo tracker on a pulse every 43 detection values (120 BPM at 512 of 44100 Hz)
  // beats on the pulse.
  TempoTrackV2 tracker(44100, 512);
  std::vector<double> df(1000, 0.0), tempi, beats;
  for (size_t i = 0; i < df.size(); i += 43) df[i] = 1.0;
  std::vector<double> periods(df.size(), 0.0);
  tracker.calculateBeatPeriod(df, periods, tempi);
  tracker.calculateBeats(df, periods, beats);
  double spacing = beats.size() > 1 ? (beats.back() - beats.front()) / (beats.size() - 1) : 0;
  Report(beats.size() > 15 && std::fabs(spacing - 43) < 1, "qm-dsp",
         std::to_string(beats.size()) + " beats, " + std::to_string(spacing) + " apart");

  CLI::App app("check");
  Report(true, "CLI11", CLI11_VERSION);
}

// A hidden window's GL context clears to (64, 128, 191) and reads that pixel back.
void CheckOpenGl() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    Report(false, "OpenGL", std::string("SDL_Init: ") + SDL_GetError());
    return;
  }
  SDL_Window* window = SDL_CreateWindow("check", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
  if (!context) {
    Report(false, "OpenGL", std::string("no context: ") + SDL_GetError());
    SDL_Quit();
    return;
  }
  glViewport(0, 0, 64, 64);
  glClearColor(64 / 255.0f, 128 / 255.0f, 191 / 255.0f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glFinish();
  unsigned char pixel[4] = {};
  glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  Report(pixel[0] == 64 && pixel[1] == 128 && pixel[2] == 191, "OpenGL",
         std::string(renderer ? renderer : "?") + ", pixel " + std::to_string(pixel[0]) + "," +
             std::to_string(pixel[1]) + "," + std::to_string(pixel[2]));
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
}

}  // namespace

int main(int argc, char** argv) {
  SDL_SetMainReady();
  CheckLibraries();
  if (argc > 1 && std::strcmp(argv[1], "--gl") == 0) CheckOpenGl();
  std::printf("%s\n", failures ? "check failed" : "all libraries work");
  return failures ? 1 : 0;
}
