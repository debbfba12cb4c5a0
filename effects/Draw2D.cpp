#include "effects/Draw2D.h"

#include "engine/KGL2Materials.h"
#include "platform/KestoGL2.h"

#include <cmath>

TVec3 CameraRight = {0, 0, 0};
TVec3 CameraUp = {0, 0, 0};

namespace {

TVec3 billboardCorners[4];

// The screen quad, with texture coordinates inset from the edges by `inset` when textured.
void EmitQuad(float x, float y, float width, float height, bool textured, float inset) {
  const float low = inset;
  const float high = 1.0f - inset;
  glBegin(GL_QUADS);
  if (textured) glTexCoord2f(low, low);
  glVertex3f(x, y, 0.0f);
  if (textured) glTexCoord2f(high, low);
  glVertex3f(x + width, y, 0.0f);
  if (textured) glTexCoord2f(high, high);
  glVertex3f(x + width, y + height, 0.0f);
  if (textured) glTexCoord2f(low, high);
  glVertex3f(x, y + height, 0.0f);
  glEnd();
}

// The screen quad textured with the bound texture. A quad at least as large on screen as its
// texture samples it with the magnification filter everywhere; a plain linear minification
// filter for the draw says so and spares the software renderer the per-pixel mipmap level work.
// The pixels are the same; the texture's own filter is put back afterwards.
void EmitTexturedQuad(float x, float y, float width, float height, float inset) {
  GLint textureWidth = 0, textureHeight = 0, viewport[4] = {0, 0, 0, 0}, minFilter = GL_LINEAR;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureHeight);
  glGetIntegerv(GL_VIEWPORT, viewport);
  const float pixelsWide = std::fabs(width) * static_cast<float>(viewport[2]) /
                           static_cast<float>(CurrentWindow.Width > 0 ? CurrentWindow.Width : 1);
  const float pixelsHigh = std::fabs(height) * static_cast<float>(viewport[3]) /
                           static_cast<float>(CurrentWindow.Height > 0 ? CurrentWindow.Height : 1);
  const bool magnified = textureWidth > 0 && textureHeight > 0 &&
                         static_cast<float>(textureWidth) <= pixelsWide &&
                         static_cast<float>(textureHeight) <= pixelsHigh;
  if (magnified) glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  const bool swapFilter = magnified && minFilter != GL_LINEAR;
  if (swapFilter) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  EmitQuad(x, y, width, height, true, inset);
  if (swapFilter) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
}

// The part DrawBlendQuad and DrawAddQuad share, apart from the blend function and fog.
void DrawTintedQuad(uint32_t texture, const TColor4& color, float x, float y, float width,
                    float height, GLenum destinationFactor, bool fogOff) {
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glColor4f(color.R, color.G, color.B, color.A);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, destinationFactor);
  if (fogOff) glDisable(GL_FOG);
  OrthoBegin();
  EmitTexturedQuad(x, y, width, height, 0.0f);
  OrthoEnd();
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
}

}  // namespace

void OrthoBegin() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, CurrentWindow.Width, 0.0, CurrentWindow.Height, -1.0, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void OrthoEnd() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 1.0, 100000.0);
  glMatrixMode(GL_MODELVIEW);
}

void PushCenterView() {
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -1.0f);
}

void PopView() { glPopMatrix(); }

void DrawRect(const TColor4& color, float x, float y, float width, float height) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  OrthoBegin();
  glColor4f(color.R, color.G, color.B, color.A);
  EmitQuad(x, y, width, height, false, 0.0f);
  OrthoEnd();
  glDisable(GL_BLEND);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glPopAttrib();
}

void DrawTexturedQuad(uint32_t texture, float x, float y, float width, float height) {
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  OrthoBegin();
  // Inset so that the border texels do not wrap around.
  EmitTexturedQuad(x, y, width, height, 0.0001f);
  OrthoEnd();
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_COLOR_MATERIAL);
  ApplyDefaultMaterial();
}

void DrawBlendQuad(uint32_t texture, const TColor4& color, float x, float y, float width,
                   float height) {
  DrawTintedQuad(texture, color, x, y, width, height, GL_ONE_MINUS_SRC_ALPHA, true);
}

void DrawAddQuad(uint32_t texture, const TColor4& color, float x, float y, float width,
                 float height) {
  DrawTintedQuad(texture, color, x, y, width, height, GL_ONE, false);
}

void DrawBareQuad(float x, float y, float width, float height) {
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  OrthoBegin();
  EmitQuad(x, y, width, height, true, 0.0f);
  OrthoEnd();
}

void GetCameraAxes(TVec3& up, TVec3& right) {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  right = {m[0], m[4], m[8]};
  up = {m[1], m[5], m[9]};
}

void DrawBillboard(const TVec3& center, float size) {
  GetCameraAxes(CameraUp, CameraRight);
  const TVec3& r = CameraRight;
  const TVec3& u = CameraUp;
  // Corner k is centre + size x (sx·Right + sy·Up) with (sx, sy) walking the quad.
  const float signs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (int k = 0; k < 4; ++k) {
    const float sx = signs[k][0], sy = signs[k][1];
    billboardCorners[k] = {center.X + size * (sx * r.X + sy * u.X),
                           center.Y + size * (sx * r.Y + sy * u.Y),
                           center.Z + size * (sx * r.Z + sy * u.Z)};
  }
  const float texCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  glBegin(GL_QUADS);
  for (int k = 0; k < 4; ++k) {
    glTexCoord2f(texCoords[k][0], texCoords[k][1]);
    glVertex3fv(&billboardCorners[k].X);
  }
  glEnd();
}
