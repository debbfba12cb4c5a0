// Fixed-function material, colour, texturing, blending and texture-coordinate generation
// state: a few procedures that put the OpenGL state into known configurations, and the
// Material each mesh with a material owns.
//
// Contract: every procedure issues its calls in a fixed order and restores nothing; the last
// setter wins. Material calls address both faces. Needs a current OpenGL context.
#pragma once
#include "engine/Vectors.h"

#include <cstdint>
#include <string>

// The OpenGL default material (ambient 0.2, diffuse 0.8, no specular, shininess 0, no
// emission) with colour tracking off.
void ApplyDefaultMaterial();
// Texture generation, texturing and blending off, current colour white, default material.
void ResetMaterialState();
// Plain colour: sphere mapping, texturing and blending off; diffuse material and current
// colour c, ambient material black. Specular, shininess and emission are left as they are.
void ApplyColor(const TColor4& c);
// Default state with texture t bound and enabled, current colour white.
void ApplyTexture(uint32_t texture);
// Sphere-map texture coordinate generation on (S and T) or off.
void EnableSphereMap();
void DisableSphereMap();
// Blending on with GL_ONE, GL_ONE: what is drawn is added to the picture.
void EnableAdditiveBlend();

// How a mesh is drawn: plain colour (Kind 0) or a texture (Kind 1), optionally blended.
class Material {
 public:
  // Applies the material's state; a Kind other than 0 or 1 sets nothing.
  void Apply() const;

  uint32_t Texture = 0;         // texture name for Kind 1
  std::string Name;             // kept for the model's use, never read here
  bool Blend = false;           // draw with blending
  bool SphereMap = false;       // generate sphere-map texture coordinates (Kind 1)
  int32_t Kind = 0;             // 0 plain colour, 1 texture
  TColor4 Color = {0, 0, 0, 0};         // current colour for Kind 0
  TColor4 BlendColor = {0, 0, 0, 0};    // current colour while blending
  bool AlphaBlend = false;      // Kind 1 with Blend: alpha blending instead of colour blending
  std::string TextureName;      // kept for the model's use, never read here
};
