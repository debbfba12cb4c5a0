#include "effects/BitmapFont.h"

#include "effects/Draw2D.h"
#include "platform/FontFiles.h"
#include "platform/KestoGL2.h"
#include "platform/RenderTarget.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

uint32_t FontListBase = 0;
TColor4 TextColor = {0, 0, 0, 0};
float TextX = 0, TextY = 0;

namespace {

constexpr int kGlyphCount = 200;

// Code points of the ANSI (Windows-1252) codes 128..159; 0 where the code page has none.
const uint16_t kAnsiHighCodes[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t CodePointOfAnsi(int code) {
  if (code >= 128 && code < 160) return kAnsiHighCodes[code - 128];
  return static_cast<uint32_t>(code);
}

// Compiles one glyph into a display list: the bitmap placed on the baseline at the raster
// position, then the raster position advanced by the glyph's advance.
void CompileGlyph(FT_Face face, int code, GLuint list) {
  glNewList(list, GL_COMPILE);
  const uint32_t codePoint = CodePointOfAnsi(code);
  const bool loaded =
      codePoint != 0 &&
      FT_Load_Char(face, codePoint, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0;
  if (loaded) {
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const float advance = static_cast<float>(slot->advance.x) / 64.0f;
    const int rows = static_cast<int>(bitmap.rows);
    const int width = static_cast<int>(bitmap.width);
    if (rows > 0 && width > 0 && bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
      // FreeType's rows run top down, glBitmap's bottom up.
      const int rowBytes = (width + 7) / 8;
      const int pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
      std::vector<GLubyte> flipped(static_cast<size_t>(rowBytes) * static_cast<size_t>(rows));
      for (int r = 0; r < rows; ++r)
        std::memcpy(&flipped[static_cast<size_t>(rows - 1 - r) * static_cast<size_t>(rowBytes)],
                    bitmap.buffer + static_cast<ptrdiff_t>(r) * pitch,
                    static_cast<size_t>(rowBytes));
      glBitmap(width, rows, static_cast<float>(-slot->bitmap_left),
               static_cast<float>(rows - slot->bitmap_top), advance, 0.0f, flipped.data());
    } else {
      glBitmap(0, 0, 0.0f, 0.0f, advance, 0.0f, nullptr);
    }
  }
  glEndList();
}

// The font the lists were built from, and the scale of the frame they were rendered for.
struct TBuiltFont {
  std::string Face;
  int32_t Height = 0;
  bool Bold = false;
  float ScaleX = 0, ScaleY = 0;
};
TBuiltFont builtFont;

// Renders the glyphs into the lists at the cell height times scaleY, widths times scaleX: the
// frame's pixels per production pixel, so that text keeps its place and size in the production.
void CompileFont(float scaleX, float scaleY) {
  builtFont.ScaleX = scaleX;
  builtFont.ScaleY = scaleY;
  std::string file;
  int index = 0;
  if (!MatchFontFile(builtFont.Face, builtFont.Bold, file, index)) {
    std::fprintf(stderr, "No font matches \"%s\"; text will not be drawn\n",
                 builtFont.Face.c_str());
    return;
  }
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, file.c_str(), index, &face) != 0) {
    std::fprintf(stderr, "Cannot read the font file %s; text will not be drawn\n", file.c_str());
    if (library) FT_Done_FreeType(library);
    return;
  }
  // The height is the cell height, ascender to descender, as a font height in pixels.
  const int32_t height = builtFont.Height > 0 ? builtFont.Height : 1;
  FT_Size_RequestRec request = {};
  request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
  request.height = static_cast<FT_Long>(std::lround(static_cast<double>(height) * scaleY * 64.0));
  FT_Request_Size(face, &request);
  // A frame stretched more one way than the other gets glyphs stretched alike.
  if (scaleX != scaleY && scaleY > 0) {
    FT_Matrix stretch = {static_cast<FT_Fixed>(std::lround(65536.0 * scaleX / scaleY)), 0, 0,
                         0x10000};
    FT_Set_Transform(face, &stretch, nullptr);
  }

  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  for (int code = 0; code < kGlyphCount; ++code)
    CompileGlyph(face, code, FontListBase + static_cast<GLuint>(code));
  glPopClientAttrib();

  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

}  // namespace

uint32_t BuildBitmapFont(const std::string& faceName, int32_t height, bool bold) {
  FontListBase = glGenLists(kGlyphCount);
  builtFont = TBuiltFont();
  builtFont.Face = faceName;
  builtFont.Height = height;
  builtFont.Bold = bold;
  CompileFont(RenderScaleX(), RenderScaleY());
  return FontListBase;
}

void ResetBitmapFont() {
  // The font is one display list per code 0 to 199.
  if (FontListBase != 0 && SDL_GL_GetCurrentContext()) glDeleteLists(FontListBase, kGlyphCount);
  FontListBase = 0;
  builtFont = TBuiltFont();
  TextColor = TColor4{0, 0, 0, 0};
  TextX = TextY = 0.0f;
}

void PrintText(const char* text, int32_t x, int32_t y, const TColor4& color) {
  TextColor = color;
  TextX = static_cast<float>(x);
  TextY = static_cast<float>(y);
  // Only codes with a glyph list are called: the list names after the 200 glyphs belong to
  // whoever reserved them next, and before a font is built no list is ours.
  std::vector<GLubyte> codes;
  if (FontListBase != 0 && text)
    for (const char* c = text; *c; ++c)
      if (static_cast<unsigned char>(*c) < kGlyphCount) codes.push_back(static_cast<GLubyte>(*c));

  // The frame's scale changed since the glyphs were rendered (a resized window): again.
  if (FontListBase != 0 &&
      (builtFont.ScaleX != RenderScaleX() || builtFont.ScaleY != RenderScaleY()))
    CompileFont(RenderScaleX(), RenderScaleY());
  glDisable(GL_DEPTH_TEST);
  glPushAttrib(GL_CURRENT_BIT);
  glColor4f(TextColor.R, TextColor.G, TextColor.B, TextColor.A);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  OrthoBegin();
  glLoadIdentity();
  glRasterPos2f(TextX, static_cast<float>(CurrentWindow.Height) - TextY);
  glPushAttrib(GL_LIST_BIT);
  glListBase(FontListBase);
  if (!codes.empty())
    glCallLists(static_cast<GLsizei>(codes.size()), GL_UNSIGNED_BYTE, codes.data());
  glPopAttrib();
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_LIGHTING);
  glPopAttrib();
  OrthoEnd();
  glEnable(GL_DEPTH_TEST);
}
