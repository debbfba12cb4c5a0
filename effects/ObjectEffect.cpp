#include "effects/ObjectEffect.h"

#include "effects/ModelLoading.h"
#include "engine/KGL2Materials.h"
#include "engine/KGL2Textures.h"

#include <GL/glu.h>

std::vector<TEffectFile> T3DObject::LoadFiles(const TVEffect& effect) {
  std::vector<TEffectFile> files;
  if (!effect.A.empty()) files.push_back(ModelFile(effect.A, "A"));
  if (!effect.B.empty()) files.push_back(PictureFile(effect.B, "B"));
  if (!effect.C.empty()) files.push_back(PictureFile(effect.C, "C"));
  return files;
}

std::vector<std::string> T3DObject::MissingParameters(const TVEffect& effect) {
  if (!effect.A.empty()) return {};
  return {"A (the model file)"};
}

void T3DObject::Load(const TReadContext& files) {
  Brush = LoadEffectModel(*this, A, files);
  if (Brush && S != 0) Brush->ScaleAll({S, S, S});
  LoadedScale = S != 0 ? S : 1.0f;
  TextureMode = 0;
  if (!B.empty()) {
    BaseTexture = TextureByName(B, files);
    TextureMode = 1;
  }
  if (!C.empty()) {
    EnvTexture = TextureByName(C, files);
    TextureMode = 2;
  }
}

void T3DObject::Render(const TFrameContext& frame, const float* /*inputs*/) {
  if (!Brush) return;  // the model could not be loaded: nothing to draw
  TMeshDataNM& mesh = *Brush->Meshes[0];
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(100, 100, 100, 0, 0, 0, 0, 1, 0);
  // The parameters are read on every frame: they may follow keyed tracks.
  glTranslatef(X, Y, Z);
  glRotatef(VX * frame.BarTime, 1, 0, 0);
  glRotatef(VY * frame.BarTime, 0, 1, 0);
  glRotatef(VZ * frame.BarTime, 0, 0, 1);
  // A scale other than the one the model was loaded at is made up by the matrix.
  const float scale = S != 0 ? S : 1.0f;
  const bool rescaled = scale != LoadedScale;
  if (rescaled) {
    const float by = scale / LoadedScale;
    glScalef(by, by, by);
    glEnable(GL_NORMALIZE);
  }
  glDisable(GL_LIGHTING);
  if (TextureMode > 0)
    ApplyTexture(BaseTexture);
  else
    ApplyColor({E / 255.0f, F / 255.0f, G / 255.0f, 0.0f});
  mesh.Draw();
  if (TextureMode == 2) {
    // The second pass lies on the same surfaces: the depth test (GL_LEQUAL) lets it through.
    ApplyTexture(EnvTexture);
    EnableAdditiveBlend();
    EnableSphereMap();
    mesh.Draw();
    DisableSphereMap();
  }
  if (rescaled) glDisable(GL_NORMALIZE);
}
