// Writes small pictures of every kind the texture readers take, as seed corpora for the fuzz
// targets: DIR/bmp_reader, DIR/tga_reader, DIR/png_reader and DIR/jpeg_pair_reader (a 32-bit
// little-endian length of the colour JPEG, the colour JPEG, then the alpha JPEG).
//   make_picture_seeds DIR
#include "common/ImageWriters.h"
#include "common/Usage.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TImageRGBA Pattern(int32_t width, int32_t height) {
  TImageRGBA image;
  image.Width = width;
  image.Height = height;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      // Flat runs on the left half (run packets), a ramp on the right (raw packets).
      const bool flat = x < width / 2;
      image.Pixels.push_back(static_cast<uint8_t>(flat ? 200 : 30 * x));
      image.Pixels.push_back(static_cast<uint8_t>(flat ? 40 : 20 * y));
      image.Pixels.push_back(static_cast<uint8_t>(flat ? 90 : 7 * x + 11 * y));
      image.Pixels.push_back(static_cast<uint8_t>(flat ? 255 : 128 + x));
    }
  return image;
}

std::string ReadAll(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WritePair(const std::string& out, const std::string& colourFile, const std::string& alphaFile) {
  const std::string colour = ReadAll(colourFile), alpha = ReadAll(alphaFile);
  if (colour.empty() || alpha.empty()) return false;
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  const uint32_t n = static_cast<uint32_t>(colour.size());
  const char length[4] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                          static_cast<char>(n >> 24)};
  file.write(length, 4);
  file << colour << alpha;
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  const bool help = AskedForHelp(argc, argv);
  if (help || argc != 2) return PrintUsage("usage: make_picture_seeds DIR\n", help);
  namespace fs = std::filesystem;
  const std::string dir = argv[1];
  const std::string bmp = dir + "/bmp_reader", tga = dir + "/tga_reader", jpeg = dir + "/jpeg_pair_reader";
  std::error_code error;
  bool ok = true;
  const std::string png = dir + "/png_reader";
  for (const std::string& sub : {bmp, tga, jpeg, png}) fs::create_directories(sub, error);
  for (TPngKind kind : {TPngKind::Grey, TPngKind::GreyAlpha, TPngKind::Rgb, TPngKind::Rgba,
                        TPngKind::Palette, TPngKind::PaletteAlpha})
    for (bool interlaced : {false, true}) {
      const int k = static_cast<int>(kind);
      ok &= WritePng(png + "/k" + std::to_string(k) + (interlaced ? "i" : "") + ".png", Pattern(9, 5),
                     kind, 8, interlaced);
      if (kind != TPngKind::Palette && kind != TPngKind::PaletteAlpha)
        ok &= WritePng(png + "/k" + std::to_string(k) + "_16.png", Pattern(5, 3), kind, 16, interlaced);
    }
  ok &= WriteBmp(bmp + "/v5_32.bmp", Pattern(5, 3), TBmpLayout{124, 32, true, true, 4});
  ok &= WriteBmp(bmp + "/v4_24.bmp", Pattern(3, 2), TBmpLayout{108, 24, false, true, 0});
  ok &= WriteBmp(bmp + "/bf40.bmp", Pattern(4, 2), TBmpLayout{40, 32, true, true, 0});
  for (int32_t width : {1, 2, 3, 4, 5, 8})
    ok &= WriteBmp24(bmp + "/w" + std::to_string(width) + ".bmp", Pattern(width, 3));
  int n = 0;
  for (int bits : {24, 32})
    for (bool rle : {false, true})
      for (bool topLeft : {false, true})
        ok &= WriteTga(tga + "/t" + std::to_string(n++) + ".tga", Pattern(6, 4), bits, rle, topLeft,
                       topLeft ? "seed" : "");
  const std::string scratch = dir + "/scratch";
  fs::create_directories(scratch, error);
  ok &= WriteJpeg(scratch + "/c.jpg", Pattern(16, 16), 90);
  ok &= WriteJpeg(scratch + "/g.jpg", Pattern(16, 16), 75, true);
  ok &= WriteJpeg(scratch + "/odd.jpg", Pattern(9, 5), 50);
  ok &= WritePair(jpeg + "/colour_grey.pair", scratch + "/c.jpg", scratch + "/g.jpg");
  ok &= WritePair(jpeg + "/grey_colour.pair", scratch + "/g.jpg", scratch + "/c.jpg");
  ok &= WritePair(jpeg + "/sizes_differ.pair", scratch + "/c.jpg", scratch + "/odd.jpg");
  fs::remove_all(scratch, error);
  if (!ok) {
    std::fprintf(stderr, "make_picture_seeds: could not write the pictures into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
