// Decode time of 1024 x 1024 texture files (24-bit BMP, 24-bit TGA raw and run-length, JPEG,
// PNG) by the engine's readers, beside stb_image (and for PNG libpng's simplified API) decoding
// the same bytes in the same run. All decode from memory into the layout the upload wants
// (bottom row first; RGB for BMP, TGA and PNG, RGBA for JPEG), so file reading is left out.
// Upload/* times one 1920 x 1080 RGB upload on an offscreen context: GLU's rescale to powers of
// two with its mipmaps (the old upload) beside UploadTexture (own size, mipmaps by GL).
#include "common/ImageWriters.h"
#include "engine/ImageReaders.h"
#include "engine/KGL2Textures.h"
#include "platform/KestoGL2.h"

#include <GL/glu.h>
#include <png.h>

#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int32_t kSide = 1024;

// A picture with smooth gradients, some grain and flat areas (so run-length coding has runs to
// find, as in drawn pictures, and JPEG has detail to code, as in photos).
TImageRGBA BenchPicture() {
  TImageRGBA image;
  image.Width = image.Height = kSide;
  image.Pixels.resize(static_cast<size_t>(kSide) * kSide * 4);
  uint32_t noise = 12345;
  for (int32_t y = 0; y < kSide; ++y)
    for (int32_t x = 0; x < kSide; ++x) {
      uint8_t* p = &image.Pixels[(static_cast<size_t>(y) * kSide + x) * 4];
      noise = noise * 1664525u + 1013904223u;
      const bool flat = ((x / 128) + (y / 128)) % 3 == 0;
      const int grain = flat ? 0 : static_cast<int>(noise >> 29);
      p[0] = static_cast<uint8_t>(flat ? 40 : (x / 4 + grain));
      p[1] = static_cast<uint8_t>(flat ? 90 : (y / 4 + grain));
      p[2] = static_cast<uint8_t>(flat ? 160 : ((x + y) / 8 + grain));
      p[3] = 255;
    }
  return image;
}

// The encoded files, made once: format name -> bytes.
const std::vector<uint8_t>& FileBytes(const std::string& format) {
  static const std::map<std::string, std::vector<uint8_t>> files = [] {
    const TImageRGBA picture = BenchPicture();
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vorpane-bench-decode";
    std::filesystem::create_directories(folder);
    const std::string base = folder.string();
    bool ok = WriteBmp24(base + "/p.bmp", picture) && WriteTga(base + "/raw.tga", picture, 24, false) &&
              WriteTga(base + "/rle.tga", picture, 24, true) && WriteJpeg(base + "/p.jpg", picture, 90) &&
              WritePng(base + "/p.png", picture, TPngKind::Rgb);
    if (!ok) std::fprintf(stderr, "texture_decode: could not write the pictures\n");
    std::map<std::string, std::vector<uint8_t>> bytes;
    for (const auto& [name, file] : {std::pair<std::string, std::string>{"bmp", "/p.bmp"},
                                     {"tga_raw", "/raw.tga"}, {"tga_rle", "/rle.tga"}, {"jpeg", "/p.jpg"},
                                     {"png", "/p.png"}}) {
      std::ifstream in(base + file, std::ios::binary);
      bytes[name] = std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove_all(folder);
    return bytes;
  }();
  return files.at(format);
}

using Decoder = bool (*)(const std::string&, const uint8_t*, size_t, TTextureImage&, TLoadFailure&);

void Engine(benchmark::State& state, const char* format, Decoder decode) {
  const std::vector<uint8_t>& bytes = FileBytes(format);
  for (auto _ : state) {
    TTextureImage image;
    TLoadFailure failure;
    if (!decode("bench", bytes.data(), bytes.size(), image, failure)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image.Pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void Stb(benchmark::State& state, const char* format, int components) {
  const std::vector<uint8_t>& bytes = FileBytes(format);
  stbi_set_flip_vertically_on_load(1);  // bottom row first, like the engine's readers
  for (auto _ : state) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height,
                                            &channels, components);
    if (!pixels || width != kSide) state.SkipWithError("stb_image failed");
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

// libpng's own simplified API: RGB, bottom row first through a negative row stride.
void LibpngSimplified(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = FileBytes("png");
  std::vector<uint8_t> pixels(static_cast<size_t>(kSide) * kSide * 3);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) state.SkipWithError("libpng failed");
    image.format = PNG_FORMAT_RGB;
    if (!png_image_finish_read(&image, nullptr, pixels.data(), -kSide * 3, nullptr))
      state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

// A 1920 x 1080 RGB picture on an offscreen context, uploaded as a mipmapped texture.
void Upload(benchmark::State& state, bool gluRescale) {
  static const bool opened = [] {
    LoadGLLibraries();
    return OpenRenderWindow(64, 64, 32, false, "bench").Wnd != nullptr;
  }();
  if (!opened) {
    state.SkipWithError("no GL context");
    return;
  }
  const int32_t width = 1920, height = 1080;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 / 3);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (auto _ : state) {
    GLuint name = 0;
    if (gluRescale) {
      glGenTextures(1, &name);
      glBindTexture(GL_TEXTURE_2D, name);
      gluBuild2DMipmaps(GL_TEXTURE_2D, 3, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    } else {
      name = UploadTexture(width, height, GL_RGB, pixels.data());
    }
    glFinish();
    glDeleteTextures(1, &name);
  }
}

BENCHMARK_CAPTURE(Engine, bmp, "bmp", DecodeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, bmp, "bmp", 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Engine, tga_raw, "tga_raw", DecodeTga)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, tga_raw, "tga_raw", 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Engine, tga_rle, "tga_rle", DecodeTga)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, tga_rle, "tga_rle", 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Engine, jpeg, "jpeg", DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, jpeg, "jpeg", 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Engine, png, "png", DecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(LibpngSimplified)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, png, "png", 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Upload, glu_rescale_before, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Upload, own_size_after, false)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
