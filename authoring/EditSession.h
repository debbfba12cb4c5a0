// The edit session (--edit): the demo's clock pauses, seeks and loops with the keys (the music
// follows it), F12 writes the frame, the script is reloaded on F5 or when its file changes, and a
// status line is drawn over paused or looping play.
#pragma once
#include "authoring/EditControls.h"
#include "authoring/ScriptWatcher.h"
#include "demo/RunSession.h"
#include "platform/ScriptError.h"

#include <optional>
#include <string>

class TEditSession : public TRunSession {
 public:
  // Starts editing the demo at its start time and attaches to its run loop; screenshots go to
  // screenshotFolder (empty: the current folder). Until it ends, script errors go to stderr and
  // to the on-screen error line, never to a box.
  TEditSession(TVDemo& demo, const std::string& screenshotFolder);
  ~TEditSession() override;
  TEditSession(const TEditSession&) = delete;
  TEditSession& operator=(const TEditSession&) = delete;

  // Loop wrap and the pause at the end.
  void BeforeFrame(TVDemo& demo) override;
  // Screenshot, reload error line and status line.
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
  // Writes the frame being drawn as vorpane-SECONDS.png and says so on stderr.
  void WriteScreenshot(const TVDemo& demo) const;

  TVDemo& demo_;
  TEditControls controls_;
  TScriptWatcher watcher_;
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
};
