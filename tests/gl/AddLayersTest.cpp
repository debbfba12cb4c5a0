// Additive picture layers summed in one pass against the same layers drawn quad by quad: the
// frames, the state left behind, and the cases the one pass must leave to the quads.
#include "platform/GlEntryPoints.h"

#include "effects/Draw2D.h"
#include "engine/KGL2Textures.h"
#include "support/GlContext.h"
#include "support/PixelChecks.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

uint32_t UploadPattern(int32_t width, int32_t height, GLenum format, uint8_t alpha = 255) {
  TImageRGBA image = PatternImage(width, height);
  for (size_t i = 3; i < image.Pixels.size(); i += 4) image.Pixels[i] = alpha;
  const std::vector<uint8_t> pixels = BottomRowFirst(image, format == GL_RGBA ? 4 : 3);
  return UploadTexture(static_cast<uint16_t>(width), static_cast<uint16_t>(height), format,
                       pixels.data());
}

// The state a caller may see after the layers, as numbers to compare.
std::vector<double> StateAfterLayers(const std::vector<uint32_t>& textures) {
  std::vector<double> state;
  GLint value = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
  state.push_back(value);
  for (int unit = 0; unit < 4; ++unit) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    state.push_back(glIsEnabled(GL_TEXTURE_2D));
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    state.push_back(value);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    state.push_back(value);
    GLfloat colour[4];
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
    state.insert(state.end(), colour, colour + 4);
  }
  glActiveTexture(GL_TEXTURE0);
  for (GLenum capability : {GL_BLEND, GL_LIGHTING, GL_DEPTH_TEST, GL_STENCIL_TEST})
    state.push_back(glIsEnabled(capability));
  for (GLenum query : {GL_BLEND_SRC, GL_BLEND_DST}) {
    glGetIntegerv(query, &value);
    state.push_back(value);
  }
  GLfloat numbers[16];
  glGetFloatv(GL_CURRENT_COLOR, numbers);
  state.insert(state.end(), numbers, numbers + 4);
  glGetFloatv(GL_PROJECTION_MATRIX, numbers);
  state.insert(state.end(), numbers, numbers + 16);
  glGetFloatv(GL_MODELVIEW_MATRIX, numbers);
  state.insert(state.end(), numbers, numbers + 16);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  for (uint32_t texture : textures) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    state.push_back(value);
  }
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  return state;
}

// Pixels whose colour or alpha differs by more than `levels` between two frames.
int PixelsOffBy(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int levels) {
  int off = 0;
  for (size_t i = 0; i < a.size(); i += 4) {
    int worst = 0;
    for (size_t k = 0; k < 4; ++k) worst = std::max(worst, std::abs(a[i + k] - b[i + k]));
    off += worst > levels;
  }
  return off;
}

// What a bar before the layers might leave: a projection of its own and a colour.
void StateOfABarBefore() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glColor4f(0.2f, 0.5f, 0.9f, 1);
}

}  // namespace

