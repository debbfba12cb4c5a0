// Textures carry every mipmap level down to 1 x 1, each the rounded 2 x 2 mean of the level
// above it (fewer texels at an odd edge), also for sizes that are not powers of two.
#include "engine/KGL2Textures.h"
#include "support/GlContext.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Level(int level, int& width, int& height, int channels) {
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
  std::vector<uint8_t> texels(static_cast<size_t>(width * height * channels));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE,
                texels.data());
  return texels;
}

}  // namespace

TEST(MipmapLevels, EveryLevelIsTheBoxFilteredLevelAbove) {
  TestGlWindow();
  // 5 x 3 RGB: texel (x, y) has red 10x + 50y, green 200 - 30x, blue 7.
  std::vector<uint8_t> pixels;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) pixels.insert(pixels.end(), {uint8_t(10 * x + 50 * y), uint8_t(200 - 30 * x), 7});
  const uint32_t texture = UploadTexture(5, 3, GL_RGB, pixels.data());
  glBindTexture(GL_TEXTURE_2D, texture);
  int width = 0, height = 0;
  std::vector<uint8_t> level1 = Level(1, width, height, 3);
  ASSERT_EQ(width, 2);
  ASSERT_EQ(height, 1);
  // Texel (0, 0) of level 1 is the mean of (0..1, 0..1): red (0 + 10 + 50 + 60) / 4 = 30.
  EXPECT_EQ(level1[0], 30);
  EXPECT_EQ(level1[1], 185);  // (200 + 170 + 200 + 170) / 4
  EXPECT_EQ(level1[2], 7);
  // Texel (1, 0): red (20 + 30 + 70 + 80) / 4 = 50.
  EXPECT_EQ(level1[3], 50);
  std::vector<uint8_t> level2 = Level(2, width, height, 3);
  ASSERT_EQ(width, 1);
  ASSERT_EQ(height, 1);
  EXPECT_EQ(level2[0], 40);  // (30 + 50) / 2
  // Nothing below 1 x 1: the texture is complete, so it draws.
  GLint beyond = -1;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH, &beyond);
  EXPECT_EQ(beyond, 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
