// Textures at the picture's own size: pictures whose sides are not powers of two draw every row
// and column in their own colours (top and bottom rows included), and the loader picks the
// reader by every JPEG and PNG ending, by the content when the name misleads, and reports
// unknown endings and refusal reasons.
#include "engine/KGL2Textures.h"
#include "platform/Dialogs.h"
#include "support/GlContext.h"
#include "support/TestSystem.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Draws the texture over a viewport of exactly the picture's size (one texel per pixel) and
// reads that area back, bottom row first, as RGB.
std::vector<uint8_t> DrawOneToOne(uint32_t texture, int32_t width, int32_t height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0), glVertex2f(-1, -1);
  glTexCoord2f(1, 0), glVertex2f(1, -1);
  glTexCoord2f(1, 1), glVertex2f(1, 1);
  glTexCoord2f(0, 1), glVertex2f(-1, 1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  glFinish();
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer(static_cast<GLenum>(drawBuffer));
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  const TRenderWindow& window = TestGlWindow();
  glViewport(0, 0, window.Width, window.Height);
  return pixels;
}

// Every pixel of a picture with rows and columns of their own colours.
TImageRGBA Stripes(int32_t width, int32_t height) {
  TImageRGBA image;
  image.Width = width;
  image.Height = height;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      image.Pixels.insert(image.Pixels.end(), {static_cast<uint8_t>(y * 251 / std::max(1, height - 1)),
                                               static_cast<uint8_t>(x * 253 / std::max(1, width - 1)),
                                               static_cast<uint8_t>(37 + 3 * y + 5 * x), 255});
  return image;
}

// The first row (counted from the top) whose pixels differ by more than 1 from the picture, or -1.
int32_t FirstWrongRow(const std::vector<uint8_t>& drawn, const TImageRGBA& picture) {
  const std::vector<uint8_t> expected = BottomRowFirst(picture, 3);
  for (int32_t row = 0; row < picture.Height; ++row)
    for (size_t i = 0; i < static_cast<size_t>(picture.Width) * 3; ++i) {
      const size_t at = static_cast<size_t>(row) * picture.Width * 3 + i;
      if (std::abs(drawn[at] - expected[at]) > 1) return picture.Height - 1 - row;
    }
  return -1;
}

}  // namespace

TEST(TextureSizes, PicturesOfAnySizeKeepTheirSizeAndDrawEveryRow) {
  TestGlWindow();
  ASSERT_TRUE(TextureUploadKeepsSize());
  const std::string folder = MakeTempFolder();
  const int32_t sizes[][2] = {{5, 4}, {7, 1}, {640, 512}, {800, 256}, {333, 250}};
  int n = 0;
  for (const auto& size : sizes) {
    const TImageRGBA picture = Stripes(size[0], size[1]);
    // BMP (RGB upload) and PNG (RGBA upload) in turn.
    const bool png = n++ % 2 == 1;
    const std::string file = folder + "/s" + std::to_string(n) + (png ? ".png" : ".bmp");
    ASSERT_TRUE(png ? WritePng(file, picture, TPngKind::Rgba) : WriteBmp24(file, picture));
    const uint32_t texture = TextureByName(file);
    ASSERT_NE(texture, NoTexture) << file;
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint width = 0, height = 0, minFilter = 0, wrap = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    EXPECT_EQ(width, size[0]);
    EXPECT_EQ(height, size[1]);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(wrap, GL_REPEAT);
    // The mipmap chain reaches 1 x 1, so the texture is complete for the mipmapping filter.
    int levels = 0;
    for (int32_t side = std::max(size[0], size[1]); side > 1; side /= 2) ++levels;
    GLint last = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, levels, GL_TEXTURE_WIDTH, &last);
    EXPECT_EQ(last, 1) << file;

    EXPECT_EQ(FirstWrongRow(DrawOneToOne(texture, size[0], size[1]), picture), -1)
        << size[0] << " x " << size[1];
  }
}

