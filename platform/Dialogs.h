// Error boxes. The text always goes to stderr; a modal box is shown as well when dialogs are on.
// Dialogs are off with --no-dialogs, VORPANE_NO_DIALOGS=1, in capture and benchmark runs, and
// when there is no display (a modal box would block a headless run forever).
#pragma once
#include <string>

// True when the environment names a display (DISPLAY or WAYLAND_DISPLAY is set).
bool DisplayPresent();
// Why a window could not be shown, or empty when it can (or when SDL_VIDEODRIVER names a driver
// that needs no display, such as offscreen or dummy): no DISPLAY or WAYLAND_DISPLAY, or a
// display that does not answer. Opens and closes the video subsystem to find out.
std::string DisplayProblem();
// True when standard error is a terminal (where a progress line can be redrawn).
bool StderrIsTerminal();
// Makes SDL render without a display (its offscreen driver) unless SDL_VIDEODRIVER names one.
void UseOffscreenVideo();
// Turns boxes on or off for the rest of the process (the text still goes to stderr).
void SetDialogsEnabled(bool enabled);
// True when a call of ShowErrorBox would show a box.
bool DialogsEnabled();
// Writes the text to stderr (each line after the error origin, when one is set) and, with
// dialogs on, shows a modal box with an OK button.
void ShowErrorBox(const std::string& caption, const std::string& text);
// The same with a stderr text of its own, written as it stands.
void ShowErrorBox(const std::string& caption, const std::string& text,
                  const std::string& stderrText);
// The text with the prefix put before each of its lines (where an error came from, so that
// every stderr line of it can be found by its origin).
std::string PrefixEachLine(const std::string& prefix, const std::string& text);
// Sets where the errors reported from now on come from ("FILE:LINE" of the script line being
// run; empty for nowhere in particular), so that a loader deep down names the line behind it.
void SetErrorOrigin(const std::string& origin);
// The text with "ORIGIN: " before each of its lines (unchanged when no origin is set).
std::string WithErrorOrigin(const std::string& text);
// Number of boxes shown or suppressed so far; lets tests see that an error was reported.
int ErrorBoxCount();
// The text of the last error box (empty when none), for tests.
const std::string& LastErrorBoxText();
// Sets the count back to 0, the last text to empty and forgets the origin.
void ResetErrorBoxes();
