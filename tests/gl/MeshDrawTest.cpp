// Meshes drawn on a real context: the client-array states Draw leaves, and the pixels a mesh
// covers under a known camera.
#include "common/Models3DS.h"
#include "engine/KGL2Classes.h"
#include "support/GlContext.h"
#include "support/PixelChecks.h"
#include "support/TestSystem.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

namespace {

// Perspective camera at (0, 0, 5) looking at the origin, Y up; plain white, no lighting.
void LookAtOrigin() {
  glViewport(0, 0, 800, 600);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 800.0 / 600.0, 1.0, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
}

// Puts the shared window's matrices and switches back at the end of a test that looks at the
// origin: a later test (particles) draws with the projection it finds.
class KeepCamera {
 public:
  KeepCamera() {
    glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
  }
  ~KeepCamera() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
  }
};

void ExpectClientArrays(bool vertex, bool normal, bool texCoord) {
  EXPECT_EQ(glIsEnabled(GL_VERTEX_ARRAY) == GL_TRUE, vertex);
  EXPECT_EQ(glIsEnabled(GL_NORMAL_ARRAY) == GL_TRUE, normal);
  EXPECT_EQ(glIsEnabled(GL_TEXTURE_COORD_ARRAY) == GL_TRUE, texCoord);
}

}  // namespace

TEST(MeshDraw, EmptyMeshTogglesClientStatesAndDrawsNothing) {
  TestGlWindow();
  KeepCamera keep;
  LookAtOrigin();
  ClearTestFrame(0, 0, 0);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  TMeshDataNM empty;
  empty.Draw();
  ExpectClientArrays(false, false, false);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  ExpectPixel(400, 300, 0, 0, 0);

  // A plain mesh (no normals) leaves the normal array as it found it.
  glEnableClientState(GL_NORMAL_ARRAY);
  TMeshData plain;
  plain.Draw();
  ExpectClientArrays(false, true, false);
  glDisableClientState(GL_NORMAL_ARRAY);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(MeshDraw, ArraysAndImmediateDrawTheSameSquare) {
  TestGlWindow();
  KeepCamera keep;
  // A 2 x 2 square in the z = 0 plane, facing the camera: at distance 5 with a 45 degree
  // field of view, half the screen height is 5 * tan(22.5 deg) = 2.07 units, so the square's
  // edge at 1 unit lies about 145 pixels from the centre.
  TMeshDataNM square;
  for (const TVec3& v : {TVec3{-1, -1, 0}, TVec3{1, -1, 0}, TVec3{1, 1, 0}, TVec3{-1, 1, 0}})
    square.AddVertex(v, TTexCoord2{0, 0});
  square.Faces = {{0, 1, 2}, {0, 2, 3}};
  square.FaceCount = 2;
  square.ComputeNormals();
  for (int pass = 0; pass < 2; ++pass) {
    LookAtOrigin();
    ClearTestFrame(0, 0, 0);
    if (pass == 0) {
      square.Draw();
    } else {
      // Immediate drawing applies the mesh's material: make it plain white.
      square.Material->Color = TColor4{1, 1, 1, 1};
      square.DrawImmediate();
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "pass " << pass;
    ExpectPixel(400, 300, 255, 255, 255);
    ExpectPixel(400 + 130, 300 + 130, 255, 255, 255);
    ExpectPixel(400 + 160, 300, 0, 0, 0);
    ExpectPixel(400, 300 - 160, 0, 0, 0);
    ExpectPixel(10, 10, 0, 0, 0);
  }
  ExpectClientArrays(false, false, false);
}

TEST(MeshDraw, CubeModelCoversItsPixels) {
  TestGlWindow();
  KeepCamera keep;
  const std::string path = MakeTempFolder() + "/cube.3ds";
  std::string error;
  ASSERT_TRUE(WriteModelFile("cube", path, error)) << error;
  TKGLBrush brush(path);
  ASSERT_EQ(brush.MeshCount, 1);
  // The unit cube's front face lies at z = 0.5, 4.5 units from the eye, where half the screen
  // height is 4.5 * tan(22.5 deg) = 1.86 units: its edges lie about 80 pixels from the centre.
  LookAtOrigin();
  ClearTestFrame(0, 0, 0);
  brush.Meshes[0]->Draw();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  ExpectPixel(400, 300, 255, 255, 255);
  ExpectPixel(400 - 70, 300 + 70, 255, 255, 255);
  ExpectPixel(400 + 70, 300 - 70, 255, 255, 255);
  ExpectPixel(400 + 95, 300, 0, 0, 0);
  ExpectPixel(400, 300 + 95, 0, 0, 0);
  ExpectPixel(700, 500, 0, 0, 0);

  // Scaled to half, it covers less.
  brush.ScaleAll(TVec3{0.5f, 0.5f, 0.5f});
  ClearTestFrame(0, 0, 0);
  brush.Meshes[0]->Draw();
  ExpectPixel(400, 300, 255, 255, 255);
  ExpectPixel(400 + 60, 300, 0, 0, 0);
  ExpectClientArrays(false, false, false);
}
