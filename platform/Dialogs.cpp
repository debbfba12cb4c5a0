#include "platform/Dialogs.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool DisplayAvailable() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))
    return false;
  return DisplayPresent();
}

bool InitialDialogsState() {
  const char* off = std::getenv("VORPANE_NO_DIALOGS");
  if (off && *off && std::strcmp(off, "0") != 0) return false;
  return DisplayAvailable();
}

bool dialogsEnabled = InitialDialogsState();
int errorBoxCount = 0;
std::string lastErrorBoxText;
std::string errorOrigin;

}  // namespace

bool DisplayPresent() {
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
}

void SetDialogsEnabled(bool enabled) { dialogsEnabled = enabled && InitialDialogsState(); }

bool DialogsEnabled() { return dialogsEnabled; }

void ShowErrorBox(const std::string& caption, const std::string& text) {
  ShowErrorBox(caption, text, WithErrorOrigin(text));
}

void ShowErrorBox(const std::string& caption, const std::string& text,
                  const std::string& stderrText) {
  ++errorBoxCount;
  lastErrorBoxText = text;
  std::fprintf(stderr, "%s\n", stderrText.c_str());
  std::fflush(stderr);
  if (dialogsEnabled)
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), text.c_str(), nullptr);
}

std::string PrefixEachLine(const std::string& prefix, const std::string& text) {
  std::string result = prefix;
  for (const char c : text) {
    result += c;
    if (c == '\n') result += prefix;
  }
  return result;
}

void SetErrorOrigin(const std::string& origin) { errorOrigin = origin; }

std::string WithErrorOrigin(const std::string& text) {
  return errorOrigin.empty() ? text : PrefixEachLine(errorOrigin + ": ", text);
}

int ErrorBoxCount() { return errorBoxCount; }

const std::string& LastErrorBoxText() { return lastErrorBoxText; }

void ResetErrorBoxes() {
  errorBoxCount = 0;
  lastErrorBoxText.clear();
  errorOrigin.clear();
}
