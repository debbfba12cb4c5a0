// Watching the script file for changes while the demo runs, without going to the disk on every
// frame: the file's size and modification time are looked at about once a second.
#pragma once
#include "platform/Files.h"

#include <string>

class TScriptWatcher {
 public:
  // Watches a file (an absolute path, since DATADIR moves the current folder); the stamp the
  // file has now counts as read.
  explicit TScriptWatcher(const std::string& path, double intervalSeconds = 1.0);
  // True once for each change of the file's size or modification time (a file that goes away
  // or comes back too); the disk is looked at only when intervalSeconds have passed since the
  // last look. `nowSeconds` is any steadily rising clock.
  bool Changed(double nowSeconds);
  // As above on SDL's millisecond clock: for the run loop to call every frame.
  bool Changed();
  // Takes the file as it is now as read (after a reload asked for by hand).
  void MarkRead();
  // Number of times the file's stamp has been read (lets tests see the disk is spared).
  int Looks() const { return looks_; }

 private:
  std::string path_;
  double interval_;
  double lastLook_ = 0.0;
  bool looked_ = false;   // lastLook_ holds a time
  TFileStamp stamp_;
  int looks_ = 0;
};
