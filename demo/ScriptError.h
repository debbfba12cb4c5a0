// The error box of the demo system, also used by the effects. It shows three lines:
// "Vorpane Demosystem", "Error in demoscript. Demo will now crash", "Description: " + text,
// and returns when the box is closed; the caller decides what happens next.
#pragma once
#include <string>

// The full text of the box for a description.
std::string ScriptErrorText(const std::string& description);
// Shows the script error box (stderr always; a modal box when dialogs are on).
void ScriptError(const std::string& description);
