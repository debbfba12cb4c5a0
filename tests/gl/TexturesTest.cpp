// Texture upload and the name registry on a real context: one upload per name, exact-name
// matching, failed loads registered as NoTexture, last match wins, RGB vs RGBA per reader, and
// failures that show their message and upload nothing.
#include "engine/KGL2Textures.h"
#include "platform/Dialogs.h"
#include "support/GlContext.h"
#include "support/TestSystem.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

namespace {

GLint InternalFormatOf(uint32_t texture) {
  glBindTexture(GL_TEXTURE_2D, texture);
  GLint format = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  return format;
}

// Level 0 of the texture as RGBA bytes.
std::vector<uint8_t> TexturePixels(uint32_t texture, int32_t width, int32_t height) {
  glBindTexture(GL_TEXTURE_2D, texture);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

}  // namespace

TEST(Textures, SameNameUploadsOnceAndNamesDifferingInCaseLoadSeparately) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteBmp24(folder + "/logo.bmp", PatternImage(4, 4)));
  const int uploads = TextureUploadCount();
  const size_t entries = TextureRegistry.size();
  const uint32_t first = TextureByName(folder + "/logo.bmp");
  EXPECT_NE(first, NoTexture);
  EXPECT_EQ(TextureByName(folder + "/logo.bmp"), first);
  EXPECT_EQ(TextureUploadCount(), uploads + 1);
  EXPECT_EQ(TextureRegistry.size(), entries + 1);

  // The file resolves without regard to case, but each spelling is its own registry name.
  const uint32_t upper = TextureByName(folder + "/LOGO.BMP");
  const uint32_t mixed = TextureByName(folder + "/Logo.Bmp");
  EXPECT_NE(upper, NoTexture);
  EXPECT_NE(mixed, NoTexture);
  EXPECT_NE(upper, first);
  EXPECT_NE(mixed, upper);
  EXPECT_EQ(TextureUploadCount(), uploads + 3);
  EXPECT_EQ(TextureRegistry.size(), entries + 3);
}

TEST(Textures, FailedLoadsAreRegisteredAndTheLastMatchWins) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  const std::string missing = folder + "/later.tga";
  const int boxes = ErrorBoxCount();
  const size_t entries = TextureRegistry.size();
  EXPECT_EQ(TextureByName(missing), NoTexture);
  EXPECT_EQ(TextureByName(missing), NoTexture);
  EXPECT_EQ(ErrorBoxCount(), boxes + 2);
  EXPECT_EQ(LastErrorBoxText(), "File not found  - " + missing);
  ASSERT_EQ(TextureRegistry.size(), entries + 2);
  EXPECT_EQ(TextureRegistry[entries].Texture, NoTexture);
  EXPECT_EQ(TextureRegistry[entries + 1].Texture, NoTexture);

  ASSERT_TRUE(WriteTga(missing, PatternImage(4, 4), 24, false));
  const uint32_t loaded = TextureByName(missing);
  EXPECT_NE(loaded, NoTexture);
  ASSERT_EQ(TextureRegistry.size(), entries + 3);
  EXPECT_EQ(TextureRegistry[entries + 2].Texture, loaded);
  EXPECT_EQ(FindRegisteredTexture(missing), loaded);
  EXPECT_EQ(TextureByName(missing), loaded);
  EXPECT_EQ(TextureRegistry.size(), entries + 3);

  // An ending no loader knows: nothing loaded, one message, registered as NoTexture.
  ASSERT_TRUE(WriteJpeg(folder + "/photo.jpg2", PatternImage(8, 8)));
  const int uploads = TextureUploadCount();
  EXPECT_EQ(TextureByName(folder + "/photo.jpg2"), NoTexture);
  EXPECT_EQ(ErrorBoxCount(), boxes + 3);
  EXPECT_EQ(TextureUploadCount(), uploads);
  EXPECT_EQ(TextureRegistry.back().Name, folder + "/photo.jpg2");
  EXPECT_EQ(TextureRegistry.back().Texture, NoTexture);
}

