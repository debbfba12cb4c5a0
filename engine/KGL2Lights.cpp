#include "engine/KGL2Lights.h"

#include <GL/gl.h>

TLightState CurrentLight;

void SelectLight(uint32_t light) { CurrentLight.Light = light; }

void SetupDefaultLight() {
  glEnable(CurrentLight.Light);
  SetLightPosition({10.0f, 10.0f, 10.0f});
  SetLightColors({1.0f, 1.0f, 1.0f, 1.0f}, {0.5f, 0.5f, 0.5f, 0.5f});
  glEnable(GL_LIGHTING);
  glEnable(GL_NORMALIZE);
}

void SetLightPosition(const TVec3& p) {
  CurrentLight.Position[0] = p.X;
  CurrentLight.Position[1] = p.Y;
  CurrentLight.Position[2] = p.Z;
  CurrentLight.Position[3] = 1.0f;
  glLightfv(CurrentLight.Light, GL_POSITION, CurrentLight.Position);
}

void SetLightColors(const TColor4& ambient, const TColor4& diffuse) {
  CurrentLight.Ambient = ambient;
  CurrentLight.Diffuse = diffuse;
  glLightfv(CurrentLight.Light, GL_AMBIENT, &CurrentLight.Ambient.R);
  glLightfv(CurrentLight.Light, GL_DIFFUSE, &CurrentLight.Diffuse.R);
}
