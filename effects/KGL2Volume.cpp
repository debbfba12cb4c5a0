#include "effects/KGL2Volume.h"

#include "effects/Draw2D.h"

namespace {

float& Axis(TVec3& v, int a) { return a == 0 ? v.X : a == 1 ? v.Y : v.Z; }
float Axis(const TVec3& v, int a) { return a == 0 ? v.X : a == 1 ? v.Y : v.Z; }

// The six face tests in the order x low, y low, z low, x high, y high, z high. `outside` is
// called for each face the particle is beyond, with the axis and the face's coordinate; the
// later tests look at the position as the earlier ones left it.
template <class Outside>
void TestFaces(const TVec3& centre, const TVec3& extent, const TParticle& p, Outside outside) {
  for (int a = 0; a < 3; ++a) {
    const float low = Axis(centre, a) - Axis(extent, a);
    if (low > Axis(p.Position, a)) outside(a, low);
  }
  for (int a = 0; a < 3; ++a) {
    const float high = Axis(centre, a) + Axis(extent, a);
    if (!(high >= Axis(p.Position, a))) outside(a, high);
  }
}

}  // namespace

TKGLVolume::TKGLVolume(int32_t count, float boxSize, float sizeRange)
    : Particles(static_cast<size_t>(count > 0 ? count : 0)),
      Extent{boxSize, boxSize, boxSize},
      SizeRange(sizeRange) {
  RespawnAll();
}

void TKGLVolume::Respawn(int32_t i) {
  TParticle& p = Particles[static_cast<size_t>(i)];
  TVec3 offset;
  RandomVec3(offset, SpawnRange.X, SpawnRange.Y, SpawnRange.Z);
  AddVec3(Centre, offset, p.Position);
  RandomVec3(p.Velocity, VelocityRange.X, VelocityRange.Y, VelocityRange.Z);
  p.SizeOffset = static_cast<float>(UniformRandom() * SizeRange + SizeBase);
  p.Dead = 0;
}

void TKGLVolume::RespawnAll() {
  for (int32_t i = 0; i < ParticleCount(); ++i) Respawn(i);
}

void TKGLVolume::Resize(int32_t count) {
  const int32_t before = ParticleCount();
  Particles.resize(static_cast<size_t>(count > 0 ? count : 0));
  for (int32_t i = before; i < ParticleCount(); ++i) Respawn(i);
}

void TKGLVolume::Step(int32_t i, float dt) {
  TParticle& p = Particles[static_cast<size_t>(i)];
  if (p.Dead) return;
  for (int a = 0; a < 3; ++a)
    Axis(p.Position, a) =
        static_cast<float>(Axis(p.Position, a) + static_cast<long double>(Axis(p.Velocity, a)) * dt);
  switch (Mode) {
    case kBounce:
      TestFaces(Centre, Extent, p, [&p](int a, float face) {
        Axis(p.Position, a) = face;
        Axis(p.Velocity, a) = -Axis(p.Velocity, a);
      });
      break;
    case kPullBack:
      for (int a = 0; a < 3; ++a) {
        // A flat box (half-width 0) has nothing to pull towards; skipping it keeps the
        // velocity finite instead of 0/0.
        if (Axis(Extent, a) == 0) continue;
        Axis(p.Velocity, a) = static_cast<float>(
            Axis(p.Velocity, a) + static_cast<long double>(Axis(Centre, a) - Axis(p.Position, a)) *
                                      Pull * dt / Axis(Extent, a));
      }
      break;
    case kRespawn:
      TestFaces(Centre, Extent, p, [this, i](int, float) { Respawn(i); });
      break;
    case kDie:
      TestFaces(Centre, Extent, p, [&p](int, float) { p.Dead = 1; });
      break;
    default:
      break;
  }
}

void TKGLVolume::Update(float dt) {
  for (int32_t i = 0; i < ParticleCount(); ++i) Step(i, dt);
}

void TKGLVolume::DrawParticles(float size) const {
  for (const TParticle& p : Particles) DrawBillboard(p.Position, size + p.SizeOffset);
}
