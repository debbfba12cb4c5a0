// TDemoClock: the one owner of the demo time. Real-time play runs on the timer from a start
// time at a speed, or follows the position of the music it plays; it pauses, seeks, changes
// speed and wraps a loop without a jump, and steers the music along. A fixed-step run (capture,
// benchmark, the catch-up before a range) sets each frame's exact time instead.
#pragma once
#include "platform/Timer.h"

#include <cstdint>

class TDemoClock {
 public:
  // Real-time play from `start` at `speed`: the timer's zero is now, nothing is paused.
  void Start(float start, float speed);
  // The playing music stream whose position is the demo time (0: the timer alone).
  void FollowMusic(uint32_t stream) { music_ = stream; }
  // A real-time frame: the music's position, the held time while paused, or the timer's time;
  // the frame's duration is the time since the previous frame.
  void Tick();
  // A fixed-step frame at an exact time, lasting `duration` seconds.
  void Step(double time, float duration);

  // This frame's demo time, as exact as it was set.
  double ExactTime() const { return time_; }
  // This frame's demo time.
  float Time() const { return static_cast<float>(time_); }
  // How long this frame lasts for effects that step by it: 0 while paused and after a seek.
  float FrameDuration() const { return paused_ ? 0.0f : duration_; }
  // True while the time is held.
  bool Paused() const { return paused_; }

  // Goes to a time at once; the frame of the seek has no length and the music moves along.
  void Seek(float time);
  // Holds the time (the music stops where the demo is) or lets it run on from there.
  void SetPaused(bool paused);
  // From this frame's time, runs on at another speed (a script read again).
  void ContinueFrom(float time, float speed);
  // Plays from `from` again once the time reaches `to`; `on` false ends the loop.
  void SetLoop(bool on, float from, float to);
  // Seeks to the loop's start when this frame's time reached the loop's end; true when it did.
  bool WrapLoop();

 private:
  TKTimer timer_;
  double time_ = 0.0;
  float duration_ = 0.0f;
  float base_ = 0.0f;         // demo time at anchor_
  float anchor_ = 0.0f;       // timer reading when the demo time was last set
  float lastElapsed_ = 0.0f;  // timer reading of the last real-time frame
  float speed_ = 1.0f;
  bool paused_ = false;
  uint32_t music_ = 0;
  bool loop_ = false;
  float loopFrom_ = 0.0f, loopTo_ = 0.0f;
};
