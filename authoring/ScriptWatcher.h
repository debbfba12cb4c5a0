// Watching the script file for changes while the demo runs, without going to the disk on every
// frame: the file's size and modification time are looked at about once a second, and a change
// counts only once the file has stopped changing (an editor that truncates and then writes, or
// a copy over the file, shows an empty or half-written file in between).
#pragma once
#include "platform/Files.h"

#include <string>

class TScriptWatcher {
 public:
  // Watches a file (an absolute path, since DATADIR moves the current folder); the stamp the
  // file has now counts as read. A change is reported once the stamp has stayed the same for
  // settleSeconds.
  explicit TScriptWatcher(const std::string& path, double intervalSeconds = 1.0,
                          double settleSeconds = 0.3);
  // True once for each change of the file's size or modification time (a file that goes away
  // or comes back too), once the file has kept its new stamp for the settle time. The disk is
  // looked at when intervalSeconds have passed since the last look, or settleSeconds while a
  // change settles; never does it wait. `nowSeconds` is any steadily rising clock.
  bool Changed(double nowSeconds);
  // As above on SDL's millisecond clock: for the run loop to call every frame.
  bool Changed();
  // Takes the file as it is now as read (before a reload asked for by hand reads it, so that
  // a change made while it reads is still seen).
  void MarkRead();
  // Number of times the file's stamp has been read (lets tests see the disk is spared).
  int Looks() const { return looks_; }

 private:
  std::string path_;
  double interval_;
  double settle_;
  double lastLook_ = 0.0;
  bool looked_ = false;    // lastLook_ holds a time
  TFileStamp stamp_;       // the version last read
  bool settling_ = false;  // the file differs from stamp_: pending_ must hold still
  TFileStamp pending_;
  double pendingSince_ = 0.0;
  int looks_ = 0;
};
