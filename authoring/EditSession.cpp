// The edit session: pause, seeks and loop on the demo clock, screenshots, reloads and the
// status line.
#include "authoring/EditSession.h"

#include "authoring/ScriptReload.h"
#include "authoring/SyncLink.h"
#include "demo/Capture.h"
#include "demo/Vorpane.h"

#include "effects/BitmapFont.h"
#include "effects/Draw2D.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/RenderTarget.h"
#include "sync/TrackFiles.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// Height of the status strip in pixels.
constexpr int32_t kStatusHeight = 22;

// The time a real-time run ends at: ENDTIME or the demotrack's last row (-1: no end).
float PlayEndTime(const TVDemo& demo) {
  float end = demo.EndTime > 0.0f ? demo.EndTime : -1.0f;
  const TDemoTracker* tracker = demo.Tracker;
  if (tracker && !tracker->Channels.empty() && tracker->BPM > 0.0f) {
    const float last = RowStartTime(*tracker, tracker->RowCount(0));
    if (end < 0.0f || last < end) end = last;
  }
  return end;
}

// The tempo the keyed tracks' rows follow (0: none).
float TrackBpm(const TVDemo& demo) { return demo.Tracker ? demo.Tracker->BPM : 0.0f; }

double SecondsNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

TEditSession::TEditSession(TVDemo& demo, const std::string& screenshotFolder)
    : demo_(demo),
      controls_(demo.PlayStartTime(), demo.PlayStartTime(), -1.0f),
      watcher_(demo.ScriptPath()),
      screenshotFolder_(screenshotFolder) {
  SetLimits(demo);
  WatchTrackFile(demo);
  demo.SetSession(this);
  // A modal box would take the keys until clicked: the author sees errors on the screen.
  dialogsBefore_ = DialogsEnabled();
  SetDialogsEnabled(false);
  errorScope_.emplace(
      [this](const TScriptLocation& where, const std::string& text) {
        const std::string at = ScriptLocationText(where);
        const std::string line = at.empty() ? text : at + ": " + text;
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
        NoteError(line);
      });
}

TEditSession::~TEditSession() {
  errorScope_.reset();
  SetDialogsEnabled(dialogsBefore_);
  demo_.SetSession(nullptr);
}

void TEditSession::NoteError(const std::string& line) {
  if (reloadMessage_.empty()) reloadMessage_ = line;
}

void TEditSession::SetLimits(const TVDemo& demo) {
  // Seeks reach back to the production's start even when the run started later.
  controls_.SetLimits(demo.PlayStartTime(), std::min(demo.PlayStartTime(), demo.StartTime),
                      PlayEndTime(demo));
}

void TEditSession::Reload(TVDemo& demo) {
  const float time = demo.Time;
  const bool showTimer = demo.ShowTimer;
  const auto start = std::chrono::steady_clock::now();
  std::string message;
  const bool ok = ReloadScript(demo, message);
  const double milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  reloadMessage_ = message;
  boxesSeen_ = ErrorBoxCount();
  if (ok) {
    std::fprintf(stderr, "vorpane: %s reloaded in %.0f ms\n", demo.ScriptFile.c_str(),
                 milliseconds);
    SetLimits(demo);
    if (sync_) {
      // The rebuilt tracks take the editor's keys again; new names are registered after the old.
      sync_->Register(demo.Tracks.UsedNames());
      sync_->ApplyEditorKeys(demo.Tracks.Set);
    }
  } else {
    std::fprintf(stderr, "vorpane: %s could not be read; the previous timeline plays on\n",
                 demo.ScriptFile.c_str());
  }
  if (timerChosen_) demo.ShowTimer = showTimer;
  // The demo goes on from the same time, paused or not, whatever the reload did to the clock
  // and the music.
  Seek(demo, time);
  demo.Clock.SetPaused(controls_.Paused());
}

void TEditSession::Seek(TVDemo& demo, float time) {
  demo.Clock.Seek(time);
  demo.Time = demo.Clock.Time();
}

void TEditSession::ConnectSync(const std::string& host, uint16_t port) {
  sync_ = std::make_unique<TSyncLink>(host, port);
  sync_->Register(demo_.Tracks.UsedNames());
}

void TEditSession::FollowSync(TVDemo& demo) {
  const TSyncRequests requests = sync_->Poll(demo.Tracks.Set, SecondsNow());
  if (requests.PauseGiven && requests.Paused != controls_.Paused()) {
    controls_.Press(TEditKey::PauseResume, demo.Time, demo.Tracker);
    demo.Clock.SetPaused(controls_.Paused());
  }
  const float bpm = TrackBpm(demo);
  if (requests.Seek && bpm > 0.0f) {
    // The first time whose row is the row sought, within the seeks' limits.
    float time = static_cast<float>(demo.Tracks.TimeOfRow(requests.Row, bpm));
    for (int step = 0; step < 8 && std::floor(demo.Tracks.RowAt(time, bpm)) < requests.Row; ++step)
      time = std::nextafter(time, INFINITY);
    time = std::max(time, controls_.FirstTime());
    if (controls_.LastTime() >= controls_.FirstTime()) time = std::min(time, controls_.LastTime());
    Seek(demo, time);
  }
  if (requests.Save) SaveTracks(demo);
}

void TEditSession::SaveTracks(const TVDemo& demo) const {
  const std::string script = demo.ScriptPath();
  const size_t slash = script.find_last_of('/');
  const std::string base =
      demo.Tracks.SaveBase(slash == std::string::npos ? std::string() : script.substr(0, slash));
  std::string error;
  if (demo.Tracks.Set.Size() == 0)
    std::fprintf(stderr, "vorpane: no tracks to save: the script uses none\n");
  else if (WriteTrackFiles(base, demo.Tracks.Set, error))
    std::fprintf(stderr, "vorpane: saved %zu tracks to %s_*.track\n", demo.Tracks.Set.Size(),
                 base.c_str());
  else
    std::fprintf(stderr, "vorpane: cannot save the tracks to %s_*.track: %s\n", base.c_str(),
                 error.c_str());
  std::fflush(stderr);
}

