#include "platform/Timer.h"

#include <SDL2/SDL.h>

namespace {

uint64_t SdlCounter(void*) { return SDL_GetPerformanceCounter(); }
uint64_t SdlFrequency(void*) { return SDL_GetPerformanceFrequency(); }
uint64_t SdlMilliseconds(void*) { return SDL_GetTicks64(); }

}  // namespace

TKTimer::TKTimer(TTickSource source) : source_(source) {
  if (!source_.Counter) {
    source_.Counter = SdlCounter;
    source_.Frequency = SdlFrequency;
  }
  const uint64_t frequency = source_.Frequency ? source_.Frequency(source_.Context) : 0;
  if (frequency != 0) {
    HighResolution = true;
    ticksPerSecond_ = frequency;
  } else {
    // No performance counter: fall back to a millisecond count.
    HighResolution = false;
    ticksPerSecond_ = 1000;
    if (source_.Counter == SdlCounter) source_.Counter = SdlMilliseconds;
  }
  SecondsPerTick = static_cast<float>(1.0 / static_cast<double>(ticksPerSecond_));
}

uint64_t TKTimer::Ticks() const { return source_.Counter(source_.Context); }

float TKTimer::TicksToSeconds(uint64_t ticks) const {
  return static_cast<float>(static_cast<double>(ticks) / static_cast<double>(ticksPerSecond_));
}

float TKTimer::Now() const { return TicksToSeconds(Ticks()); }

void TKTimer::Start() {
  StartMark = Ticks();
  LastMark = StartMark;
}

float TKTimer::Elapsed() {
  const uint64_t sinceStart = Ticks() - StartMark;
  const uint64_t now = Ticks();
  FrameDuration = TicksToSeconds(now - LastMark);
  LastMark = now;
  return TicksToSeconds(sinceStart);
}
