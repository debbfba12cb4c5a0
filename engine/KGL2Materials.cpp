#include "engine/KGL2Materials.h"

#include <GL/gl.h>

namespace {

const GLfloat kDefaultAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
const GLfloat kDefaultDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const GLfloat kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};

}  // namespace

void ApplyDefaultMaterial() {
  glDisable(GL_COLOR_MATERIAL);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kDefaultAmbient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kDefaultDiffuse);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, kBlack);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, kBlack);
}

void ResetMaterialState() {
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glEnable(GL_COLOR_MATERIAL);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glDisable(GL_COLOR_MATERIAL);
  ApplyDefaultMaterial();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
}

void ApplyColor(const TColor4& c) {
  DisableSphereMap();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &c.R);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kBlack);
  glColor4fv(&c.R);
}

void ApplyTexture(uint32_t texture) {
  ResetMaterialState();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

void EnableSphereMap() {
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
}

void DisableSphereMap() {
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
}

void EnableAdditiveBlend() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
}

void Material::Apply() const {
  if (Kind == 0) {
    ResetMaterialState();
    glColor4f(Color.R, Color.G, Color.B, Color.A);
    if (Blend) {
      glEnable(GL_BLEND);
      glColor4f(BlendColor.R, BlendColor.G, BlendColor.B, BlendColor.A);
      glBlendFunc(GL_ONE, GL_ONE);
    } else {
      glDisable(GL_BLEND);
    }
  } else if (Kind == 1) {
    ResetMaterialState();
    ApplyTexture(Texture);
    if (SphereMap) {
      glEnable(GL_TEXTURE_GEN_S);
      glEnable(GL_TEXTURE_GEN_T);
    }
    if (Blend) {
      glColor4f(BlendColor.R, BlendColor.G, BlendColor.B, BlendColor.A);
      if (AlphaBlend)
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      else
        glBlendFunc(GL_SRC_COLOR, GL_DST_COLOR);
      glEnable(GL_BLEND);
    }
  }
}
