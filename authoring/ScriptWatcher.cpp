#include "authoring/ScriptWatcher.h"

#include <SDL2/SDL.h>

TScriptWatcher::TScriptWatcher(const std::string& path, double intervalSeconds)
    : path_(path), interval_(intervalSeconds), stamp_(FileStamp(path)) {}

bool TScriptWatcher::Changed(double nowSeconds) {
  if (looked_ && nowSeconds - lastLook_ < interval_) return false;
  looked_ = true;
  lastLook_ = nowSeconds;
  ++looks_;
  const TFileStamp stamp = FileStamp(path_);
  if (stamp == stamp_) return false;
  stamp_ = stamp;
  return true;
}

bool TScriptWatcher::Changed() { return Changed(static_cast<double>(SDL_GetTicks64()) / 1000.0); }

void TScriptWatcher::MarkRead() { stamp_ = FileStamp(path_); }
