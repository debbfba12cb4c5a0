// Writes a generated picture in any of the formats the texture readers take.
//   make_picture OUT WIDTH HEIGHT [PATTERN] [OPTIONS...]
// OUT's ending picks the format: .bmp (24 bit), .tga (24 bit raw unless options say otherwise)
// or .jpg. PATTERN: "gradient" (default), "checker", "sprite" (a soft white disc on black, for
// particles), "solid:RRGGBB". OPTIONS: "32" and "rle" (TGA), "top" (TGA top row first),
// "grey" (JPEG greyscale), "q=N" (JPEG quality).
#include "common/ImageWriters.h"
#include "common/Usage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// RGBA of pixel (x, y), y from the top, or false for an unknown pattern.
bool PatternPixel(const std::string& pattern, int32_t x, int32_t y, int32_t width, int32_t height,
                  uint8_t rgba[4]) {
  rgba[3] = 255;
  if (pattern == "gradient") {
    rgba[0] = static_cast<uint8_t>(255 * x / std::max(1, width - 1));
    rgba[1] = static_cast<uint8_t>(255 * y / std::max(1, height - 1));
    rgba[2] = static_cast<uint8_t>(255 - rgba[0] / 2 - rgba[1] / 2);
  } else if (pattern == "checker") {
    const bool on = ((x * 8 / width) + (y * 8 / height)) % 2 == 0;
    rgba[0] = rgba[1] = rgba[2] = on ? 255 : 32;
  } else if (pattern == "sprite") {
    const double dx = (x + 0.5) / width * 2 - 1, dy = (y + 0.5) / height * 2 - 1;
    const double fall = std::max(0.0, 1 - std::sqrt(dx * dx + dy * dy));
    rgba[0] = rgba[1] = rgba[2] = static_cast<uint8_t>(255 * fall * fall);
    rgba[3] = rgba[0];
  } else if (pattern.rfind("solid:", 0) == 0 && pattern.size() == 12) {
    const unsigned long rgb = std::strtoul(pattern.c_str() + 6, nullptr, 16);
    rgba[0] = static_cast<uint8_t>(rgb >> 16);
    rgba[1] = static_cast<uint8_t>(rgb >> 8);
    rgba[2] = static_cast<uint8_t>(rgb);
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool help = AskedForHelp(argc, argv);
  if (help || argc < 4)
    return PrintUsage("usage: make_picture OUT WIDTH HEIGHT [gradient|checker|sprite|solid:RRGGBB] "
                      "[32] [rle] [top] [grey] [q=N]\n", help);
  const std::string out = argv[1];
  TImageRGBA image;
  image.Width = std::atoi(argv[2]);
  image.Height = std::atoi(argv[3]);
  const std::string pattern = argc > 4 ? argv[4] : "gradient";
  int bits = 24, quality = 90;
  bool rle = false, top = false, grey = false;
  for (int i = 5; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "32") bits = 32;
    else if (option == "rle") rle = true;
    else if (option == "top") top = true;
    else if (option == "grey") grey = true;
    else if (option.rfind("q=", 0) == 0) quality = std::atoi(option.c_str() + 2);
    else {
      std::fprintf(stderr, "make_picture: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (image.Width <= 0 || image.Height <= 0 || image.Width > 16384 || image.Height > 16384) {
    std::fprintf(stderr, "make_picture: sizes go from 1 to 16384\n");
    return 2;
  }
  image.Pixels.resize(static_cast<size_t>(image.Width) * image.Height * 4);
  for (int32_t y = 0; y < image.Height; ++y)
    for (int32_t x = 0; x < image.Width; ++x)
      if (!PatternPixel(pattern, x, y, image.Width, image.Height,
                        &image.Pixels[(static_cast<size_t>(y) * image.Width + x) * 4])) {
        std::fprintf(stderr, "make_picture: unknown pattern %s\n", pattern.c_str());
        return 2;
      }
  bool ok = false;
  if (EndsWith(out, ".bmp")) ok = WriteBmp24(out, image);
  else if (EndsWith(out, ".tga")) ok = WriteTga(out, image, bits, rle, top);
  else if (EndsWith(out, ".jpg")) ok = WriteJpeg(out, image, quality, grey);
  else {
    std::fprintf(stderr, "make_picture: OUT must end in .bmp, .tga or .jpg\n");
    return 2;
  }
  if (!ok) {
    std::fprintf(stderr, "make_picture: could not write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
