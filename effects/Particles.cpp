#include "effects/Particles.h"

#include "engine/KGL2Materials.h"
#include "engine/KGL2Textures.h"

#include <GL/glu.h>

#include <algorithm>

std::vector<TEffectFile> TParticles::LoadFiles(const TVEffect& effect) {
  if (effect.A.empty()) return {};
  return {PictureFile(effect.A, "A")};
}

void TParticles::Load(const TReadContext& files) {
  Texture = TextureByName(A, files);
  Volume = std::make_unique<TKGLVolume>(E, static_cast<float>(F), static_cast<float>(G / 100.0L));
  Volume->VelocityRange = {VX, VY, VZ};
  const float spread = static_cast<float>(F);
  Volume->SpawnRange = {spread, spread, spread};
  Volume->RespawnAll();
  Volume->Mode = TKGLVolume::kBounce;
  if (B == "forceback") Volume->Mode = TKGLVolume::kPullBack;
  if (B == "respawn") Volume->Mode = TKGLVolume::kRespawn;
}

void TParticles::FollowParameters() {
  // Parameters that follow keyed tracks change between frames: the volume takes them before
  // each step. Unchanged ones set what Load set.
  Volume->Extent = {static_cast<float>(F), static_cast<float>(F), static_cast<float>(F)};
  Volume->SizeRange = static_cast<float>(G / 100.0L);
  Volume->VelocityRange = {VX, VY, VZ};
  const float spread = static_cast<float>(F);
  Volume->SpawnRange = {spread, spread, spread};
  if (E != Volume->ParticleCount()) Volume->Resize(std::min(E, kMaxFollowedParticles));
}

void TParticles::Advance(const TFrameContext& frame, const float*) {
  if (!Volume) return;
  FollowParameters();
  Volume->Update(frame.FrameTime);
}

void TParticles::Render(const TFrameContext& frame, const float* inputs) {
  if (!Volume) return;  // not loaded
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(100, 100, 100, 0, 0, 0, 0, 1, 0);
  glDisable(GL_LIGHTING);
  ApplyTexture(Texture);
  glDisable(GL_DEPTH_TEST);
  EnableAdditiveBlend();
  Advance(frame, inputs);
  Volume->DrawParticles(inputs[0] * S);
  glEnable(GL_DEPTH_TEST);
}
