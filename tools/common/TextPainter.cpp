#include "common/TextPainter.h"

#include "platform/FontFiles.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

namespace {

uint8_t ToByte(float value) {
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

struct TTextPainter::TFace {
  FT_Library Library = nullptr;
  FT_Face Face = nullptr;
  ~TFace() {
    if (Face) FT_Done_Face(Face);
    if (Library) FT_Done_FreeType(Library);
  }
};

TTextPainter::TTextPainter(const std::string& faceName, bool bold) {
  int index = 0;
  if (!MatchFontFile(faceName, bold, fontFile_, index)) return;
  auto face = std::make_unique<TFace>();
  if (FT_Init_FreeType(&face->Library) != 0 ||
      FT_New_Face(face->Library, fontFile_.c_str(), index, &face->Face) != 0)
    return;
  face_ = std::move(face);
}

TTextPainter::~TTextPainter() = default;

bool TTextPainter::Ready() const { return face_ != nullptr; }

const std::string& TTextPainter::FontFile() const { return fontFile_; }

int32_t TTextPainter::TextWidth(const std::string& text, int32_t pixelHeight) {
  if (!face_) return 0;
  FT_Set_Pixel_Sizes(face_->Face, 0, static_cast<FT_UInt>(pixelHeight));
  int64_t advance = 0;
  for (unsigned char c : text)
    if (FT_Load_Char(face_->Face, c, FT_LOAD_DEFAULT) == 0) advance += face_->Face->glyph->advance.x;
  return static_cast<int32_t>(advance / 64);
}

void TTextPainter::DrawText(TMask& mask, const std::string& text, int32_t pixelHeight, int32_t x,
                            int32_t y, bool centred) {
  if (!face_) return;
  if (centred) x -= TextWidth(text, pixelHeight) / 2;
  FT_Set_Pixel_Sizes(face_->Face, 0, static_cast<FT_UInt>(pixelHeight));
  int64_t penX = static_cast<int64_t>(x) * 64;
  for (unsigned char c : text) {
    if (FT_Load_Char(face_->Face, c, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot glyph = face_->Face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    const int32_t left = static_cast<int32_t>(penX / 64) + glyph->bitmap_left;
    const int32_t top = y - glyph->bitmap_top;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
      for (uint32_t row = 0; row < bitmap.rows; ++row)
        for (uint32_t col = 0; col < bitmap.width; ++col) {
          const int32_t px = left + static_cast<int32_t>(col), py = top + static_cast<int32_t>(row);
          if (px < 0 || py < 0 || px >= mask.Width || py >= mask.Height) continue;
          const float value =
              bitmap.buffer[static_cast<size_t>(row) * static_cast<size_t>(std::abs(bitmap.pitch)) + col] / 255.0f;
          float& cell = mask.Coverage[static_cast<size_t>(py) * static_cast<size_t>(mask.Width) + static_cast<size_t>(px)];
          cell = std::min(1.0f, cell + value);
        }
    }
    penX += glyph->advance.x;
  }
}

TImageRGBA MakePicture(int32_t width, int32_t height, const TRgba& fill) {
  TImageRGBA picture;
  picture.Width = width;
  picture.Height = height;
  picture.Pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  for (size_t i = 0; i < picture.Pixels.size(); i += 4) {
    picture.Pixels[i] = ToByte(fill.R);
    picture.Pixels[i + 1] = ToByte(fill.G);
    picture.Pixels[i + 2] = ToByte(fill.B);
    picture.Pixels[i + 3] = ToByte(fill.A);
  }
  return picture;
}

TMask MakeMask(int32_t width, int32_t height) {
  TMask mask;
  mask.Width = width;
  mask.Height = height;
  mask.Coverage.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0f);
  return mask;
}

TMask BlurMask(const TMask& mask, int32_t radius) {
  TMask result = mask;
  if (radius <= 0 || mask.Width <= 0 || mask.Height <= 0) return result;
  std::vector<float> line;
  // One pass of a box blur along rows (horizontal) or columns.
  auto pass = [&](bool horizontal) {
    const int32_t length = horizontal ? result.Width : result.Height;
    const int32_t lines = horizontal ? result.Height : result.Width;
    line.resize(static_cast<size_t>(length));
    for (int32_t l = 0; l < lines; ++l) {
      auto at = [&](int32_t i) -> float& {
        const int32_t px = horizontal ? i : l, py = horizontal ? l : i;
        return result.Coverage[static_cast<size_t>(py) * static_cast<size_t>(result.Width) + static_cast<size_t>(px)];
      };
      for (int32_t i = 0; i < length; ++i) {
        float sum = 0;
        for (int32_t k = -radius; k <= radius; ++k) {
          const int32_t j = i + k;
          if (j >= 0 && j < length) sum += at(j);
        }
        line[static_cast<size_t>(i)] = sum / static_cast<float>(2 * radius + 1);
      }
      for (int32_t i = 0; i < length; ++i) at(i) = line[static_cast<size_t>(i)];
    }
  };
  for (int repeat = 0; repeat < 3; ++repeat) {
    pass(true);
    pass(false);
  }
  return result;
}

void PaintMask(TImageRGBA& picture, const TMask& mask, const TRgba& colour, float strength) {
  const size_t count = std::min(mask.Coverage.size(), picture.Pixels.size() / 4);
  for (size_t i = 0; i < count; ++i) {
    const float source = std::clamp(mask.Coverage[i] * colour.A * strength, 0.0f, 1.0f);
    if (source <= 0.0f) continue;
    uint8_t* pixel = &picture.Pixels[i * 4];
    const float destination = pixel[3] / 255.0f;
    const float alpha = source + destination * (1.0f - source);
    const float channels[3] = {colour.R, colour.G, colour.B};
    for (int c = 0; c < 3; ++c) {
      const float below = pixel[c] / 255.0f;
      pixel[c] = ToByte((channels[c] * source + below * destination * (1.0f - source)) / alpha);
    }
    pixel[3] = ToByte(alpha);
  }
}

void PaintVerticalGradient(TImageRGBA& picture, const TRgba& top, const TRgba& bottom) {
  for (int32_t y = 0; y < picture.Height; ++y) {
    const float f = picture.Height > 1 ? static_cast<float>(y) / static_cast<float>(picture.Height - 1) : 0.0f;
    const uint8_t row[4] = {ToByte(top.R + (bottom.R - top.R) * f), ToByte(top.G + (bottom.G - top.G) * f),
                            ToByte(top.B + (bottom.B - top.B) * f), ToByte(top.A + (bottom.A - top.A) * f)};
    for (int32_t x = 0; x < picture.Width; ++x)
      std::copy(row, row + 4, &picture.Pixels[(static_cast<size_t>(y) * static_cast<size_t>(picture.Width) + static_cast<size_t>(x)) * 4]);
  }
}

TImageRGBA MaskAsGrey(const TMask& mask) {
  TImageRGBA picture = MakePicture(mask.Width, mask.Height, {0, 0, 0, 1});
  for (size_t i = 0; i < mask.Coverage.size(); ++i) {
    const uint8_t grey = ToByte(mask.Coverage[i]);
    picture.Pixels[i * 4] = picture.Pixels[i * 4 + 1] = picture.Pixels[i * 4 + 2] = grey;
  }
  return picture;
}
