// The keys of an edit run (--edit) as a state machine without a window: pause, seeks, loop marks
// and the requests (timer overlay, screenshot, reload, quit) the run loop carries out. Rows and
// seconds are converted through the demotrack's tempo.
#pragma once
#include "demo/Tracker.h"

#include <SDL2/SDL.h>

#include <cstdint>
#include <string>

enum class TEditKey {
  None,
  PauseResume,    // Space
  BeatBack,       // Left: 4 rows
  BeatForward,    // Right
  BarBack,        // Shift+Left: 16 rows
  BarForward,     // Shift+Right
  PageBack,       // Page Up: 64 rows
  PageForward,    // Page Down
  Home,           // back to the start time
  MarkLoopStart,  // [
  MarkLoopEnd,    // ]
  ToggleLoop,     // L
  ToggleTimer,    // T
  Screenshot,     // F12
  Reload,         // F5
  Quit,           // Escape
};

// The edit key of a key press. A held key's repeats give only the seeks.
TEditKey EditKeyFromPress(SDL_Keycode key, uint16_t modifiers, bool repeat);

// What the run loop is to do after a key.
struct TEditActions {
  bool Seek = false;          // move the demo time (and the music) to SeekTime
  float SeekTime = 0.0f;
  bool PauseChanged = false;  // Paused() changed: stop or restart the music
  bool ToggleTimer = false;
  bool Screenshot = false;
  bool Reload = false;
  bool Quit = false;
};

class TEditControls {
 public:
  // homeTime: where Home goes; seeks stay within [firstTime, lastTime] (lastTime < firstTime:
  // no end).
  TEditControls(float homeTime, float firstTime, float lastTime);

  // Applies one key at demo time `now`; the tracker's tempo sizes the seeks (120 BPM when it is
  // null or has no tempo).
  TEditActions Press(TEditKey key, float now, const TDemoTracker* tracker);
  // When looping and `now` has reached the loop end: true, with the loop start in *to.
  bool LoopWrap(float now, const TDemoTracker* tracker, float* to) const;
  // When looping: true, with the times the loop starts and ends at.
  bool LoopTimes(const TDemoTracker* tracker, float* from, float* to) const;
  // Pauses (at the end of the demo); true when it was playing.
  bool Pause();
  // New limits (a reloaded script); pause and loop marks stay.
  void SetLimits(float homeTime, float firstTime, float lastTime);

  bool Paused() const { return paused_; }
  // Looping is on and both marks make a range of at least one row.
  bool LoopActive() const;
  // The loop range in rows, first <= last (the marks in either order); false without both marks.
  bool LoopRange(int32_t* first, int32_t* last) const;
  // The times seeks stay within.
  float FirstTime() const { return firstTime_; }
  float LastTime() const { return lastTime_; }

 private:
  float Clamp(float time) const;

  float homeTime_, firstTime_, lastTime_;
  bool paused_ = false;
  bool looping_ = false;
  bool hasLoopStart_ = false, hasLoopEnd_ = false;
  int32_t loopStart_ = 0, loopEnd_ = 0;
};

// The time a row starts at: RowToTime, moved up past float rounding so that the row of the
// returned time is the row itself.
float RowStartTime(const TDemoTracker& tracker, int32_t row);
// A row as a:b:c:d (64, 16, 4 and 1 rows), the numbers MOUNT takes.
std::string FormatRowPosition(int32_t row);
// Seconds with two decimals and a point ("12.35"), whatever the locale.
std::string FormatHundredths(float seconds);
// The status line of an edit run: state, time, row and the loop range when one is marked.
std::string FormatEditStatus(const TEditControls& controls, float time, int32_t row);
