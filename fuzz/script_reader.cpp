// Fuzzes the script reader without a window: each line of the input goes through macro
// substitution (the indexed form checked against the plain one), ParseLine, and the demo
// object's command table with its number conversions. Commands that open the window, the
// music, files or folders are skipped; a bad number is a FatalError and ends the input, as it
// ends the program.
#include "demo/Vorpane.h"
#include "effects/EffectFactory.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"

#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>

namespace {

// An empty script: the demo object reads it once per input and then gets the input's lines.
const std::string& EmptyScript() {
  static const std::string name = [] {
    char pattern[] = "/tmp/vorpane_fuzz_script_XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) std::abort();
    ::close(fd);
    return std::string(pattern);
  }();
  return name;
}

bool Skipped(const TVDemoCommand& tokens) {
  static const std::set<std::string> kOutside = {"INIT", "DRAWLOADING", "LOADMUSIC", "TRACKER",
                                                 "DATADIR"};
  if (kOutside.count(tokens[0])) return true;
  // These load their pictures and models when created.
  const std::string type = CanonicalEffectType(Token(tokens, 1));
  return tokens[0] == "LOAD" && (type == "fuck" || type == "pixelize");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetDialogsEnabled(false);
  TVDemo demo(EmptyScript());
  TMacroIndex index;
  TParser parser;
  std::string line;
  for (size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != '\r' && data[i] != '\n') {
      line += static_cast<char>(data[i]);
      continue;
    }
    std::string plain = line;
    const bool plainFits = ApplyMacros(plain, demo.MacroNames, demo.MacroValues);
    const bool indexedFits = ApplyMacros(line, demo.MacroNames, demo.MacroValues, index);
    if (plainFits != indexedFits || plain != line || line.size() > kMaxSubstitutedLine + size)
      std::abort();
    ParseLine(parser, line);
    if (parser.Tokens.empty()) std::abort();
    for (const std::string& token : parser.Tokens)
      if (token.find(' ') != std::string::npos) std::abort();
    if (!Skipped(parser.Tokens)) {
      try {
        demo.ExecuteCommand(parser.Tokens);
      } catch (const FatalError&) {
        return 0;
      }
    }
    if (demo.EffectSlots.size() > static_cast<size_t>(kMaxEffectSlot) + 1 ||
        demo.ResolutionX < kMinWindowSide || demo.ResolutionX > kMaxWindowSide ||
        demo.ResolutionY < kMinWindowSide || demo.ResolutionY > kMaxWindowSide ||
        demo.MacroNames.size() != demo.MacroValues.size())
      std::abort();
    line.clear();
  }
  return 0;
}
