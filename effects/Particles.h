// "particles": a cloud of textured, additively blended, camera-facing sprites moving inside a
// box around the origin (TKGLVolume), stepped by the frame duration while the bar runs.
//
// Parameters: A sprite texture; B mode keyword ("forceback": pulled back, "respawn": respawned
// on leaving the box, anything else: bounce); E particle count; F box half-width and spawn
// spread; G size spread in percent; S size factor (sprite half-width = input 0 x S +
// the particle's own offset); VX, VY, VZ velocity spread per axis. Everything starts at 0. The
// volume takes the parameters on every frame, so they may follow keyed tracks.
#pragma once
#include "effects/KGL2Volume.h"
#include "effects/VEffect.h"

#include <cstdint>
#include <memory>

// The most particles a count that changes while the effect runs may grow to.
constexpr int32_t kMaxFollowedParticles = 1 << 20;

class TParticles : public TVEffect {
 public:
  TParticles() : TVEffect(NoBaseDefaults{}) {}
  // Loads the sprite and creates the volume (its particles spawned twice: the second time
  // with the spreads set).
  void Load(const TReadContext& files = TReadContext()) override;
  // The sprite A when named (without one the sprites are drawn untextured).
  static std::vector<TEffectFile> LoadFiles(const TVEffect& effect);
  void Render(const TFrameContext& frame, const float* inputs) override;
  // Moves the particles by the frame duration.
  void Advance(const TFrameContext& frame, const float* inputs) override;

  uint32_t Texture = 0;
  std::unique_ptr<TKGLVolume> Volume;

 private:
  // Gives the volume this frame's F, G, VX, VY, VZ and particle count E.
  void FollowParameters();
};
