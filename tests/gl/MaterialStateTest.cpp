// GL state left by the material, light and 2D drawing procedures, read back with glIsEnabled
// and glGet* on a real offscreen context.
#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"
#include "engine/KGL2Lights.h"
#include "engine/KGL2Materials.h"
#include "support/GlContext.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Vec4 = std::array<GLfloat, 4>;

Vec4 CurrentColor() {
  Vec4 c;
  glGetFloatv(GL_CURRENT_COLOR, c.data());
  return c;
}

Vec4 MaterialOf(GLenum which) {
  Vec4 c;
  glGetMaterialfv(GL_FRONT, which, c.data());
  return c;
}

GLint IntegerOf(GLenum which) {
  GLint value = 0;
  glGetIntegerv(which, &value);
  return value;
}

void ExpectColor(const Vec4& c, float r, float g, float b, float a) {
  EXPECT_NEAR(c[0], r, 1e-6);
  EXPECT_NEAR(c[1], g, 1e-6);
  EXPECT_NEAR(c[2], b, 1e-6);
  EXPECT_NEAR(c[3], a, 1e-6);
}

// A state far from every procedure's result, so that each setting must be made.
void MessUpState() {
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_COLOR_MATERIAL);
  glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
  const GLfloat odd[4] = {0.3f, 0.6f, 0.9f, 0.5f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, odd);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, odd);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, odd);
  glDisable(GL_COLOR_MATERIAL);
}

void ExpectDefaultMaterial() {
  ExpectColor(MaterialOf(GL_AMBIENT), 0.2f, 0.2f, 0.2f, 1);
  ExpectColor(MaterialOf(GL_DIFFUSE), 0.8f, 0.8f, 0.8f, 1);
  ExpectColor(MaterialOf(GL_SPECULAR), 0, 0, 0, 1);
  ExpectColor(MaterialOf(GL_EMISSION), 0, 0, 0, 1);
}

}  // namespace

