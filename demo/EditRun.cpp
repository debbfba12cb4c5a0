// The edit run (--edit): the run loop's demo clock pauses and seeks with the keys, the music
// follows it, F12 writes the frame and a status line is drawn over paused or looping play.
#include "demo/Capture.h"
#include "demo/EditControls.h"
#include "demo/ScriptWatcher.h"
#include "demo/Vorpane.h"

#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"
#include "platform/KestoBASS.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// Height of the status strip in pixels.
constexpr int32_t kStatusHeight = 22;

}  // namespace

void TVDemo::StartEdit() {
  edit_ = std::make_unique<TEditControls>(StartTime, StartTime, -1.0f);
  SetEditLimits();
  editBase_ = StartTime;
  editAnchor_ = 0.0f;
  scriptWatcher_ = std::make_unique<TScriptWatcher>(ScriptPath());
}

void TVDemo::SetEditLimits() {
  // Seeks reach back to the production's start even when the run started later.
  edit_->SetLimits(StartTime, std::min(StartTime, scriptStartTime_), PlayEndTime());
}

void TVDemo::ReloadEditScript() {
  const float time = Time;
  const bool showTimer = ShowTimer;
  const auto start = std::chrono::steady_clock::now();
  std::string message;
  const bool ok = ReloadScript(message);
  const double milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  reloadMessage_ = message;
  if (ok) {
    std::fprintf(stderr, "vorpane: %s reloaded in %.0f ms\n", ScriptFile.c_str(), milliseconds);
    scriptStartTime_ = StartTime;
    if (options_.HasStart) StartTime = options_.Start;
    SetEditLimits();
  } else {
    std::fprintf(stderr, "vorpane: %s could not be read; the previous timeline plays on\n",
                 ScriptFile.c_str());
  }
  if (timerChosen_) ShowTimer = showTimer;
  // The demo goes on from the same time, paused or not, whatever the reload did to the clocks.
  EditSeek(time);
  if (MusicLoaded) {
    if (edit_->Paused()) PauseStream(Music);
    else PlayStream(Music);
  }
}

void TVDemo::UpdateEditTime() {
  const float elapsed = Timer->Elapsed();
  if (MusicLoaded) {
    // The music is the clock; pausing and seeking it moves the demo with it.
    Time = StreamPosition(Music);
    FetchSpectrum(Music, SpectrumData);
    return;
  }
  Time = edit_->Paused() ? editBase_ : editBase_ + (elapsed - editAnchor_) * Speed;
}

void TVDemo::EditSeek(float time) {
  Time = time;
  editBase_ = time;
  editAnchor_ = Timer->Elapsed();
  // The seek's own frame has no length: effects stepping by it do not jump.
  Timer->FrameDuration = 0.0f;
  if (MusicLoaded) SetStreamPosition(Music, time);
}

void TVDemo::EditBeforeFrame() {
  float loopStart = 0.0f;
  if (edit_->LoopWrap(Time, Tracker, &loopStart)) {
    EditSeek(loopStart);
    return;
  }
  const float last = edit_->LastTime();
  if (last >= edit_->FirstTime() && Time > last) {
    // At the end an edit run holds the last frame, so the author can seek back.
    EditSeek(last);
    if (edit_->Pause() && MusicLoaded) PauseStream(Music);
  }
}

void TVDemo::EditAfterFrame(int32_t row) {
  if (screenshotRequested_) {
    screenshotRequested_ = false;
    WriteScreenshot();
  }
  // The reload's error line at the bottom, the status line above it.
  int32_t strips = 0;
  if (!reloadMessage_.empty()) {
    DrawRect({0.4f, 0, 0, 0.8f}, 0, 0, static_cast<float>(Window.Width), kStatusHeight);
    PrintText(reloadMessage_.c_str(), 6, Window.Height - 6, {1, 1, 1, 1});
    ++strips;
  }
  if (!edit_->Paused() && !edit_->LoopActive()) return;
  const std::string status = FormatEditStatus(*edit_, Time, row);
  DrawRect({0, 0, 0, 0.7f}, 0, static_cast<float>(strips * kStatusHeight),
           static_cast<float>(Window.Width), kStatusHeight);
  PrintText(status.c_str(), 6, Window.Height - 6 - strips * kStatusHeight, {1, 1, 1, 1});
}

void TVDemo::ApplyEditKeys() {
  bool reloadRequested = false;
  for (const TKeyPress& press : keyPresses_) {
    const TEditKey key = EditKeyFromPress(press.Key, press.Modifiers, press.Repeat);
    if (key == TEditKey::None) continue;
    const TEditActions actions = edit_->Press(key, Time, Tracker);
    if (actions.Seek) EditSeek(actions.SeekTime);
    if (actions.PauseChanged) {
      // The paused clock holds the time it shows; resuming runs on from there.
      editBase_ = Time;
      editAnchor_ = Timer->Elapsed();
      if (MusicLoaded) {
        if (edit_->Paused()) {
          PauseStream(Music);
          SetStreamPosition(Music, Time);
        } else {
          PlayStream(Music);
        }
      }
    }
    if (actions.ToggleTimer) {
      ShowTimer = !ShowTimer;
      timerChosen_ = true;
    }
    if (actions.Screenshot) screenshotRequested_ = true;
    if (actions.Quit) QuitRequested = true;
    if (actions.Reload) reloadRequested = true;
  }
  keyPresses_.clear();
  // The file is looked at about once a second; F5 reloads at once.
  if (scriptWatcher_->Changed()) reloadRequested = true;
  if (reloadRequested) {
    ReloadEditScript();
    scriptWatcher_->MarkRead();
  }
}

void TVDemo::WriteScreenshot() {
  std::string folder = options_.ScreenshotFolder;
  if (folder.empty()) folder = ".";
  const std::string stem = folder + "/vorpane-" + FormatHundredths(Time);
  // A paused frame can be written more than once at the same time: later ones get a number.
  std::string name = stem + ".png";
  for (int n = 2; ::access(name.c_str(), F_OK) == 0 && n < 10000; ++n)
    name = stem + "-" + std::to_string(n) + ".png";
  std::vector<uint8_t> rgb;
  if (ReadFrameRGB(Window.Width, Window.Height, rgb) &&
      WritePngRGB(name, rgb.data(), Window.Width, Window.Height)) {
    std::fprintf(stderr, "vorpane: frame at %s s written to %s\n", FormatHundredths(Time).c_str(),
                 name.c_str());
  } else {
    std::fprintf(stderr, "vorpane: cannot write the frame to %s\n", name.c_str());
  }
}
