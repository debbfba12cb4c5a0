// glActiveTexture and glMultiTexCoord2f (OpenGL 1.3) come through GlEntryPoints.h.
#include "platform/GlEntryPoints.h"
#include "effects/Draw2D.h"

#include "engine/KGL2Materials.h"
#include "engine/KGL2Textures.h"
#include "platform/KestoGL2.h"

#include <algorithm>
#include <cmath>

TVec3 CameraRight = {0, 0, 0};
TVec3 CameraUp = {0, 0, 0};

namespace {

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

// A screen quad at least as large on screen as the bound texture samples it with the
// magnification filter everywhere; a plain linear minification filter for the draw says so and
// spares the software renderer the per-pixel mipmap level work. The pixels are the same.
// Returns the texture's own minification filter to put back, or 0 when it was left alone.
GLint UseLinearFilterIfMagnified(float width, float height) {
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
  if (!magnified) return 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  if (minFilter == GL_LINEAR) return 0;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  return minFilter;
}

// Puts back the filter UseLinearFilterIfMagnified replaced.
void RestoreMinFilter(GLint minFilter) {
  if (minFilter != 0) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
}

// The screen quad textured with the bound texture (its own filter put back afterwards).
void EmitTexturedQuad(float x, float y, float width, float height, float inset) {
  const GLint minFilter = UseLinearFilterIfMagnified(width, height);
  EmitQuad(x, y, width, height, true, inset);
  RestoreMinFilter(minFilter);
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

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// True when DrawAddQuadsInOnePass gives the pixels the quads give one by one: the context sums
// weighted textures, has a unit per layer, and nothing applies per pass or per unit (fog, alpha
// test, stencil writes, generated texture coordinates); each picture is loaded and has no alpha.
bool CanAddInOnePass(const TAddLayer* layers, int count, float width, float height) {
  if (count < 1 || count > kMaxAddLayers || !(width > 0) || !(height > 0)) return false;
  if (!HasGLExtension("GL_ATI_texture_env_combine3")) return false;
  GLint units = 0;
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  if (units < count) return false;
  if (glIsEnabled(GL_FOG) || glIsEnabled(GL_ALPHA_TEST) || glIsEnabled(GL_TEXTURE_GEN_S) ||
      glIsEnabled(GL_TEXTURE_GEN_T))
    return false;
  if (glIsEnabled(GL_STENCIL_TEST)) {
    GLint fail = 0, depthFail = 0, pass = 0;
    glGetIntegerv(GL_STENCIL_FAIL, &fail);
    glGetIntegerv(GL_STENCIL_PASS_DEPTH_FAIL, &depthFail);
    glGetIntegerv(GL_STENCIL_PASS_DEPTH_PASS, &pass);
    if (fail != GL_KEEP || depthFail != GL_KEEP || pass != GL_KEEP) return false;
  }
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  bool usable = true;
  for (int k = 0; k < count && usable; ++k) {
    GLint pictureWidth = 0;
    glBindTexture(GL_TEXTURE_2D, layers[k].Texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &pictureWidth);
    usable = pictureWidth > 0 && TextureIsOpaque(layers[k].Texture);
  }
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  return usable;
}

// Texture unit k sums its picture, weighted by the unit's constant colour, onto what the units
// before it made: unit 0 starts the sum, the others add (Arg0 x Arg2 + Arg1). The pictures are
// opaque, so alpha is a constant: unit 0's, passed on by the others.
void SetUnitToAdd(int k) {
  const GLint previous = k == 0 ? GL_CONSTANT : GL_PREVIOUS;
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
  glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, k == 0 ? GL_MODULATE : GL_MODULATE_ADD_ATI);
  glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
  glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, previous);
  glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB, GL_CONSTANT);
  for (GLenum operand : {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB})
    glTexEnvi(GL_TEXTURE_ENV, operand, GL_SRC_COLOR);
  glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
  glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, k == 0 ? GL_CONSTANT : GL_PREVIOUS);
  glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
}

// The active unit's environment back to its defaults (modulate, constant colour 0).
void ResetUnitEnvironment() {
  const GLfloat zero[4] = {0, 0, 0, 0};
  glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, zero);
  const GLenum defaults[][2] = {
      {GL_TEXTURE_ENV_MODE, GL_MODULATE}, {GL_COMBINE_RGB, GL_MODULATE},
      {GL_COMBINE_ALPHA, GL_MODULATE},    {GL_SOURCE0_RGB, GL_TEXTURE},
      {GL_SOURCE1_RGB, GL_PREVIOUS},      {GL_SOURCE2_RGB, GL_CONSTANT},
      {GL_SOURCE0_ALPHA, GL_TEXTURE},     {GL_SOURCE1_ALPHA, GL_PREVIOUS},
      {GL_SOURCE2_ALPHA, GL_CONSTANT},    {GL_OPERAND0_RGB, GL_SRC_COLOR},
      {GL_OPERAND1_RGB, GL_SRC_COLOR},    {GL_OPERAND2_RGB, GL_SRC_ALPHA},
      {GL_OPERAND0_ALPHA, GL_SRC_ALPHA},  {GL_OPERAND1_ALPHA, GL_SRC_ALPHA},
      {GL_OPERAND2_ALPHA, GL_SRC_ALPHA}};
  for (const auto& setting : defaults)
    glTexEnvi(GL_TEXTURE_ENV, setting[0], static_cast<GLint>(setting[1]));
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