TEST(MaterialState, TextureColourResetSphereMapAndAdditiveBlend) {
  TestGlWindow();
  GLuint texture = 0;
  glGenTextures(1, &texture);

  MessUpState();
  ApplyTexture(texture);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(IntegerOf(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  ExpectColor(CurrentColor(), 1, 1, 1, 1);
  ExpectDefaultMaterial();

  EnableSphereMap();
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(IntegerOf(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture));

  glEnable(GL_BLEND);
  ApplyColor({1, 0, 0, 1});
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  ExpectColor(MaterialOf(GL_DIFFUSE), 1, 0, 0, 1);
  ExpectColor(MaterialOf(GL_AMBIENT), 0, 0, 0, 1);
  ExpectColor(CurrentColor(), 1, 0, 0, 1);

  // ApplyColor keeps specular and emission; ResetMaterialState does not.
  MessUpState();
  ApplyColor({0, 1, 0, 1});
  ExpectColor(MaterialOf(GL_SPECULAR), 0.3f, 0.6f, 0.9f, 0.5f);
  ResetMaterialState();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  ExpectColor(CurrentColor(), 1, 1, 1, 1);
  ExpectDefaultMaterial();

  glDisable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  EnableAdditiveBlend();
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(IntegerOf(GL_BLEND_SRC), GL_ONE);
  EXPECT_EQ(IntegerOf(GL_BLEND_DST), GL_ONE);
}

TEST(MaterialState, MaterialApplyByKind) {
  TestGlWindow();
  MessUpState();
  Material fresh;
  fresh.Apply();
  ExpectColor(CurrentColor(), 0, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

  Material blended;
  blended.Color = {1, 0, 0, 1};
  blended.Blend = true;
  blended.BlendColor = {0, 0, 1, 0.5f};
  blended.Apply();
  ExpectColor(CurrentColor(), 0, 0, 1, 0.5f);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(IntegerOf(GL_BLEND_SRC), GL_ONE);
  EXPECT_EQ(IntegerOf(GL_BLEND_DST), GL_ONE);

  GLuint texture = 0;
  glGenTextures(1, &texture);
  Material textured;
  textured.Kind = 1;
  textured.Texture = texture;
  textured.SphereMap = true;
  textured.Blend = true;
  textured.AlphaBlend = true;
  textured.BlendColor = {1, 1, 1, 0.25f};
  textured.Apply();
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(IntegerOf(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(IntegerOf(GL_BLEND_SRC), GL_SRC_ALPHA);
  EXPECT_EQ(IntegerOf(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
  ExpectColor(CurrentColor(), 1, 1, 1, 0.25f);

  textured.AlphaBlend = false;
  textured.SphereMap = false;
  textured.Apply();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_EQ(IntegerOf(GL_BLEND_SRC), GL_SRC_COLOR);
  EXPECT_EQ(IntegerOf(GL_BLEND_DST), GL_DST_COLOR);

  // Unknown kinds set nothing.
  glColor4f(0.5f, 0.5f, 0.5f, 0.5f);
  Material other;
  other.Kind = 7;
  other.Apply();
  ExpectColor(CurrentColor(), 0.5f, 0.5f, 0.5f, 0.5f);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

TEST(MaterialState, LightsArePositionalAndAddressTheSelectedLight) {
  TestGlWindow();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  SelectLight(GL_LIGHT1);
  SetLightPosition({100, 100, 100});
  Vec4 position;
  glGetLightfv(GL_LIGHT1, GL_POSITION, position.data());
  ExpectColor(position, 100, 100, 100, 1);

  glDisable(GL_LIGHTING);
  SetupDefaultLight();
  EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
  glGetLightfv(GL_LIGHT1, GL_POSITION, position.data());
  ExpectColor(position, 10, 10, 10, 1);
  Vec4 colour;
  glGetLightfv(GL_LIGHT1, GL_AMBIENT, colour.data());
  ExpectColor(colour, 1, 1, 1, 1);
  glGetLightfv(GL_LIGHT1, GL_DIFFUSE, colour.data());
  ExpectColor(colour, 0.5f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(CurrentLight.Light, static_cast<uint32_t>(GL_LIGHT1));
}

TEST(DrawState, RectRestoresEverythingOtherQuadsLeaveTheirState) {
  TestGlWindow();
  // DrawRect from two opposite starting states: everything must come back as it was.
  for (bool on : {false, true}) {
    auto set = [on](GLenum cap) { on ? glEnable(cap) : glDisable(cap); };
    set(GL_LIGHTING);
    set(GL_DEPTH_TEST);
    set(GL_TEXTURE_2D);
    set(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
    DrawRect({1, 0, 0, 0.5f}, 10, 10, 50, 50);
    EXPECT_EQ(glIsEnabled(GL_LIGHTING), on);
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), on);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), on);
    EXPECT_EQ(glIsEnabled(GL_BLEND), on);
    EXPECT_EQ(IntegerOf(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(IntegerOf(GL_BLEND_DST), GL_ZERO);
    ExpectColor(CurrentColor(), 0.25f, 0.5f, 0.75f, 1.0f);
  }

  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  DrawBareQuad(0, 0, 10, 10);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));

  for (auto quad : {+[] { DrawTexturedQuad(0, 0, 0, 10, 10); },
                    +[] { DrawBlendQuad(0, {1, 1, 1, 1}, 0, 0, 10, 10); },
                    +[] { DrawAddQuad(0, {1, 1, 1, 1}, 0, 0, 10, 10); }}) {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    quad();
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
  }

  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glColor4f(0.5f, 0.25f, 0.125f, 1.0f);
  PrintText("state", 10, 10, {1, 1, 1, 1});
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  ExpectColor(CurrentColor(), 0.5f, 0.25f, 0.125f, 1.0f);
}

TEST(DrawState, ProjectionsAndCameraAxes) {
  TestGlWindow();
  OrthoBegin();
  GLfloat m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  // Pixel units of the requested 800 x 600 screen.
  EXPECT_NEAR(m[0], 2.0f / 800.0f, 1e-7);
  EXPECT_NEAR(m[5], 2.0f / 600.0f, 1e-7);
  EXPECT_EQ(IntegerOf(GL_MATRIX_MODE), GL_MODELVIEW);

  glTranslatef(3, 4, 5);
  OrthoEnd();
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  EXPECT_NEAR(m[5] / m[0], 4.0f / 3.0f, 1e-5);
  // A 16/10 request: pixel units follow the requested size, the perspective stays 4/3.
  const TRenderWindow saved = CurrentWindow;
  CurrentWindow.Width = 1280;
  CurrentWindow.Height = 800;
  glViewport(0, 0, 1280, 800);
  OrthoBegin();
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  EXPECT_NEAR(m[0], 2.0f / 1280.0f, 1e-7);
  EXPECT_NEAR(m[5], 2.0f / 800.0f, 1e-7);
  glTranslatef(3, 4, 5);
  OrthoEnd();
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  EXPECT_NEAR(m[5] / m[0], 4.0f / 3.0f, 1e-5);
  CurrentWindow = saved;
  glViewport(0, 0, 800, 600);
  EXPECT_EQ(IntegerOf(GL_MATRIX_MODE), GL_MODELVIEW);
  // The modelview is left as it was.
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_EQ(m[12], 3.0f);

  const GLint depth = IntegerOf(GL_MODELVIEW_STACK_DEPTH);
  PushCenterView();
  EXPECT_EQ(IntegerOf(GL_MODELVIEW_STACK_DEPTH), depth + 1);
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_EQ(m[12], 0.0f);
  EXPECT_EQ(m[14], -1.0f);
  PopView();
  EXPECT_EQ(IntegerOf(GL_MODELVIEW_STACK_DEPTH), depth);

  // Turned 90 degrees about Z, the eye's right is the object's -Y and its up the object's X.
  glLoadIdentity();
  glRotatef(90, 0, 0, 1);
  TVec3 up, right;
  GetCameraAxes(up, right);
  EXPECT_NEAR(right.X, 0, 1e-6);
  EXPECT_NEAR(right.Y, -1, 1e-6);
  EXPECT_NEAR(up.X, 1, 1e-6);
  EXPECT_NEAR(up.Y, 0, 1e-6);
  glLoadIdentity();
}
