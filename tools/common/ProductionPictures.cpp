#include "common/ProductionPictures.h"

#include "common/ImageWriters.h"
#include "common/TextPainter.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

const TRgba kWhite{1, 1, 1, 1};
const TRgba kCyan{0.35f, 0.9f, 1.0f, 1};
const TRgba kPink{1.0f, 0.3f, 0.7f, 1};

// Sets one pixel from a colour (x, y from the top left).
void SetPixel(TImageRGBA& picture, int32_t x, int32_t y, const TRgba& colour) {
  if (x < 0 || y < 0 || x >= picture.Width || y >= picture.Height) return;
  uint8_t* pixel = &picture.Pixels[(static_cast<size_t>(y) * static_cast<size_t>(picture.Width) + static_cast<size_t>(x)) * 4];
  const float channels[4] = {colour.R, colour.G, colour.B, colour.A};
  for (int c = 0; c < 4; ++c)
    pixel[c] = static_cast<uint8_t>(std::lround(std::clamp(channels[c], 0.0f, 1.0f) * 255.0f));
}

// A text with a soft glow of another colour behind it.
void PaintGlowingText(TImageRGBA& picture, TTextPainter& painter, const std::string& text,
                      int32_t pixelHeight, int32_t x, int32_t y, const TRgba& colour,
                      const TRgba& glow, int32_t glowRadius) {
  TMask mask = MakeMask(picture.Width, picture.Height);
  painter.DrawText(mask, text, pixelHeight, x, y, true);
  if (glowRadius > 0) PaintMask(picture, BlurMask(mask, glowRadius), glow, 1.6f);
  PaintMask(picture, mask, colour);
}

// The loading screen: the title over a dark blue gradient.
TImageRGBA LoadingPicture(TTextPainter& font) {
  TImageRGBA picture = MakePicture(512, 512, {0, 0, 0, 1});
  PaintVerticalGradient(picture, {0.02f, 0.03f, 0.12f, 1}, {0.0f, 0.0f, 0.02f, 1});
  PaintGlowingText(picture, font, "MOLTRAX", 88, 256, 250, kWhite, kCyan, 8);
  PaintGlowingText(picture, font, "loading", 30, 256, 310, {0.6f, 0.7f, 0.9f, 1}, kCyan, 0);
  PaintGlowingText(picture, font, "Vorpane Crew 2026", 20, 256, 470, {0.4f, 0.45f, 0.6f, 1}, kCyan, 0);
  return picture;
}

// The logo's colour: a warm gradient with bright horizontal bands, as chrome on old logos.
TImageRGBA LogoColour() {
  TImageRGBA picture = MakePicture(512, 256, {0, 0, 0, 1});
  for (int32_t y = 0; y < picture.Height; ++y) {
    const float f = static_cast<float>(y) / static_cast<float>(picture.Height - 1);
    const float band = 0.5f + 0.5f * std::sin(f * 18.0f);
    const TRgba colour{1.0f, 0.35f + 0.5f * (1 - f) * band, 0.25f + 0.6f * f, 1};
    for (int32_t x = 0; x < picture.Width; ++x) SetPixel(picture, x, y, colour);
  }
  return picture;
}

// The logo's alpha: the title and its glow.
TMask LogoAlpha(TTextPainter& font) {
  TMask mask = MakeMask(512, 256);
  // As large as fits with room left for the glow.
  int32_t pixelHeight = 112;
  while (pixelHeight > 16 && font.TextWidth("MOLTRAX", pixelHeight) > 440) pixelHeight -= 4;
  font.DrawText(mask, "MOLTRAX", pixelHeight, 256, 128 + pixelHeight * 36 / 100, true);
  const TMask glow = BlurMask(mask, 6);
  for (size_t i = 0; i < mask.Coverage.size(); ++i)
    mask.Coverage[i] = std::max(mask.Coverage[i], std::min(1.0f, 1.5f * glow.Coverage[i]) * 0.6f);
  return mask;
}

// The sky: a dusk gradient with a striped setting sun.
TImageRGBA SkyPicture() {
  TImageRGBA picture = MakePicture(256, 256, {0, 0, 0, 1});
  PaintVerticalGradient(picture, {0.05f, 0.0f, 0.18f, 1}, {0.85f, 0.25f, 0.35f, 1});
  const float cx = 128, cy = 150, radius = 70;
  for (int32_t y = 0; y < picture.Height; ++y)
    for (int32_t x = 0; x < picture.Width; ++x) {
      const float d = std::hypot(static_cast<float>(x) - cx, static_cast<float>(y) - cy);
      const bool stripe = y > 150 && (y / 6) % 2 == 0;
      if (d < radius && !stripe) {
        const float f = (static_cast<float>(y) - (cy - radius)) / (2 * radius);
        SetPixel(picture, x, y, {1.0f, 0.85f - 0.5f * f, 0.3f - 0.2f * f, 1});
      }
    }
  return picture;
}

