// Fuzzes the script reader without a window: each line of the input goes through macro
// substitution (the indexed form checked against the plain one, both on a bounded budget),
// ParseLine, and the demo object's command table with its number conversions. Commands that
// open the window, the music, files or folders are skipped; a bad number is a FatalError and
// ends the input, as it ends the program.
#include "demo/CommandTable.h"
#include "demo/Vorpane.h"
#include "effects/EffectFiles.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"

#include <cstdlib>
#include <cstring>
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
  // Commands that open the window, a file or a folder as they run, as the command table says.
  const TScriptCommand* command = FindScriptCommand(tokens[0]);
  if (command && command->Reads) return true;
  // Effects that read files when created, as the effect table lists them.
  return tokens[0] == "LOAD" && !EffectCreationFiles(Token(tokens, 1)).empty();
}

// A budget of the reader's kind, but far smaller: an input that spends it costs a few
// milliseconds here instead of tenths of a second, so the fuzzer spends its time on variety.
// Lines past kMaxSubstitutedLine are then out of reach; the unit tests cover that limit.
TMacroBudget FuzzBudget(size_t size) { return {(uint64_t{1} << 18) + 8 * uint64_t{size}}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetDialogsEnabled(false);
  TVDemo demoObject(EmptyScript());
  TVDemo* demo = &demoObject;
  TMacroIndex index;
  TMacroBudget indexedBudget = FuzzBudget(size), plainBudget = FuzzBudget(size);
  TParser parser;
  std::string line, plain;
  const char* text = reinterpret_cast<const char*>(data);
  for (size_t start = 0; start <= size;) {
    size_t end = start;
    while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
    line.assign(text + start, end - start);
    start = end + 1;
    // Where the index looks names up, the plain search checks it, as long as its own budget
    // lasts.
    plain = line;
    const TMacroResult indexedResult =
        ApplyMacros(line, demo->MacroNames, demo->MacroValues, &index, indexedBudget);
    if (index.LooksUp(demo->MacroNames.size()) && plainBudget.Left > 0) {
      const TMacroResult plainResult =
          ApplyMacros(plain, demo->MacroNames, demo->MacroValues, nullptr, plainBudget);
      if (plainResult != TMacroResult::OverBudget && indexedResult != TMacroResult::OverBudget &&
          (plainResult != indexedResult || plain != line))
        std::abort();
    }
    if (line.size() > kMaxSubstitutedLine + size) std::abort();
    ParseLine(parser, line);
    if (parser.Tokens.empty()) std::abort();
    for (const std::string& token : parser.Tokens)
      if (std::memchr(token.data(), ' ', token.size())) std::abort();
    if (!Skipped(parser.Tokens)) {
      try {
        demo->ExecuteCommand(parser.Tokens);
      } catch (const FatalError&) {
        return 0;
      }
    }
    if (demo->EffectSlots.size() > static_cast<size_t>(kMaxEffectSlot) + 1 ||
        demo->ResolutionX < kMinWindowSide || demo->ResolutionX > kMaxWindowSide ||
        demo->ResolutionY < kMinWindowSide || demo->ResolutionY > kMaxWindowSide ||
        demo->MacroNames.size() != demo->MacroValues.size())
      std::abort();
  }
  return 0;
}
