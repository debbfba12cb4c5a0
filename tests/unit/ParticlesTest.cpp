// The particle volume without drawing: the random draws of a respawn, the face tests of each
// mode, and the "particles" effect's load (counts, spreads, mode keywords).
#include "effects/KGL2Volume.h"
#include "effects/Particles.h"

#include <gtest/gtest.h>

namespace {

// The next n draws of the generator, as the volume would get them.
std::vector<long double> Draws(int n) {
  std::vector<long double> r;
  for (int i = 0; i < n; ++i) r.push_back(UniformRandom());
  return r;
}

}  // namespace

TEST(Particles, LoadSpawnsTwiceAndTheFirstParticleFollowsTheRandomSequence) {
  RandomSeed = 0;
  TParticles effect;
  effect.E = 3;
  effect.F = 10;
  effect.G = 50;
  effect.VX = 1;
  effect.VY = 2;
  effect.VZ = 3;
  effect.S = 0.25f;
  effect.B = "respawn";
  effect.Load();
  const uint32_t seedAfterLoad = RandomSeed;

  // Construction spawns all three with zero spreads (3 x 13 draws), then they spawn again.
  RandomSeed = 0;
  Draws(3 * 13);
  const std::vector<long double> r = Draws(13);
  ASSERT_TRUE(effect.Volume);
  const TParticle& p = effect.Volume->Particles[0];
  EXPECT_EQ(p.Position.X, static_cast<float>((r[0] - r[1]) * 10));
  EXPECT_EQ(p.Position.Y, static_cast<float>((r[2] - r[3]) * 10));
  EXPECT_EQ(p.Position.Z, static_cast<float>((r[4] - r[5]) * 10));
  EXPECT_EQ(p.Velocity.X, static_cast<float>((r[6] - r[7]) * 1));
  EXPECT_EQ(p.Velocity.Y, static_cast<float>((r[8] - r[9]) * 2));
  EXPECT_EQ(p.Velocity.Z, static_cast<float>((r[10] - r[11]) * 3));
  EXPECT_EQ(p.SizeOffset, static_cast<float>(r[12] * 0.5f));
  EXPECT_EQ(p.Dead, 0);
  Draws(2 * 13);
  EXPECT_EQ(RandomSeed, seedAfterLoad);  // nothing else was drawn

  EXPECT_EQ(effect.Volume->ParticleCount(), 3);
  EXPECT_EQ(effect.Volume->Extent.X, 10.0f);
  EXPECT_EQ(effect.Volume->SpawnRange.Z, 10.0f);
  EXPECT_EQ(effect.Volume->Mode, TKGLVolume::kRespawn);
}

TEST(Particles, ModeKeywordsMatchExactly) {
  const std::pair<const char*, uint8_t> keywords[] = {
      {"forceback", TKGLVolume::kPullBack}, {"respawn", TKGLVolume::kRespawn},
      {"Respawn", TKGLVolume::kBounce},     {"FORCEBACK", TKGLVolume::kBounce},
      {"", TKGLVolume::kBounce},            {"die", TKGLVolume::kBounce}};
  for (const auto& [keyword, mode] : keywords) {
    TParticles effect;
    effect.B = keyword;
    effect.Load();
    EXPECT_EQ(effect.Volume->Mode, mode) << "'" << keyword << "'";
  }
}

TEST(Particles, NoParticlesDrawNoRandomNumbers) {
  RandomSeed = 77;
  TParticles effect;
  effect.F = 10;
  effect.VX = 5;
  effect.Load();
  EXPECT_EQ(RandomSeed, 77u);
  EXPECT_TRUE(effect.Volume->Particles.empty());
  effect.Volume->Update(0.5f);
  EXPECT_EQ(RandomSeed, 77u);

  TKGLVolume negative(-4, 1, 0);
  EXPECT_EQ(negative.ParticleCount(), 0);
  EXPECT_EQ(RandomSeed, 77u);
}

TEST(Particles, FacesBounceRespawnAndKill) {
  TKGLVolume volume(1, 10, 0);
  TParticle& p = volume.Particles[0];

  // Bounce at the x low face: on the face, only vx reversed.
  p.Position = {-9.5f, 1, 2};
  p.Velocity = {-10, 3, -4};
  volume.Step(0, 0.1f);
  EXPECT_EQ(p.Position.X, -10.0f);
  EXPECT_EQ(p.Velocity.X, 10.0f);
  EXPECT_FLOAT_EQ(p.Position.Y, 1.3f);
  EXPECT_FLOAT_EQ(p.Position.Z, 1.6f);
  EXPECT_EQ(p.Velocity.Y, 3.0f);
  EXPECT_EQ(p.Velocity.Z, -4.0f);
  // The high face of another axis.
  p.Position = {0, 9.9f, 0};
  p.Velocity = {0, 2, 1};
  volume.Step(0, 0.1f);
  EXPECT_EQ(p.Position.Y, 10.0f);
  EXPECT_EQ(p.Velocity.Y, -2.0f);
  EXPECT_EQ(p.Velocity.Z, 1.0f);

  // Respawn: leaving the box draws a new particle (13 draws), here at the centre.
  volume.Mode = TKGLVolume::kRespawn;
  volume.VelocityRange = {1, 1, 1};
  p.Position = {9.9f, 0, 0};
  p.Velocity = {5, 0, 0};
  const uint32_t seed = RandomSeed;
  volume.Step(0, 0.1f);
  const uint32_t afterRespawn = RandomSeed;
  RandomSeed = seed;
  const std::vector<long double> r = Draws(13);
  EXPECT_EQ(RandomSeed, afterRespawn);
  EXPECT_EQ(p.Position.X, 0.0f);
  EXPECT_EQ(p.Velocity.X, static_cast<float>(r[6] - r[7]));
  // Inside the box nothing is drawn.
  volume.Step(0, 0.01f);
  EXPECT_EQ(RandomSeed, afterRespawn);

  // Die: a dead particle stays where it left the box.
  volume.Mode = TKGLVolume::kDie;
  p.Position = {0, 0, -9.95f};
  p.Velocity = {0, 0, -1};
  volume.Step(0, 0.1f);
  EXPECT_EQ(p.Dead, 1);
  const float z = p.Position.Z;
  volume.Step(0, 1);
  EXPECT_EQ(p.Position.Z, z);

  // Pull back with no pull keeps the velocity, even in a flat box.
  TKGLVolume flat(1, 0, 0);
  flat.Mode = TKGLVolume::kPullBack;
  flat.Particles[0].Velocity = {1, 2, 3};
  flat.Step(0, 0.5f);
  EXPECT_EQ(flat.Particles[0].Velocity.X, 1.0f);
  EXPECT_EQ(flat.Particles[0].Position.Z, 1.5f);
}
