// The script's command table: each command word with its arguments, where it may stand and
// one line of help. The reader runs its handlers; --check, the script fuzz target's dictionary
// and the README's command table are read from it.
#pragma once
#include "demo/ScriptParser.h"

#include <string>
#include <string_view>
#include <vector>

class TVDemo;

// What an argument is, as the reader takes it.
enum class TArgumentKind {
  Text,       // the rest of the line ("//" in it starts a comment)
  MacroName,  // a macro's name
  Integer,
  Number,     // with a decimal point
  Bool,       // "true" in any letter case, else false
  Percent,    // an integer, value / 100
  ColorPart,  // an integer, 0 to 255
  RowPart,    // an integer: a, b, c or d of a×64 + b×16 + c×4 + d
  Slot,       // an effect slot
  EffectType,
  Input,      // a bar's input, 0 to 19
  Folder,
  Picture,    // a picture file
  Music,      // a music file
  Demotrack,  // a demotrack, or the music or MIDI file one is made from
  EffectFile, // a file the current effect reads
  TrackFile,  // a `.rocket` file of keyed tracks, or the base of `.track` files
  TrackName,  // the name of a keyed track
};

// Where a command's line may stand for it to do what it says.
enum class TCommandPlace {
  Anywhere,
  BeforeInit,  // a window setting: INIT has read it
  AfterLoad,   // a parameter of the effect the last LOAD made
  AfterBar,    // a setting of the last BAR
};

// One command of the script.
struct TScriptCommand {
  using THandler = void (*)(TVDemo& demo, TVDemoCommand& tokens);
  std::string_view Word;
  std::vector<TArgumentKind> Arguments;
  std::string_view Usage;  // the arguments as the README's table shows them
  TCommandPlace Place = TCommandPlace::Anywhere;
  bool Reads = false;  // running it opens the window, a file or a folder
  std::string_view Help;  // the README table's "What it does"
  THandler Run = nullptr;
};

// Every command, in table order.
const std::vector<TScriptCommand>& ScriptCommands();
// The command of that word (letter case counts), or null.
const TScriptCommand* FindScriptCommand(std::string_view word);
// The command words, in table order.
std::vector<std::string> ScriptCommandWords();
// True when one of the command's arguments is of that kind.
bool TakesArgument(const TScriptCommand& command, TArgumentKind kind);
// True when the command's text (a name, a file, a folder) ends at a "//".
bool TakesText(const TScriptCommand& command);
// True when an argument names a file to read (not a folder).
bool TakesFile(const TScriptCommand& command);
// A libFuzzer dictionary for scripts: the command words, effect types and value words.
std::string ScriptFuzzDictionary();
