#include "demo/ScriptError.h"

#include "platform/Dialogs.h"

std::string ScriptErrorText(const std::string& description) {
  return "Vorpane Demosystem\nError in demoscript. Demo will now crash\nDescription: " +
         description;
}

void ScriptError(const std::string& description) {
  ShowErrorBox("Vorpane", ScriptErrorText(description));
}
