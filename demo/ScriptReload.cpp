// Reading the script again while the demo runs: the new timeline is built in place of the old
// one, which is kept aside and put back when the script cannot be read at all.
#include "demo/Vorpane.h"

#include "engine/KGL2Textures.h"
#include "engine/PairTextures.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/KestoBASS.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <utility>

namespace {

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
      : boxesBefore_(ErrorBoxCount()), dialogs_(DialogsEnabled()) {
    SetDialogsEnabled(false);
    previous_ = SetScriptErrorHandler(
        [this](const TScriptLocation& where, const std::string& text) {
          Add(LocatedText(where, text));
        });
  }
  ~TReloadErrors() {
    SetScriptErrorHandler(std::move(previous_));
    SetDialogsEnabled(dialogs_);
  }
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
  TScriptErrorHandler previous_;
  std::string first_;
};

}  // namespace

std::string TVDemo::ScriptPath() const {
  if (ScriptFile.empty() || ScriptFile[0] == '/' || startFolder_.empty()) return ScriptFile;
  return startFolder_ + "/" + ScriptFile;
}

void TVDemo::SwapScriptState(TVDemo& other) {
  using std::swap;
  swap(DemoName, other.DemoName);
  swap(GroupName, other.GroupName);
  swap(PartyName, other.PartyName);
  swap(Year, other.Year);
  swap(Version, other.Version);
  swap(ResolutionX, other.ResolutionX);
  swap(ResolutionY, other.ResolutionY);
  swap(ColorDepth, other.ColorDepth);
  swap(Fullscreen, other.Fullscreen);
  swap(StartTime, other.StartTime);
  swap(Speed, other.Speed);
  swap(LoadingScreen, other.LoadingScreen);
  swap(ClearColor, other.ClearColor);
  swap(ShowTimer, other.ShowTimer);
  swap(Exclusive, other.Exclusive);
  swap(EffectSlots, other.EffectSlots);
  swap(Tracker, other.Tracker);
  swap(CurrentSlot, other.CurrentSlot);
  swap(Bars, other.Bars);
  swap(MacroNames, other.MacroNames);
  swap(MacroValues, other.MacroValues);
  swap(CurrentBar, other.CurrentBar);
  swap(EndTime, other.EndTime);
  swap(macroIndex_, other.macroIndex_);
  swap(reported_, other.reported_);
  swap(ownedEffects_, other.ownedEffects_);
  swap(ownedTrackers_, other.ownedTrackers_);
}

void TVDemo::ReloadMusic(const std::string& fileName) {
  const bool sameFile = fileName == (pendingMusic_ ? pendingMusicFile_ : MusicFile);
  if (options_.ReadOnly || (sameFile && (MusicLoaded || pendingMusic_))) return;
  const uint32_t music = OpenMusic(fileName);
  if (music == 0) return;
  if (pendingMusic_) FreeStream(pendingMusic_);
  pendingMusic_ = music;
  pendingMusicFile_ = fileName;
}

void TVDemo::KeepDemoTime(float previousSpeed, float previousStartTime) {
  if (pendingMusic_) {
    const uint32_t previous = MusicLoaded ? Music : 0;
    Music = pendingMusic_;
    MusicFile = pendingMusicFile_;
    MusicLoaded = true;
    pendingMusic_ = 0;
    SetStreamPosition(Music, Time);
    SetStreamSpeed(Music, Speed);
    if (!options_.FixedStep) PlayStream(Music);
    if (previous) FreeStream(previous);
  } else if (MusicLoaded && Speed != previousSpeed && previousSpeed > 0.0f) {
    // The stream's speed is a factor on its current rate.
    SetStreamSpeed(Music, Speed / previousSpeed);
  }
  // The timer gives Elapsed × Speed + StartTime: move its start so that this is the same demo
  // time under the new speed and start time. It cannot start in the future, so a start time
  // moved past the demo time begins there.
  if (Speed == previousSpeed && StartTime == previousStartTime) return;
  if (!Timer || options_.FixedStep || !(Speed > 0.0f) || !(Timer->SecondsPerTick > 0.0f)) return;
  const double elapsed = std::max(0.0, static_cast<double>(Time - StartTime) / Speed);
  const double ticks = std::floor(elapsed / static_cast<double>(Timer->SecondsPerTick));
  const uint64_t back =
      static_cast<uint64_t>(std::min(ticks, static_cast<double>(Timer->LastMark)));
  Timer->StartMark = Timer->LastMark - back;
}

bool TVDemo::ReloadScript(std::string& message) {
  message.clear();
  TReloadErrors errors;
  const bool quitBefore = QuitRequested;
  const std::string folderBefore = CurrentDirectory();
  const float previousSpeed = Speed;
  const float previousStartTime = StartTime;
  // The old timeline waits here, with the default settings taking its place.
  TVDemo previous{TBlank{}};
  SwapScriptState(previous);
  reloading_ = true;
  // Effects of the new timeline may take over the JPEG pair textures of the old one.
  OfferPairTexturesForReuse();
  bool ok = true;
  try {
    // Read as at start-up: from the start folder, which DATADIR may leave again.
    if (!startFolder_.empty()) ChangeDirectory(startFolder_);
    SetScriptLocation({ScriptFile, 0});
    LoadScript(ScriptFile);
    SetScriptLocation({ScriptFile, 0});
    if (Tracker == nullptr && !Bars.empty())
      throw FatalError("The script has bars but no TRACKER: the previous timeline stays");
    if (!options_.ReadOnly) LoadEffects();
  } catch (const std::exception& error) {
    errors.Add(LocatedText(CurrentScriptLocation(), error.what()));
    ok = false;
  }
  reloading_ = false;
  EndPairTextureReuse();
  // A reload error is for the author to fix: it does not end the session the way a failing
  // effect ends a plain run.
  QuitRequested = quitBefore;
  message = errors.First();
  if (!ok) {
    SwapScriptState(previous);
    if (pendingMusic_) FreeStream(pendingMusic_);
    pendingMusic_ = 0;
    if (!folderBefore.empty()) ChangeDirectory(folderBefore);
    return false;  // the new effects go with `previous`
  }
  KeepDemoTime(previousSpeed, previousStartTime);
  // The old effects (with the GL objects they own), and the pictures only they drew, go now.
  previous.EffectSlots.clear();
  previous.ownedEffects_.clear();
  ReleaseSupersededTextures();
  return true;
}
