// `vorpane --check`: reads a script with the player's reader, without a window or a sound
// device, decodes every file it names and lists each problem with its line.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

// One problem of a script; Line 0 means the script as a whole.
struct TCheckMessage {
  int Line = 0;
  bool IsError = true;  // an error stops or spoils the demo; a warning is likely a mistake
  std::string Text;
  bool IsNote = false;  // not a problem: says what the player chose (IsError is false)
};

// All problems of one script, in line order.
struct TCheckReport {
  std::string File;
  std::vector<TCheckMessage> Messages;
  // Every file the script reads (pictures, models, music, demotrack, track files), as absolute
  // paths, each once, in the order they are read; the script itself is not among them.
  std::vector<std::string> Files;
  std::string DemoName;  // the script's DEMO name (empty when it gives none)

  // Number of errors among the messages.
  int ErrorCount() const;
  // Number of warnings among the messages.
  int WarningCount() const;
};

// Reads and checks a script (file names resolve from the script's folder, as in the player;
// DATADIR changes it).
TCheckReport CheckScript(const std::string& fileName);
// "FILE:LINE: error: TEXT", "FILE:LINE: warning: TEXT" or "FILE:LINE: note: TEXT" ("FILE: ..."
// for line 0).
std::string FormatCheckMessage(const std::string& file, const TCheckMessage& message);
// "FILE: 2 errors, 1 warning".
std::string CheckSummary(const TCheckReport& report);
// The known word closest to `word` (letter case ignored; a swap of two neighbours counts as one
// edit) when it is at most two edits away and closer than the word's length; else empty.
std::string NearestWord(const std::string& word, const std::vector<std::string>& known);
// Checks a script and prints every message and the summary to `out`; 0 without errors, else 1.
int RunScriptCheck(const std::string& fileName, std::FILE* out);
