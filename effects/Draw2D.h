// 2D drawing shared by the effects, the loading screen and the timer overlay: a pixel-unit
// orthographic projection and back, screen-aligned quads, and a camera-facing quad in 3D.
//
// Contract: screen coordinates are pixels of the requested resolution (CurrentWindow), with
// (0, 0) at the lower left and y upwards. Each quad has its corners at (X, Y), (X + Width, Y),
// (X + Width, Y + Height), (X, Y + Height), z = 0, as one GL_QUADS primitive. Apart from
// DrawRect, which restores every attribute, the procedures leave the state they set.
#pragma once
#include "engine/Vectors.h"

#include <cstdint>

// Projection: pixel units of CurrentWindow (near -1, far 100); modelview: identity.
void OrthoBegin();
// Projection back to a 45-degree 4/3 perspective; the modelview matrix is not reset.
void OrthoEnd();
// Pushes the modelview matrix and places the origin one unit in front of the eye.
void PushCenterView();
// Pops the modelview matrix pushed by PushCenterView.
void PopView();

// Darkens the whole frame toward black, leaving `fade` (0 to 1) of it; every attribute and
// both matrices are restored afterwards.
void DrawFade(float fade);
// An untextured alpha-blended rectangle; every attribute is restored afterwards.
void DrawRect(const TColor4& color, float x, float y, float width, float height);
// A white alpha-blended textured quad (texture coordinates inset by 0.0001), its alpha scaled by
// `opacity`; leaves lighting and depth testing on, blending off and the default material.
void DrawTexturedQuad(uint32_t texture, float x, float y, float width, float height,
                      float opacity = 1.0f);
// A tinted alpha-blended textured quad, fog off; leaves lighting and depth testing on.
void DrawBlendQuad(uint32_t texture, const TColor4& color, float x, float y, float width,
                   float height);
// A tinted additive textured quad (the colour's alpha scales what is added); leaves lighting
// and depth testing on.
void DrawAddQuad(uint32_t texture, const TColor4& color, float x, float y, float width,
                 float height);
// One picture of DrawAddQuadsInOnePass: its texture, its tint and its quad's left edge.
struct TAddLayer {
  uint32_t Texture = 0;
  TColor4 Color = {1, 1, 1, 1};
  float X = 0;
};
constexpr int kMaxAddLayers = 4;
// What DrawAddQuad draws for each layer in turn (quads width x height at (X, y)), in one pass
// that sums the pictures before adding them to the screen: the same pixels for a fraction of
// the fill. Needs weighted texture sums in the context, a texture unit per layer and loaded
// pictures without alpha, with no fog, alpha test, stencil writes or texture coordinate
// generation on; otherwise returns false and draws nothing. Leaves what the last DrawAddQuad
// would leave.
bool DrawAddQuadsInOnePass(const TAddLayer* layers, int count, float y, float width,
                           float height);
// A quad with texture coordinates and no other state: lighting and depth testing are turned
// off and stay off; colour, texture and blending are the caller's.
void DrawBareQuad(float x, float y, float width, float height);

// The eye's right and up directions in object space, from the current modelview matrix.
void GetCameraAxes(TVec3& up, TVec3& right);
// A camera-facing quad 2 x size wide around the centre, texture coordinates (0,0)..(1,1). No
// state is changed.
void DrawBillboard(const TVec3& center, float size);

// Camera axes of the last billboard (module state, overwritten on every call).
extern TVec3 CameraRight;
extern TVec3 CameraUp;