// A perspective floor grid on black, from the horizon (top row) to the viewer, for adding onto
// the lower part of the sky (only the floor is drawn, which keeps the added area small).
TImageRGBA GridPicture() {
  TImageRGBA picture = MakePicture(256, 128, {0, 0, 0, 1});
  for (int32_t y = 0; y < picture.Height; ++y) {
    const float depth = static_cast<float>(y + 1) / static_cast<float>(picture.Height);
    const float brightness = 0.3f + 0.7f * depth;
    // Horizontal lines closer together towards the horizon.
    const bool row = std::fmod(std::sqrt(depth) * 10.0f, 1.0f) < 0.12f;
    for (int32_t x = 0; x < picture.Width; ++x) {
      const float spread = (static_cast<float>(x) - 128.0f) / depth;
      const bool column = std::fmod(std::fabs(spread) + 4.0f, 32.0f) < 3.0f / depth + 0.8f;
      if (row || column) SetPixel(picture, x, y, {0.9f * brightness, 0.2f * brightness, brightness, 1});
    }
  }
  return picture;
}

// The particle sprite: a round glow, white in the middle and blue at the rim, its alpha the glow.
TImageRGBA SparkPicture() {
  TImageRGBA picture = MakePicture(64, 64, {0, 0, 0, 0});
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      const float d = std::hypot(static_cast<float>(x) - 31.5f, static_cast<float>(y) - 31.5f) / 31.5f;
      const float glow = std::pow(std::max(0.0f, 1.0f - d), 2.2f);
      SetPixel(picture, x, y, {glow * (0.5f + 0.5f * glow), glow * (0.7f + 0.3f * glow), glow, glow});
    }
  return picture;
}

// Text lines on black, for adding onto the picture.
TImageRGBA TextLinesPicture(TTextPainter& font, int32_t width, int32_t height,
                            const std::vector<std::string>& lines, int32_t pixelHeight,
                            const TRgba& colour, const TRgba& glow) {
  TImageRGBA picture = MakePicture(width, height, {0, 0, 0, 1});
  const int32_t step = pixelHeight * 3 / 2;
  int32_t y = (height - step * static_cast<int32_t>(lines.size())) / 2 + pixelHeight;
  for (const std::string& line : lines) {
    PaintGlowingText(picture, font, line, pixelHeight, width / 2, y, colour, glow, 4);
    y += step;
  }
  return picture;
}

// The greetings: white text with a dark shadow on a transparent picture.
TImageRGBA GreetingsPicture(TTextPainter& font) {
  TImageRGBA picture = MakePicture(512, 128, {0, 0, 0, 0});
  TMask text = MakeMask(512, 128);
  font.DrawText(text, "greetings to all sceners", 34, 256, 56, true);
  font.DrawText(text, "on every platform", 34, 256, 100, true);
  PaintMask(picture, BlurMask(text, 3), {0, 0, 0, 1}, 2.0f);
  PaintMask(picture, text, kWhite);
  return picture;
}

// One of the 39 numbered pictures of the metaball scene: a plasma in its own colours with its
// number, dark enough that three of them added onto each other do not burn out.
TImageRGBA NumberedPicture(TTextPainter& font, int32_t number) {
  TImageRGBA picture = MakePicture(256, 256, {0, 0, 0, 1});
  const float n = static_cast<float>(number);
  const float fx = 0.02f + 0.004f * static_cast<float>(number % 7);
  const float fy = 0.015f + 0.005f * static_cast<float>(number % 5);
  const TRgba tint{0.5f + 0.5f * std::sin(n * 0.9f), 0.5f + 0.5f * std::sin(n * 1.7f + 2.0f),
                   0.5f + 0.5f * std::sin(n * 2.3f + 4.0f), 1};
  for (int32_t y = 0; y < picture.Height; ++y)
    for (int32_t x = 0; x < picture.Width; ++x) {
      const float fxv = static_cast<float>(x), fyv = static_cast<float>(y);
      const float plasma = 0.5f + 0.25f * std::sin(fxv * fx + n) + 0.25f * std::sin(fyv * fy + fxv * 0.01f - n);
      SetPixel(picture, x, y, {0.45f * plasma * tint.R, 0.45f * plasma * tint.G, 0.45f * plasma * tint.B, 1});
    }
  PaintGlowingText(picture, font, std::to_string(number), 96, 128, 162, {0.7f, 0.7f, 0.7f, 1}, tint, 6);
  return picture;
}

// The colour of the pixelize scene's overlay: warm white fading to yellow.
TImageRGBA OverlayColour() {
  TImageRGBA picture = MakePicture(512, 512, kWhite);
  PaintVerticalGradient(picture, {1, 1, 1, 1}, {1, 0.85f, 0.2f, 1});
  return picture;
}