TEST(AddLayers, OnePassMatchesTheQuadsOneByOne) {
  TestGlWindow();
  // An RGB picture, an RGBA one whose alpha is 255 everywhere (as every JPEG is) and a third
  // size, so that each unit samples its own picture at its own scale.
  const uint32_t rgb = UploadPattern(64, 64, GL_RGB);
  const uint32_t jpegLike = UploadPattern(32, 48, GL_RGBA);
  const uint32_t third = UploadPattern(40, 40, GL_RGB);
  ASSERT_TRUE(TextureIsOpaque(rgb));
  ASSERT_TRUE(TextureIsOpaque(jpegLike));
  const std::vector<uint32_t> textures = {rgb, jpegLike, third};

  struct Case {
    const char* what;
    TAddLayer layers[3];
    float y, width, height;
  };
  const Case cases[] = {
      // The metaball layers: full screen, the second shifted by less than a pixel and brighter
      // than white (clamped), the third grey.
      {"screen", {{rgb, {1, 1, 1, 1}, 0}, {rgb, {1.7f, 1.7f, 1.7f, 1.7f}, 0.7f}, {third, {0.3f, 0.3f, 0.3f, 1}, 0}},
       0, 800, 600},
      // Quads apart from each other, tints with alpha below 1, a picture drawn smaller than it is.
      {"apart", {{jpegLike, {0.4f, 0.9f, 0.2f, 0.8f}, 100}, {third, {1, 0.5f, 0.25f, 0.5f}, 137.25f}, {rgb, {0.6f, 0.6f, 1, 1}, 400}},
       120, 300, 200},
      {"small", {{rgb, {1, 1, 1, 1}, 10}, {jpegLike, {0.5f, 0.5f, 0.5f, 1}, 30}, {third, {1, 1, 1, 0.3f}, 20}},
       40, 50, 30},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> frames[2];
    std::vector<double> states[2];
    for (int onePass = 0; onePass < 2; ++onePass) {
      ClearTestFrame(0.1f, 0.2f, 0.3f);
      StateOfABarBefore();
      if (onePass) {
        ASSERT_TRUE(DrawAddQuadsInOnePass(c.layers, 3, c.y, c.width, c.height)) << c.what;
      } else {
        for (const TAddLayer& layer : c.layers)
          DrawAddQuad(layer.Texture, layer.Color, layer.X, c.y, c.width, c.height);
      }
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << c.what;
      states[onePass] = StateAfterLayers(textures);
      frames[onePass] = ReadTestFrame();
    }
    EXPECT_EQ(states[0], states[1]) << c.what;
    // The quads round to whole levels after each of the three additions, the one pass once: two
    // levels apart at the most, and rarely more than one.
    EXPECT_EQ(PixelsOffBy(frames[0], frames[1], 2), 0) << c.what;
    EXPECT_LT(PixelsOffBy(frames[0], frames[1], 1), 800 * 600 / 1000) << c.what;
    // And the layers did draw: most of the covered pixels changed from the clear colour.
    ClearTestFrame(0.1f, 0.2f, 0.3f);
    EXPECT_GT(PixelsOffBy(frames[1], ReadTestFrame(), 8), c.width * c.height / 2) << c.what;
  }
}

TEST(AddLayers, WhatOnePassCannotSumIsLeftToTheQuads) {
  TestGlWindow();
  const uint32_t opaque = UploadPattern(16, 16, GL_RGB);
  const uint32_t seeThrough = UploadPattern(16, 16, GL_RGBA, 128);
  EXPECT_FALSE(TextureIsOpaque(seeThrough));
  const TAddLayer good = {opaque, {1, 1, 1, 1}, 0};
  const auto refuses = [&](const std::vector<TAddLayer>& layers, const char* what) {
    ClearTestFrame(0.1f, 0.2f, 0.3f);
    const std::vector<uint8_t> before = ReadTestFrame();
    EXPECT_FALSE(DrawAddQuadsInOnePass(layers.data(), static_cast<int>(layers.size()), 0, 800, 600))
        << what;
    EXPECT_EQ(PixelsOffBy(before, ReadTestFrame(), 0), 0) << what << ": drew although it refused";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << what;
  };
  refuses({good, {seeThrough, {1, 1, 1, 1}, 0}}, "a picture with alpha");
  refuses({good, {NoTexture, {1, 1, 1, 1}, 0}}, "a picture that failed to load");
  refuses({}, "no layers");
  refuses(std::vector<TAddLayer>(kMaxAddLayers + 1, good), "more layers than it sums");
  glEnable(GL_FOG);
  refuses({good, good}, "fog");
  glDisable(GL_FOG);
  glEnable(GL_STENCIL_TEST);
  glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
  refuses({good, good}, "stencil writes");
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  glDisable(GL_STENCIL_TEST);

  // A deleted texture is no longer known as opaque, whatever name GL gives next.
  DeleteTexture(opaque);
  EXPECT_FALSE(TextureIsOpaque(opaque));
}
