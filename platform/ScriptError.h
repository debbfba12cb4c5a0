// The error box of the demo system, also used by the effects. It shows three lines:
// "Vorpane Demosystem", "Error in demoscript. Demo will now crash", "Description: " + text,
// and returns when the box is closed; the caller decides what happens next.
//
// While a script is read, the reader records the line being executed, so that tools (the
// checker, live reload) can tie each error to its line. A handler set with
// SetScriptErrorHandler (or held by a TScriptErrorScope) receives the errors instead of the box.
#pragma once
#include <functional>
#include <string>

// A line of a script file; Line 0 means "no particular line".
struct TScriptLocation {
  std::string File;
  int Line = 0;
};

// Receives one script error with the location it was raised at.
using TScriptErrorHandler =
    std::function<void(const TScriptLocation& where, const std::string& description)>;

// The full text of the box for a description.
std::string ScriptErrorText(const std::string& description);
// "FILE:LINE" of a location (empty when it has no line).
std::string ScriptLocationText(const TScriptLocation& where);
// Reports a script error: to the handler when one is set, else the box (stderr always, each
// line starting with "FILE:LINE: " when the current location has a line; a modal box with the
// plain text when dialogs are on).
void ScriptError(const std::string& description);
// Replaces the handler (an empty one restores the box); returns the one it replaces.
TScriptErrorHandler SetScriptErrorHandler(TScriptErrorHandler handler);
// Sends script errors to a handler while it lives and gives the previous handler back when it
// ends, however the scope is left (an exception included).
class TScriptErrorScope {
 public:
  explicit TScriptErrorScope(TScriptErrorHandler handler)
      : previous_(SetScriptErrorHandler(std::move(handler))) {}
  ~TScriptErrorScope() { SetScriptErrorHandler(std::move(previous_)); }
  TScriptErrorScope(const TScriptErrorScope&) = delete;
  TScriptErrorScope& operator=(const TScriptErrorScope&) = delete;

 private:
  TScriptErrorHandler previous_;
};
// Sets the location later errors are tied to (the line being executed).
void SetScriptLocation(const TScriptLocation& where);
// The location errors are tied to now.
const TScriptLocation& CurrentScriptLocation();
// Forgets the handler and the location (process reset).
void ResetScriptErrors();
