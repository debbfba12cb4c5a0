// TKTimer: the demo's running time and the duration of each frame, on SDL's performance
// counter. Differences are taken in 64-bit ticks and only the result is rounded to a float,
// so the clock keeps its resolution however long the machine has been up.
#pragma once
#include <cstdint>

// Where the timer reads its ticks. Zero-initialised means SDL's performance counter;
// tests inject their own counter.
struct TTickSource {
  uint64_t (*Counter)(void* context) = nullptr;   // current tick count
  uint64_t (*Frequency)(void* context) = nullptr; // ticks per second; 0 = no counter
  void* Context = nullptr;
};

class TKTimer {
 public:
  explicit TKTimer(TTickSource source = TTickSource());

  // One counter reading in seconds since the counter's origin (a float: for display only).
  float Now() const;
  // Marks time zero.
  void Start();
  // Seconds since Start; also sets FrameDuration to the time since the previous Elapsed.
  float Elapsed();

  float SecondsPerTick = 0.0f;  // length of one tick in seconds
  bool HighResolution = false;  // true: the performance counter; false: a millisecond count
  uint64_t StartMark = 0;       // tick reading at Start
  uint64_t LastMark = 0;        // tick reading at the previous Elapsed
  float FrameDuration = 0.0f;   // seconds between the last two Elapsed calls

 private:
  uint64_t Ticks() const;
  float TicksToSeconds(uint64_t ticks) const;

  TTickSource source_;
  uint64_t ticksPerSecond_ = 1000;
};