// The overlay's alpha: a shout in large letters, with a glow.
TMask OverlayAlpha(TTextPainter& font) {
  TMask mask = MakeMask(512, 512);
  font.DrawText(mask, "IN YOUR", 92, 256, 230, true);
  font.DrawText(mask, "FACE", 150, 256, 390, true);
  const TMask glow = BlurMask(mask, 8);
  for (size_t i = 0; i < mask.Coverage.size(); ++i)
    mask.Coverage[i] = std::max(mask.Coverage[i], std::min(1.0f, 1.4f * glow.Coverage[i]) * 0.5f);
  return mask;
}

// A sphere map for chrome: a bright horizon band between a blue sky and a dark floor, seen in a
// ball, with a highlight at the upper left.
TImageRGBA ChromePicture() {
  TImageRGBA picture = MakePicture(256, 256, {0, 0, 0, 1});
  for (int32_t y = 0; y < picture.Height; ++y)
    for (int32_t x = 0; x < picture.Width; ++x) {
      const float u = (static_cast<float>(x) - 127.5f) / 127.5f;
      const float v = (127.5f - static_cast<float>(y)) / 127.5f;
      const float r = std::min(1.0f, std::hypot(u, v));
      const float height = v * std::sqrt(1.0f - 0.5f * r * r);
      TRgba colour = height > 0 ? TRgba{0.2f + 0.3f * height, 0.35f + 0.4f * height, 0.9f, 1}
                                : TRgba{0.25f + 0.2f * height, 0.15f, 0.3f + 0.2f * height, 1};
      const float band = std::exp(-height * height * 60.0f);
      colour = {colour.R + band, colour.G + 0.8f * band, colour.B + 0.5f * band, 1};
      const float spot = std::exp(-(std::pow(u + 0.4f, 2.0f) + std::pow(v - 0.45f, 2.0f)) * 30.0f);
      SetPixel(picture, x, y, {colour.R + spot, colour.G + spot, colour.B + spot, 1});
    }
  return picture;
}

struct TPictureFile {
  std::string Name;
  std::function<bool(const std::string& path, TTextPainter& font)> Write;
};

std::vector<TPictureFile> PictureFiles() {
  std::vector<TPictureFile> files = {
      {"loading.bmp", [](const std::string& p, TTextPainter& f) { return WriteBmp24(p, LoadingPicture(f)); }},
      {"logo.jpg", [](const std::string& p, TTextPainter&) { return WriteJpeg(p, LogoColour(), 92); }},
      {"logo_alpha.jpg",
       [](const std::string& p, TTextPainter& f) { return WriteJpeg(p, MaskAsGrey(LogoAlpha(f)), 95, true); }},
      {"sky.jpg", [](const std::string& p, TTextPainter&) { return WriteJpeg(p, SkyPicture(), 90); }},
      {"grid.tga", [](const std::string& p, TTextPainter&) { return WriteTga(p, GridPicture(), 24, true); }},
      {"spark.tga", [](const std::string& p, TTextPainter&) { return WriteTga(p, SparkPicture(), 32, false); }},
      {"credits.bmp",
       [](const std::string& p, TTextPainter& f) {
         return WriteBmp24(p, TextLinesPicture(f, 512, 256,
                                               {"code  Vorpane Crew", "music  a tiny synth in C++",
                                                "pixels  FreeType and maths"},
                                               30, kWhite, kPink));
       }},
      {"greets.tga", [](const std::string& p, TTextPainter& f) { return WriteTga(p, GreetingsPicture(f), 32, true); }},
      {"theend.jpg",
       [](const std::string& p, TTextPainter& f) {
         return WriteJpeg(p, TextLinesPicture(f, 512, 256, {"THE END"}, 80, kWhite, kCyan), 92);
       }},
      // The 3D scenes: the pixelize overlay's colour and alpha pair, and the chrome sphere map.
      {"hvit.jpg", [](const std::string& p, TTextPainter&) { return WriteJpeg(p, OverlayColour(), 90); }},
      {"inyourface.jpg",
       [](const std::string& p, TTextPainter& f) { return WriteJpeg(p, MaskAsGrey(OverlayAlpha(f)), 95, true); }},
      {"chrome.jpg", [](const std::string& p, TTextPainter&) { return WriteJpeg(p, ChromePicture(), 92); }},
  };
  for (int32_t number = 1; number <= 39; ++number)
    files.push_back({std::to_string(number) + ".jpg", [number](const std::string& p, TTextPainter& f) {
                       return WriteJpeg(p, NumberedPicture(f, number), 85);
                     }});
  return files;
}

}  // namespace

std::vector<std::string> ProductionPictureNames() {
  std::vector<std::string> names;
  for (const TPictureFile& file : PictureFiles()) names.push_back(file.Name);
  return names;
}

bool WriteProductionPictures(const std::string& folder, std::string& error) {
  TTextPainter font("DejaVu Sans", true);
  if (!font.Ready()) {
    error = "no font found for the texts (install fonts-dejavu-core)";
    return false;
  }
  for (const TPictureFile& file : PictureFiles()) {
    if (!file.Write(folder + "/" + file.Name, font)) {
      error = "cannot write " + folder + "/" + file.Name;
      return false;
    }
  }
  return true;
}
