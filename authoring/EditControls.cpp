#include "authoring/EditControls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The tempo used when the demotrack has none, so the seek keys still move.
constexpr float kFallbackBpm = 120.0f;

const TDemoTracker& TempoOf(const TDemoTracker* tracker, TDemoTracker& fallback) {
  if (tracker && tracker->BPM > 0.0f) return *tracker;
  fallback.BPM = kFallbackBpm;
  return fallback;
}

int32_t SeekRows(TEditKey key) {
  switch (key) {
    case TEditKey::BeatBack: return -4;
    case TEditKey::BeatForward: return 4;
    case TEditKey::BarBack: return -16;
    case TEditKey::BarForward: return 16;
    case TEditKey::PageBack: return -64;
    case TEditKey::PageForward: return 64;
    default: return 0;
  }
}

}  // namespace

TEditKey EditKeyFromPress(SDL_Keycode key, uint16_t modifiers, bool repeat) {
  const bool shift = (modifiers & KMOD_SHIFT) != 0;
  switch (key) {
    case SDLK_LEFT: return shift ? TEditKey::BarBack : TEditKey::BeatBack;
    case SDLK_RIGHT: return shift ? TEditKey::BarForward : TEditKey::BeatForward;
    case SDLK_PAGEUP: return TEditKey::PageBack;
    case SDLK_PAGEDOWN: return TEditKey::PageForward;
    default: break;
  }
  if (repeat) return TEditKey::None;
  switch (key) {
    case SDLK_SPACE: return TEditKey::PauseResume;
    case SDLK_HOME: return TEditKey::Home;
    case SDLK_LEFTBRACKET: return TEditKey::MarkLoopStart;
    case SDLK_RIGHTBRACKET: return TEditKey::MarkLoopEnd;
    case SDLK_l: return TEditKey::ToggleLoop;
    case SDLK_t: return TEditKey::ToggleTimer;
    case SDLK_F12: return TEditKey::Screenshot;
    case SDLK_F5: return TEditKey::Reload;
    case SDLK_ESCAPE: return TEditKey::Quit;
    default: return TEditKey::None;
  }
}

TEditControls::TEditControls(float homeTime, float firstTime, float lastTime)
    : homeTime_(homeTime), firstTime_(firstTime), lastTime_(lastTime) {}

float TEditControls::Clamp(float time) const {
  if (lastTime_ >= firstTime_) time = std::min(time, lastTime_);
  return std::max(time, firstTime_);
}

TEditActions TEditControls::Press(TEditKey key, float now, const TDemoTracker* tracker) {
  TDemoTracker fallback;
  const TDemoTracker& tempo = TempoOf(tracker, fallback);
  TEditActions actions;
  if (const int32_t rows = SeekRows(key)) {
    // Seeks move by the rows' length in seconds, so the time within a row is kept.
    const float seconds = tempo.RowToTime(std::abs(rows));
    actions.Seek = true;
    actions.SeekTime = Clamp(rows > 0 ? now + seconds : now - seconds);
    return actions;
  }
  switch (key) {
    case TEditKey::PauseResume:
      paused_ = !paused_;
      actions.PauseChanged = true;
      break;
    case TEditKey::Home:
      actions.Seek = true;
      actions.SeekTime = Clamp(homeTime_);
      break;
    case TEditKey::MarkLoopStart:
      hasLoopStart_ = true;
      loopStart_ = tempo.TimeToRow(now);
      break;
    case TEditKey::MarkLoopEnd:
      hasLoopEnd_ = true;
      loopEnd_ = tempo.TimeToRow(now);
      break;
    case TEditKey::ToggleLoop: looping_ = !looping_; break;
    case TEditKey::ToggleTimer: actions.ToggleTimer = true; break;
    case TEditKey::Screenshot: actions.Screenshot = true; break;
    case TEditKey::Reload: actions.Reload = true; break;
    case TEditKey::Quit: actions.Quit = true; break;
    default: break;
  }
  return actions;
}

bool TEditControls::LoopRange(int32_t* first, int32_t* last) const {
  if (!hasLoopStart_ || !hasLoopEnd_) return false;
  *first = std::min(loopStart_, loopEnd_);
  *last = std::max(loopStart_, loopEnd_);
  return true;
}

bool TEditControls::LoopActive() const {
  int32_t first = 0, last = 0;
  return looping_ && LoopRange(&first, &last) && first < last;
}

bool TEditControls::LoopTimes(const TDemoTracker* tracker, float* from, float* to) const {
  int32_t first = 0, last = 0;
  if (!LoopActive() || !LoopRange(&first, &last)) return false;
  TDemoTracker fallback;
  const TDemoTracker& tempo = TempoOf(tracker, fallback);
  *from = RowStartTime(tempo, first);
  *to = RowStartTime(tempo, last);
  return true;
}

bool TEditControls::LoopWrap(float now, const TDemoTracker* tracker, float* to) const {
  float from = 0.0f, end = 0.0f;
  if (!LoopTimes(tracker, &from, &end) || now < end) return false;
  *to = from;
  return true;
}

bool TEditControls::Pause() {
  if (paused_) return false;
  paused_ = true;
  return true;
}

void TEditControls::SetLimits(float homeTime, float firstTime, float lastTime) {
  homeTime_ = homeTime;
  firstTime_ = firstTime;
  lastTime_ = lastTime;
}

float RowStartTime(const TDemoTracker& tracker, int32_t row) {
  float time = tracker.RowToTime(row);
  // A few float steps at most; bounded so that a tempo of no precision cannot hold us here.
  for (int step = 0; step < 64 && std::isfinite(time) && tracker.TimeToRow(time) < row; ++step)
    time = std::nextafter(time, INFINITY);
  return time;
}

std::string FormatRowPosition(int32_t row) {
  return std::to_string(row / 64) + ":" + std::to_string((row / 16) % 4) + ":" +
         std::to_string((row / 4) % 4) + ":" + std::to_string(row % 4);
}

std::string FormatHundredths(float seconds) {
  // Whole hundredths, so the text does not depend on the C library's locale.
  const double hundredths = std::round(static_cast<double>(seconds) * 100.0);
  if (!(std::fabs(hundredths) < 9.0e15)) return "0.00";
  const long long whole = static_cast<long long>(std::fabs(hundredths));
  char text[48];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", hundredths < 0 ? "-" : "", whole / 100,
                whole % 100);
  return text;
}

std::string FormatEditStatus(const TEditControls& controls, float time, int32_t row) {
  std::string status = controls.Paused() ? "PAUSED" : controls.LoopActive() ? "LOOP" : "PLAY";
  status += "  " + FormatHundredths(time) + " s  row " + FormatRowPosition(row);
  int32_t first = 0, last = 0;
  if (controls.LoopRange(&first, &last))
    status += std::string("  loop ") + FormatRowPosition(first) + " - " + FormatRowPosition(last) +
              (controls.LoopActive() ? "" : " (off)");
  return status;
}
