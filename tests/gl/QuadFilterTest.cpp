// A picture drawn larger than its texture is sampled with the magnification filter only, so the
// quads draw it with a plain linear minification filter; the pixels must be those of the
// texture's own mipmapped filter, and the texture must keep its filter.
#include "effects/Draw2D.h"
#include "engine/KGL2Textures.h"
#include "support/GlContext.h"
#include "support/PixelChecks.h"
#include "support/TestPictures.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// The quad DrawTexturedQuad draws, with no filter change: the reference picture.
void DrawReferenceQuad(uint32_t texture, float x, float y, float width, float height) {
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  OrthoBegin();
  const float low = 0.0001f, high = 1.0f - 0.0001f;
  glBegin(GL_QUADS);
  glTexCoord2f(low, low);
  glVertex3f(x, y, 0);
  glTexCoord2f(high, low);
  glVertex3f(x + width, y, 0);
  glTexCoord2f(high, high);
  glVertex3f(x + width, y + height, 0);
  glTexCoord2f(low, high);
  glVertex3f(x, y + height, 0);
  glEnd();
  OrthoEnd();
  glDisable(GL_BLEND);
}

}  // namespace

TEST(QuadFilter, MagnifiedQuadsDrawTheMipmappedPictureAndKeepTheTexturesFilter) {
  TestGlWindow();
  const TImageRGBA pattern = PatternImage(64, 32);
  const std::vector<uint8_t> pixels = BottomRowFirst(pattern, 4);
  const uint32_t texture = UploadTexture(64, 32, GL_RGBA, pixels.data());
  // Magnified (the whole frame), exactly its own size, and minified (the filter must stay).
  const float quads[3][4] = {{0, 0, 800, 600}, {100, 100, 64, 32}, {10, 10, 40, 20}};
  for (const auto& q : quads) {
    ClearTestFrame(0, 0, 0);
    DrawReferenceQuad(texture, q[0], q[1], q[2], q[3]);
    const std::vector<uint8_t> reference = ReadTestFrame();
    ClearTestFrame(0, 0, 0);
    DrawTexturedQuad(texture, q[0], q[1], q[2], q[3]);
    const std::vector<uint8_t> drawn = ReadTestFrame();
    int off = 0;
    for (size_t i = 0; i < drawn.size(); ++i) off += std::abs(int(drawn[i]) - int(reference[i])) > 1;
    EXPECT_EQ(off, 0) << q[2] << " x " << q[3];
    GLint minFilter = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
