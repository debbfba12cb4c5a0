// Reading the script again while the demo runs: the new timeline is built in place of the old
// one, which is kept aside whole and put back when the script cannot be read at all.
#include "authoring/ScriptReload.h"

#include "demo/ScriptHost.h"
#include "demo/ScriptMessages.h"
#include "demo/Vorpane.h"

#include "engine/KGL2Textures.h"
#include "engine/PairTextures.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/KestoBASS.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace {

const char kEmptyScriptText[] =
    "The script is empty (an editor may be writing it): the previous timeline plays on";

// "FILE:LINE: text", or "FILE: text" when no line is known.
std::string LocatedText(const TScriptLocation& where, const std::string& text) {
  std::string located = where.File;
  if (where.Line > 0) located += ":" + std::to_string(where.Line);
  return located + ": " + text;
}

// The last line of a text (an error box's description line).
std::string LastLine(const std::string& text) {
  const size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

// While it lives, script errors go to stderr with their line, the first is kept for the screen,
// and error boxes (pictures that do not load) are not shown.
class TReloadErrors {
 public:
  TReloadErrors()
      : boxesBefore_(ErrorBoxCount()),
        dialogs_(DialogsEnabled()),
        scope_([this](const TScriptLocation& where, const std::string& text) {
          Add(LocatedText(where, text));
        }) {
    SetDialogsEnabled(false);
  }
  ~TReloadErrors() { SetDialogsEnabled(dialogs_); }
  TReloadErrors(const TReloadErrors&) = delete;
  TReloadErrors& operator=(const TReloadErrors&) = delete;

  // Writes one error to stderr; the first becomes the message.
  void Add(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (first_.empty()) first_ = line;
  }
  // The first error, or the last error box's description when only boxes were raised.
  std::string First() const {
    if (!first_.empty() || ErrorBoxCount() == boxesBefore_) return first_;
    return LastLine(LastErrorBoxText());
  }

 private:
  int boxesBefore_;
  bool dialogs_;
  TScriptErrorScope scope_;
  std::string first_;
};

// The reader's host while reloading: the window and the loading screen stay as they are; the
// same music file keeps the playing stream, another one is opened aside and takes over when the
// reload succeeds.
class TReloadHost : public TScriptHost {
 public:
  TReloadHost() = default;
  ~TReloadHost() override {
    if (pending_) FreeStream(pending_);
  }
  TReloadHost(const TReloadHost&) = delete;
  TReloadHost& operator=(const TReloadHost&) = delete;

  // A script without a single command is a file caught while an editor writes it (or emptied
  // by mistake): it never replaces a timeline.
  void BeforeRead(TVDemo&, const std::vector<std::string>& lines) override {
    TParser parser;
    for (const std::string& line : lines) {
      ParseLine(parser, line);
      if (!parser.Tokens[0].empty()) return;
    }
    throw FatalError(kEmptyScriptText);
  }
  void Init(TVDemo&) override {}
  void DrawLoading(TVDemo&) override {}
  void LoadMusic(TVDemo& demo, const std::string& fileName) override {
    const bool sameFile = fileName == (pending_ ? pendingFile_ : demo.MusicFile);
    if (sameFile && (demo.MusicLoaded || pending_)) return;
    const uint32_t music = demo.OpenMusic(fileName);
    if (music == 0) return;
    if (pending_) FreeStream(pending_);
    pending_ = music;
    pendingFile_ = fileName;
  }

  // After a reload: the new music plays from the demo time, the speed follows the script, and
  // the clock goes on from the same demo time.
  void KeepDemoTime(TVDemo& demo, float previousSpeed);

 private:
  uint32_t pending_ = 0;  // a stream opened aside, not yet playing
  std::string pendingFile_;
};

void TReloadHost::KeepDemoTime(TVDemo& demo, float previousSpeed) {
  const bool fixedStep = demo.Options().FixedStep;
  if (pending_) {
    const uint32_t previous = demo.MusicLoaded ? demo.Music : 0;
    demo.Music = pending_;
    demo.MusicFile = pendingFile_;
    demo.MusicLoaded = true;
    pending_ = 0;
    SetStreamPosition(demo.Music, demo.Time);
    SetStreamSpeed(demo.Music, demo.Speed);
    if (!fixedStep) {
      PlayStream(demo.Music);
      demo.Clock.FollowMusic(demo.Music);
    }
    if (previous) FreeStream(previous);
  } else if (demo.MusicLoaded && demo.Speed != previousSpeed && previousSpeed > 0.0f) {
    // The stream's speed is a factor on its current rate.
    SetStreamSpeed(demo.Music, demo.Speed / previousSpeed);
  }
  if (!fixedStep) demo.Clock.ContinueFrom(demo.Time, demo.Speed);
}

}  // namespace

bool ReloadScript(TVDemo& demo, std::string& message) {
  message.clear();
  TReloadErrors errors;
  const bool quitBefore = demo.QuitRequested;
  const float previousSpeed = demo.Speed;
  // The old timeline waits here whole, with the default settings taking its place.
  TDemoScript previous = std::exchange(demo.Script(), TDemoScript());
  TReloadHost host;
  // Effects of the new timeline may take over the JPEG pair textures of the old one.
  OfferPairTexturesForReuse();
  bool ok = true;
  try {
    // Read as at start-up: the script's name is relative to the start folder, the process's
    // current folder; its own names resolve from the new timeline's read context.
    SetScriptLocation({demo.ScriptFile, 0});
    demo.LoadScript(demo.ScriptFile, host);
    SetScriptLocation({demo.ScriptFile, 0});
    if (demo.Tracker == nullptr && !demo.Bars.empty())
      throw FatalError(std::string(kBarsWithoutTracker) + ": the previous timeline stays");
    demo.LoadEffects();
  } catch (const std::exception& error) {
    errors.Add(LocatedText(CurrentScriptLocation(), error.what()));
    ok = false;
  }
  EndPairTextureReuse();
  // A reload error is for the author to fix: it does not end the session the way a failing
  // effect ends a plain run.
  demo.QuitRequested = quitBefore;
  message = errors.First();
  if (!ok) {
    // The new effects go, and the old timeline plays on as it was (with its read context).
    demo.Script() = std::move(previous);
    return false;
  }
  host.KeepDemoTime(demo, previousSpeed);
  // Read, but nothing left to draw: said, so that a black picture has a reason.
  if (demo.Bars.empty() && !previous.Bars.empty()) {
    errors.Add(LocatedText({demo.ScriptFile, 0},
                           "The script has no bars any more: nothing is drawn"));
    message = errors.First();
  }
  // The old effects (with the GL objects they own), and the pictures only they drew, go now.
  previous = TDemoScript();
  ReleaseSupersededTextures();
  return true;
}