TEST(TextureSizes, EveryJpegAndPngEndingLoadsAndUnknownEndingsReport) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  const TImageRGBA picture = FlatImage(8, 8, 250, 10, 10);
  for (const char* name : {"/a.jpeg", "/b.JPE", "/c.jfif", "/d.Jpg"}) {
    ASSERT_TRUE(WriteJpeg(folder + name, picture, 95));
    const uint32_t texture = TextureByName(folder + name);
    EXPECT_NE(texture, NoTexture) << name;
  }
  ASSERT_TRUE(WritePng(folder + "/e.PNG", picture, TPngKind::Palette));
  const uint32_t png = TextureByName(folder + "/e.PNG");
  ASSERT_NE(png, NoTexture);
  EXPECT_EQ(DrawOneToOne(png, 8, 8)[0], 250);

  // An ending no reader knows: one message naming the file and the supported types.
  ASSERT_TRUE(WriteJpeg(folder + "/f.gif", picture));
  const int uploads = TextureUploadCount();
  const int boxes = ErrorBoxCount();
  EXPECT_EQ(TextureByName(folder + "/f.gif"), NoTexture);
  EXPECT_EQ(TextureUploadCount(), uploads);
  EXPECT_EQ(ErrorBoxCount(), boxes + 1);
  EXPECT_EQ(LastErrorBoxText(), "Couldn't load \"" + folder +
                                    "/f.gif\". Unknown picture type: supported are BMP, JPEG (.jpg, "
                                    ".jpeg, .jpe, .jfif), PNG and TGA.");
  EXPECT_EQ(TextureRegistry.back().Texture, NoTexture);
  // No name at all (a script without a loading picture) is not a picture to complain about.
  EXPECT_EQ(TextureByName(""), NoTexture);
  EXPECT_EQ(ErrorBoxCount(), boxes + 1);
}

TEST(TextureSizes, MisleadingNamesLoadByContentAndRefusalsGiveTheirReason) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  const TImageRGBA picture = FlatImage(8, 8, 10, 240, 10);
  ASSERT_TRUE(WriteJpeg(folder + "/photo.bmp", picture, 95));
  ASSERT_TRUE(WritePng(folder + "/drawing.jpg", picture, TPngKind::Rgb));
  ASSERT_TRUE(WriteBmp24(folder + "/scan.tga", picture));
  ASSERT_TRUE(WriteTga(folder + "/real.tga", picture, 24, false));
  const int boxes = ErrorBoxCount();
  struct Case {
    const char* name;
    const char* line;  // what stderr says, empty when the name is right
  };
  const std::vector<Case> cases = {
      {"/photo.bmp", "is a JPEG picture with a misleading name; loaded as JPEG"},
      {"/drawing.jpg", "is a PNG picture with a misleading name; loaded as PNG"},
      {"/scan.tga", "is a BMP picture with a misleading name; loaded as BMP"},
      {"/real.tga", ""},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    const uint32_t texture = TextureByName(folder + c.name);
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_NE(texture, NoTexture) << c.name;
    EXPECT_GE(DrawOneToOne(texture, 8, 8)[1], 230) << c.name;
    if (*c.line) {
      EXPECT_EQ(said, "\"" + folder + c.name + "\" " + c.line + "\n");
    } else {
      EXPECT_EQ(said, "");
    }
  }
  EXPECT_EQ(ErrorBoxCount(), boxes);

  // The message stays the loader's; the reason follows on its own line.
  ASSERT_TRUE(WriteBmp24(folder + "/deep.bmp", picture));
  std::vector<uint8_t> bytes = ReadBytes(folder + "/deep.bmp");
  bytes[28] = 2;
  WriteBytesTo(folder + "/deep.bmp", bytes);
  testing::internal::CaptureStderr();
  EXPECT_EQ(TextureByName(folder + "/deep.bmp"), NoTexture);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("This kind of BMP is not supported.\n"), std::string::npos) << said;
  EXPECT_NE(said.find("\nReason: 2-bit BMP is not supported\n"), std::string::npos) << said;

  // A photo cut short plays as decoded, said in one line however many faults the decoder met.
  ASSERT_TRUE(WriteJpeg(folder + "/cut.jpg", PatternImage(128, 96), 90));
  bytes = ReadBytes(folder + "/cut.jpg");
  bytes.resize(bytes.size() / 3);
  WriteBytesTo(folder + "/cut.jpg", bytes);
  const int boxesBefore = ErrorBoxCount();
  testing::internal::CaptureStderr();
  EXPECT_NE(TextureByName(folder + "/cut.jpg"), NoTexture);
  const std::string cut = testing::internal::GetCapturedStderr();
  EXPECT_EQ(cut.rfind(folder + "/cut.jpg: picture is damaged (decoded with errors: ", 0), 0u) << cut;
  EXPECT_EQ(std::count(cut.begin(), cut.end(), '\n'), 1) << cut;
  EXPECT_EQ(ErrorBoxCount(), boxesBefore);
}
