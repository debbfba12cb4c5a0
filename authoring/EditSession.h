// The edit session (--edit): the demo's clock pauses, seeks and loops with the keys (the music
// follows it), F12 writes the frame, the script is reloaded on F5 or when its file changes, and a
// status line is drawn over paused or looping play.
#pragma once
#include "authoring/EditControls.h"
#include "authoring/ScriptWatcher.h"
#include "demo/RunSession.h"
#include "platform/ScriptError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TSyncLink;

class TEditSession : public TRunSession {
 public:
  // Starts editing the demo at its start time and attaches to its run loop; screenshots go to
  // screenshotFolder (empty: the current folder). Until it ends, script errors go to stderr and
  // to the on-screen error line, never to a box.
  TEditSession(TVDemo& demo, const std::string& screenshotFolder);
  ~TEditSession() override;
  TEditSession(const TEditSession&) = delete;
  TEditSession& operator=(const TEditSession&) = delete;

  // Follows a sync editor at host:port (--sync) from the next frame on: its keys, seeks, pauses
  // and save requests; the editor hears the row while the demo plays.
  void ConnectSync(const std::string& host, uint16_t port);

  // The sync editor's requests, the loop wrap and the pause at the end.
  void BeforeFrame(TVDemo& demo) override;
  // Screenshot, reload error line and status line; the row to the sync editor.
  void AfterFrame(TVDemo& demo, int32_t row) override;
  // Carries out the keys and reloads the script when asked or when its file changed.
  void AfterPresent(TVDemo& demo, const std::vector<TKeyPress>& keys) override;

 private:
  // Moves the demo's clock (and with it the music) to a time.
  void Seek(TVDemo& demo, float time);
  // The keys' limits from the settings: --start or STARTTIME, and the end.
  void SetLimits(const TVDemo& demo);
  // Reloads the script; the demo time, the pause and the loop stay.
  void Reload(TVDemo& demo);
  // Takes the sync editor's keys and follows its seek and pause.
  void FollowSync(TVDemo& demo);
  // Writes the tracks as `.track` files beside the production, as the sync editor asked.
  void SaveTracks(const TVDemo& demo) const;
  // Watches the script's `.rocket` track file, or stops watching when it names none.
  void WatchTrackFile(const TVDemo& demo);
  // Writes the frame being drawn as vorpane-SECONDS.png and says so on stderr.
  void WriteScreenshot(const TVDemo& demo) const;

  TVDemo& demo_;
  TEditControls controls_;
  TScriptWatcher watcher_;
  // The `.rocket` track file the script names, watched like the script (none: no watcher).
  std::optional<TScriptWatcher> tracksWatcher_;
  std::string watchedTracks_;
  std::string screenshotFolder_;
  bool screenshotRequested_ = false;
  // Takes the first error since the last reload for the screen (errors raised while playing,
  // and the error boxes' texts, which stderr already has).
  void NoteError(const std::string& line);

  std::string reloadMessage_;        // the first error since the last reload, drawn on screen
  int boxesSeen_ = 0;                // error boxes already taken into reloadMessage_
  std::optional<TScriptErrorScope> errorScope_;  // errors go to the screen while it lives
  bool dialogsBefore_ = false;
  bool timerChosen_ = false;         // T was pressed: ShowTimer outlives reloads
  std::unique_ptr<TSyncLink> sync_;  // the sync editor (--sync), or null
};
