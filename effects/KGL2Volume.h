// TKGLVolume: a box of particles moving in straight lines around the origin. Particles that
// leave the box bounce off its walls (mode 1), are pulled back (mode 2), are respawned (mode 3)
// or die (mode 4). All randomness comes from UniformRandom, 13 draws per respawn, so a run
// makes the same particles as long as the same calls happen in the same order.
#pragma once
#include "engine/Vectors.h"

#include <cstdint>
#include <vector>

struct TParticle {
  TVec3 Position;
  TVec3 Velocity;     // units per second
  float SizeOffset;   // added to the drawing size of this particle
  uint8_t Dead;       // a dead particle is no longer moved
};

class TKGLVolume {
 public:
  enum : uint8_t { kBounce = 1, kPullBack = 2, kRespawn = 3, kDie = 4 };

  // count particles (none when count is not positive) in a box of half-width boxSize, then
  // RespawnAll with zero spreads.
  TKGLVolume(int32_t count, float boxSize, float sizeRange);

  // Position = Centre + RandomVec3(SpawnRange), Velocity = RandomVec3(VelocityRange),
  // SizeOffset = UniformRandom * SizeRange + SizeBase, alive: 13 draws in that order.
  void Respawn(int32_t i);
  void RespawnAll();
  // Keeps the first `count` particles (none when not positive) and respawns the ones added.
  void Resize(int32_t count);
  // Moves particle i by dt seconds and applies the mode at the box's faces.
  void Step(int32_t i, float dt);
  void Update(float dt);
  // One billboard per particle (dead ones too) of half-width size + SizeOffset; texture,
  // blending and colour are the caller's.
  void DrawParticles(float size) const;

  // The number of particles: the size of Particles, the one place it is kept.
  int32_t ParticleCount() const { return static_cast<int32_t>(Particles.size()); }

  std::vector<TParticle> Particles;
  TVec3 Centre = {0, 0, 0};         // never changed
  TVec3 Extent = {0, 0, 0};         // half-widths of the box
  TVec3 SpawnRange = {0, 0, 0};     // spread of respawn positions per axis
  uint8_t Mode = kBounce;
  float Pull = 0;                   // strength of the pull of mode 2
  TVec3 VelocityRange = {0, 0, 0};  // spread of respawn velocities per axis
  float SizeRange = 0;              // spread of SizeOffset
  float SizeBase = 0;               // least SizeOffset
};
