#include "demo/DemoClock.h"

#include "platform/KestoBASS.h"

void TDemoClock::Start(float start, float speed) {
  timer_.Start();
  time_ = base_ = start;
  anchor_ = lastElapsed_ = 0.0f;
  speed_ = speed;
  paused_ = false;
}

void TDemoClock::Tick() {
  lastElapsed_ = timer_.Elapsed();
  duration_ = timer_.FrameDuration;
  if (music_) time_ = StreamPosition(music_);
  else time_ = paused_ ? base_ : base_ + (lastElapsed_ - anchor_) * speed_;
}

void TDemoClock::Step(double time, float duration) {
  time_ = time;
  duration_ = duration;
}

void TDemoClock::Seek(float time) {
  time_ = base_ = time;
  anchor_ = timer_.Elapsed();
  duration_ = 0.0f;
  if (music_) SetStreamPosition(music_, time);
}

void TDemoClock::SetPaused(bool paused) {
  // The held clock keeps the time it shows; running again goes on from there.
  base_ = Time();
  anchor_ = timer_.Elapsed();
  paused_ = paused;
  if (!music_) return;
  if (paused) {
    PauseStream(music_);
    SetStreamPosition(music_, Time());
  } else {
    PlayStream(music_);
  }
}

void TDemoClock::ContinueFrom(float time, float speed) {
  time_ = base_ = time;
  anchor_ = lastElapsed_;
  speed_ = speed;
}

void TDemoClock::SetLoop(bool on, float from, float to) {
  loop_ = on;
  loopFrom_ = from;
  loopTo_ = to;
}

bool TDemoClock::WrapLoop() {
  if (!loop_ || Time() < loopTo_) return false;
  Seek(loopFrom_);
  return true;
}
