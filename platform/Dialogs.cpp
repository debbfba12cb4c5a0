#include "platform/Dialogs.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

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
#ifdef _WIN32
  // A Windows session always has its desktop.
  return true;
#endif
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
}

std::string DisplayProblem() {
#ifdef _WIN32
  return std::string();
#endif
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && *driver && std::strcmp(driver, "x11") != 0 && std::strcmp(driver, "wayland") != 0)
    return std::string();
  if (!DisplayPresent()) return "there is no display (DISPLAY and WAYLAND_DISPLAY are not set)";
  // Each driver the environment names is tried alone: SDL would otherwise go on to others that
  // show nothing.
  std::string failures;
  for (const char* name : {"x11", "wayland"}) {
    const char* variable = std::strcmp(name, "x11") == 0 ? "DISPLAY" : "WAYLAND_DISPLAY";
    const char* display = std::getenv(variable);
    if (!display || (driver && *driver && std::strcmp(driver, name) != 0)) continue;
    if (SDL_VideoInit(name) == 0) {
      SDL_VideoQuit();
      return std::string();
    }
    failures += std::string(failures.empty() ? "" : ", ") + variable + "=" + display + " (" +
                SDL_GetError() + ")";
  }
  return "no display answers at " + failures;
}

bool StderrIsTerminal() { return ::isatty(::fileno(stderr)) != 0; }

void UseOffscreenVideo() {
  if (std::getenv("SDL_VIDEODRIVER") != nullptr) return;
#ifdef _WIN32
  ::_putenv_s("SDL_VIDEODRIVER", "offscreen");
#else
  ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
#endif
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
