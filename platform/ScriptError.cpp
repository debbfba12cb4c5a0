#include "platform/ScriptError.h"

#include "platform/Dialogs.h"

namespace {

TScriptErrorHandler handler;
TScriptLocation location;

}  // namespace

std::string ScriptErrorText(const std::string& description) {
  return "Vorpane Demosystem\nError in demoscript. Demo will now crash\nDescription: " +
         description;
}

std::string ScriptLocationText(const TScriptLocation& where) {
  if (where.Line <= 0) return std::string();
  return where.File + ":" + std::to_string(where.Line);
}

void ScriptError(const std::string& description) {
  if (handler) {
    handler(location, description);
    return;
  }
  // The location is the error origin too (set below), so each stderr line starts with it.
  ShowErrorBox("Vorpane", ScriptErrorText(description));
}

TScriptErrorHandler SetScriptErrorHandler(TScriptErrorHandler replacement) {
  TScriptErrorHandler previous = std::move(handler);
  handler = std::move(replacement);
  return previous;
}

void SetScriptLocation(const TScriptLocation& where) {
  location = where;
  SetErrorOrigin(ScriptLocationText(where));
}

const TScriptLocation& CurrentScriptLocation() { return location; }

void ResetScriptErrors() {
  handler = nullptr;
  location = TScriptLocation();
  SetErrorOrigin(std::string());
}