void TEditSession::BeforeFrame(TVDemo& demo) {
  if (sync_) FollowSync(demo);
  float loopStart = 0.0f, loopEnd = 0.0f;
  const bool looping = controls_.LoopTimes(demo.Tracker, &loopStart, &loopEnd);
  demo.Clock.SetLoop(looping, loopStart, loopEnd);
  if (demo.Clock.WrapLoop()) return;
  const float last = controls_.LastTime();
  if (last >= controls_.FirstTime() && demo.Clock.Time() > last) {
    // At the end an edit run holds the last frame, so the author can seek back.
    Seek(demo, last);
    if (controls_.Pause()) demo.Clock.SetPaused(true);
  }
}

void TEditSession::AfterFrame(TVDemo& demo, int32_t row) {
  if (screenshotRequested_) {
    screenshotRequested_ = false;
    WriteScreenshot(demo);
  }
  // Boxes raised since the last look (pictures that did not load, errors of the start-up).
  if (ErrorBoxCount() != boxesSeen_) {
    boxesSeen_ = ErrorBoxCount();
    const std::string& text = LastErrorBoxText();
    NoteError(text.substr(text.rfind('\n') + 1));
  }
  if (sync_ && !controls_.Paused())
    sync_->SendRow(demo.Tracks.RowAt(demo.Clock.ExactTime(), TrackBpm(demo)));
  const TRenderWindow& window = demo.Window;
  // The error line at the bottom, the status line above it.
  int32_t strips = 0;
  if (!reloadMessage_.empty()) {
    DrawRect({0.4f, 0, 0, 0.8f}, 0, 0, static_cast<float>(window.Width), kStatusHeight);
    PrintText(reloadMessage_.c_str(), 6, window.Height - 6, {1, 1, 1, 1});
    ++strips;
  }
  if (!controls_.Paused() && !controls_.LoopActive() && !sync_) return;
  std::string status = FormatEditStatus(controls_, demo.Time, row);
  if (sync_)
    status += (sync_->Connected() ? "  sync: connected " : "  sync: waiting for ") +
              sync_->Address();
  DrawRect({0, 0, 0, 0.7f}, 0, static_cast<float>(strips * kStatusHeight),
           static_cast<float>(window.Width), kStatusHeight);
  PrintText(status.c_str(), 6, window.Height - 6 - strips * kStatusHeight, {1, 1, 1, 1});
}

void TEditSession::AfterPresent(TVDemo& demo, const std::vector<TKeyPress>& keys) {
  bool reloadRequested = false;
  for (const TKeyPress& press : keys) {
    const TEditKey key = EditKeyFromPress(press.Key, press.Modifiers, press.Repeat);
    if (key == TEditKey::None) continue;
    const TEditActions actions = controls_.Press(key, demo.Time, demo.Tracker);
    if (actions.Seek) Seek(demo, actions.SeekTime);
    if (actions.PauseChanged) demo.Clock.SetPaused(controls_.Paused());
    if (actions.ToggleTimer) {
      demo.ShowTimer = !demo.ShowTimer;
      timerChosen_ = true;
    }
    if (actions.Screenshot) screenshotRequested_ = true;
    if (actions.Quit) demo.QuitRequested = true;
    if (actions.Reload) reloadRequested = true;
  }
  // F5 reloads at once; the file is looked at about once a second, and read once it has held
  // still for a moment. The version to read is taken before reading it, so that a save made
  // while it reads is read again.
  if (reloadRequested) watcher_.MarkRead();
  else reloadRequested = watcher_.Changed();
  // A track file saved by an editor is taken in by reading the script again.
  if (tracksWatcher_ && tracksWatcher_->Changed()) reloadRequested = true;
  if (reloadRequested) {
    Reload(demo);
    WatchTrackFile(demo);
  }
}

void TEditSession::WatchTrackFile(const TVDemo& demo) {
  const TDemoTracks& tracks = demo.Tracks;
  const bool wanted = !tracks.Path.empty() && !tracks.TrackFileBase;
  if (!wanted) {
    tracksWatcher_.reset();
    watchedTracks_.clear();
  } else if (tracks.Path != watchedTracks_) {
    tracksWatcher_.emplace(tracks.Path);
    watchedTracks_ = tracks.Path;
  }
}

void TEditSession::WriteScreenshot(const TVDemo& demo) const {
  std::string folder = screenshotFolder_;
  if (folder.empty()) folder = ".";
  const std::string stem = folder + "/vorpane-" + FormatHundredths(demo.Time);
  // A paused frame can be written more than once at the same time: later ones get a number.
  std::string name = stem + ".png";
  for (int n = 2; FileExists(name) && n < 10000; ++n)
    name = stem + "-" + std::to_string(n) + ".png";
  std::vector<uint8_t> rgb;
  // The frame as drawn: at the window's scale when it shows the production scaled.
  int32_t width = 0, height = 0;
  if (ReadContentRGB(rgb, width, height) && WritePngRGB(name, rgb.data(), width, height)) {
    std::fprintf(stderr, "vorpane: frame at %s s written to %s\n",
                 FormatHundredths(demo.Time).c_str(), name.c_str());
  } else {
    std::fprintf(stderr, "vorpane: cannot write the frame to %s\n", name.c_str());
  }
}
