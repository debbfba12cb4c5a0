// Reading the script again while the demo runs (the edit session's reload).
#pragma once
#include <string>

class TVDemo;

// Reads the demo's script again, from the folder the run started in: what the script builds
// (settings, slots, bars, macros, demotrack, effects) is built anew and takes the old one's
// place; the window, the music stream and the demo time stay. Errors go to stderr and the first
// one (with its line) to message; a script that cannot be read at all, or holds no command
// (an empty file, as an editor leaves it between truncating and writing), keeps the previous
// timeline whole and returns false. A script read without bars after one with bars says so in
// message.
bool ReloadScript(TVDemo& demo, std::string& message);