TEST(Textures, InternalFormatsAndPixelsPerReader) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  // 2 pixels of RGB are 6 bytes a row: the file pads them to 8, the upload must not.
  const TImageRGBA picture = PatternImage(2, 2);
  ASSERT_TRUE(WriteBmp24(folder + "/p.bmp", picture));
  ASSERT_TRUE(WriteTga(folder + "/p24.tga", picture, 24, true));
  ASSERT_TRUE(WriteTga(folder + "/p32.tga", picture, 32, true, true));
  ASSERT_TRUE(WriteJpeg(folder + "/p.jpg", FlatImage(8, 8, 255, 0, 0)));
  ASSERT_TRUE(WriteJpeg(folder + "/alpha.jpg", FlatImage(8, 8, 0, 0, 255)));

  const uint32_t bmp = TextureByName(folder + "/p.bmp");
  const uint32_t tga24 = TextureByName(folder + "/p24.tga");
  const uint32_t tga32 = TextureByName(folder + "/p32.tga");
  const uint32_t jpg = TextureByName(folder + "/p.jpg");
  // RGB uploads give the internal format as the component count 3.
  EXPECT_EQ(InternalFormatOf(bmp), 3);
  EXPECT_EQ(InternalFormatOf(tga24), 3);
  EXPECT_EQ(InternalFormatOf(tga32), GL_RGBA);
  EXPECT_EQ(InternalFormatOf(jpg), GL_RGBA);

  std::vector<uint8_t> expected = BottomRowFirst(picture, 4);
  EXPECT_EQ(TexturePixels(tga32, 2, 2), expected);
  for (size_t i = 3; i < expected.size(); i += 4) expected[i] = 255;
  EXPECT_EQ(TexturePixels(bmp, 2, 2), expected);
  EXPECT_EQ(TexturePixels(tga24, 2, 2), expected);
  EXPECT_EQ(TexturePixels(jpg, 8, 8)[3], 255);

  // The pair bypasses the registry: a new texture every call, alpha from the blue channel.
  const size_t entries = TextureRegistry.size();
  const uint32_t pair = TextureFromJpegPair(folder + "/p.jpg", folder + "/alpha.jpg");
  const uint32_t again = TextureFromJpegPair(folder + "/p.jpg", folder + "/alpha.jpg");
  EXPECT_NE(pair, NoTexture);
  EXPECT_NE(again, pair);
  EXPECT_EQ(TextureRegistry.size(), entries);
  EXPECT_EQ(InternalFormatOf(pair), GL_RGBA);
  const std::vector<uint8_t> pairPixels = TexturePixels(pair, 8, 8);
  EXPECT_GE(pairPixels[0], 240);
  EXPECT_GE(pairPixels[3], 240);
}

TEST(Textures, FailedLoadsShowTheirMessageAndUploadNothing) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteBmp24(folder + "/ok.bmp", PatternImage(5, 4)));
  std::vector<uint8_t> bmp = ReadBytes(folder + "/ok.bmp");
  WriteBytesTo(folder + "/short.bmp", std::vector<uint8_t>(bmp.begin(), bmp.end() - 3));
  bmp[46] = 0xFF;  // a colours-used count past the end of the file,
  bmp[10] = 0;     // and no pixel-data offset to skip the table with
  WriteBytesTo(folder + "/palette.bmp", bmp);
  WriteBytesTo(folder + "/past.tga", {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0,
                                      0x85, 1, 2, 3});
  ASSERT_TRUE(WriteJpeg(folder + "/c.jpg", PatternImage(16, 16)));
  ASSERT_TRUE(WriteJpeg(folder + "/a.jpg", PatternImage(8, 16)));
  WriteBytesTo(folder + "/bad.jpg", {0xFF, 0xD8, 0xFF, 0x00});

  struct Case {
    std::string name;
    bool (*read)(const std::string&, uint32_t&);
    std::string message;
  };
  const std::vector<Case> cases = {
      {folder + "/none.bmp", ReadBmpTexture, "Error opening " + folder + "/none.bmp"},
      {folder + "/short.bmp", ReadBmpTexture, "Error reading bitmap data"},
      {folder + "/palette.bmp", ReadBmpTexture, "Error reading palette"},
      {folder + "/none.tga", ReadTgaTexture, "File not found  - " + folder + "/none.tga"},
      {folder + "/past.tga", ReadTgaTexture,
       "Couldn't load \"" + folder + "/past.tga\". Run-length packets run past the image."},
      {folder + "/bad.jpg", ReadJpegTexture, "Couldn't load JPG - \"" + folder + "/bad.jpg\""},
  };
  for (const Case& c : cases) {
    const int uploads = TextureUploadCount();
    const int boxes = ErrorBoxCount();
    uint32_t texture = 12345;
    EXPECT_FALSE(c.read(c.name, texture)) << c.name;
    EXPECT_EQ(texture, 12345u) << c.name;
    EXPECT_EQ(TextureUploadCount(), uploads) << c.name;
    EXPECT_EQ(ErrorBoxCount(), boxes + 1) << c.name;
    EXPECT_EQ(LastErrorBoxText(), c.message);
  }
  const int uploads = TextureUploadCount();
  EXPECT_EQ(TextureFromJpegPair(folder + "/c.jpg", folder + "/a.jpg"), NoTexture);
  EXPECT_EQ(LastErrorBoxText(), "Couldn't load JPG - \"" + folder + "/a.jpg\"");
  EXPECT_EQ(TextureUploadCount(), uploads);
}
