#include "authoring/ScriptWatcher.h"

#include <SDL2/SDL.h>

TScriptWatcher::TScriptWatcher(const std::string& path, double intervalSeconds,
                               double settleSeconds)
    : path_(path), interval_(intervalSeconds), settle_(settleSeconds), stamp_(FileStamp(path)) {}

bool TScriptWatcher::Changed(double nowSeconds) {
  const double wait = settling_ ? settle_ : interval_;
  if (looked_ && nowSeconds - lastLook_ < wait) return false;
  looked_ = true;
  lastLook_ = nowSeconds;
  ++looks_;
  const TFileStamp stamp = FileStamp(path_);
  if (stamp == stamp_) {
    settling_ = false;  // back to the version read: nothing to do
    return false;
  }
  if (!settling_ || stamp != pending_) {
    // A new version: it counts once it has held still for the settle time.
    settling_ = true;
    pending_ = stamp;
    pendingSince_ = nowSeconds;
    return false;
  }
  if (nowSeconds - pendingSince_ < settle_) return false;
  settling_ = false;
  stamp_ = stamp;
  return true;
}

bool TScriptWatcher::Changed() { return Changed(static_cast<double>(SDL_GetTicks64()) / 1000.0); }

void TScriptWatcher::MarkRead() {
  stamp_ = FileStamp(path_);
  settling_ = false;
}