void DrawFade(float fade) {
  GLint mode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  DrawRect({0.0f, 0.0f, 0.0f, 1.0f - fade}, 0.0f, 0.0f, static_cast<float>(CurrentWindow.Width),
           static_cast<float>(CurrentWindow.Height));
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(mode));
}

void DrawTexturedQuad(uint32_t texture, float x, float y, float width, float height,
                      float opacity) {
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1.0f, 1.0f, 1.0f, opacity);
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
  TVec3 corners[4];
  for (int k = 0; k < 4; ++k) {
    const float sx = signs[k][0], sy = signs[k][1];
    corners[k] = {center.X + size * (sx * r.X + sy * u.X),
                  center.Y + size * (sx * r.Y + sy * u.Y),
                  center.Z + size * (sx * r.Z + sy * u.Z)};
  }
  const float texCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  glBegin(GL_QUADS);
  for (int k = 0; k < 4; ++k) {
    glTexCoord2f(texCoords[k][0], texCoords[k][1]);
    glVertex3fv(&corners[k].X);
  }
  glEnd();
}

bool DrawAddQuadsInOnePass(const TAddLayer* layers, int count, float y, float width,
                           float height) {
  if (!CanAddInOnePass(layers, count, width, height)) return false;
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  OrthoBegin();
  GLint minFilters[kMaxAddLayers] = {};
  for (int k = 0; k < count; ++k) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(k));
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, layers[k].Texture);
    minFilters[k] = UseLinearFilterIfMagnified(width, height);
    SetUnitToAdd(k);
  }
  // The quads may be offset from each other: the screen is cut into strips at every quad's
  // edges, and in each strip a quad that does not cover it adds nothing. Quad by quad, DrawAddQuad
  // adds colour x alpha x picture (blending by source alpha), so that is each picture's weight,
  // and alpha gains alpha x alpha. The colour is clamped as a vertex colour is.
  // At most eight edges, sorted by insertion without duplicates (no allocation in the frame).
  float edges[2 * kMaxAddLayers];
  int edgeCount = 0;
  for (int k = 0; k < 2 * count; ++k) {
    const float edge = layers[k / 2].X + (k % 2 ? width : 0.0f);
    int at = edgeCount;
    while (at > 0 && edges[at - 1] > edge) --at;
    if (at > 0 && edges[at - 1] == edge) continue;
    for (int move = edgeCount; move > at; --move) edges[move] = edges[move - 1];
    edges[at] = edge;
    ++edgeCount;
  }
  for (int i = 0; i + 1 < edgeCount; ++i) {
    const float left = edges[i], right = edges[i + 1];
    bool covered = false;
    GLfloat weights[kMaxAddLayers][4] = {};
    float alphaSum = 0;
    for (int k = 0; k < count; ++k) {
      const TAddLayer& layer = layers[k];
      if (!(layer.X <= left && right <= layer.X + width)) continue;
      covered = true;
      const float alpha = Clamp01(layer.Color.A);
      weights[k][0] = Clamp01(layer.Color.R) * alpha;
      weights[k][1] = Clamp01(layer.Color.G) * alpha;
      weights[k][2] = Clamp01(layer.Color.B) * alpha;
      alphaSum += alpha * alpha;
    }
    if (!covered) continue;
    weights[0][3] = Clamp01(alphaSum);  // unit 0 carries the alpha of the whole sum
    for (int k = 0; k < count; ++k) {
      glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(k));
      glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, weights[k]);
    }
    const float xs[4] = {left, right, right, left};
    const float ys[4] = {y, y, y + height, y + height};
    const float vs[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    glBegin(GL_QUADS);
    for (int corner = 0; corner < 4; ++corner) {
      for (int k = 0; k < count; ++k)
        glMultiTexCoord2f(GL_TEXTURE0 + static_cast<GLenum>(k), (xs[corner] - layers[k].X) / width,
                          vs[corner]);
      glVertex3f(xs[corner], ys[corner], 0.0f);
    }
    glEnd();
  }
  // Back to what the last DrawAddQuad leaves: unit 0 alone, with the last picture and colour.
  for (int k = count - 1; k >= 0; --k) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(k));
    RestoreMinFilter(minFilters[k]);
    ResetUnitEnvironment();
    if (k > 0) {
      glBindTexture(GL_TEXTURE_2D, 0);
      glDisable(GL_TEXTURE_2D);
    }
  }
  glBindTexture(GL_TEXTURE_2D, layers[count - 1].Texture);
  const TColor4& last = layers[count - 1].Color;
  glColor4f(last.R, last.G, last.B, last.A);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  OrthoEnd();
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  return true;
}
