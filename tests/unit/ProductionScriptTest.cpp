// The sample production's script read line by line as the player reads it (macros applied,
// tokens split), without running it: it must use every effect type there is, name only files
// the generator writes, and keep its bars on loaded slots inside the song.
#include "common/Song.h"
#include "demo/CommandTable.h"
#include "demo/ScriptParser.h"
#include "effects/EffectFactory.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

namespace {

struct TScriptBarSummary {
  std::string Name;
  int32_t Mount = 0, Length = 0, Effect = -1;
};

// The lines of the script after macro substitution, as token lists.
std::vector<TVDemoCommand> ReadProductionScript() {
  std::ifstream in(std::string(VORPANE_SOURCE_DIR) + "/production/moltrax.vrp");
  std::vector<std::string> names, values;
  std::vector<TVDemoCommand> commands;
  std::string line;
  TParser parser;
  while (std::getline(in, line)) {
    ApplyMacros(line, names, values);
    ParseLine(parser, line);
    const TVDemoCommand& tokens = parser.Tokens;
    if (Token(tokens, 0) == "REGISTER") {
      names.push_back(Token(tokens, 1));
      values.push_back(ParamText(tokens, 2));
    }
    commands.push_back(tokens);
  }
  return commands;
}

int32_t RowsOf(const TVDemoCommand& tokens) {
  int32_t rows = 0;
  const int32_t scale[4] = {64, 16, 4, 1};
  for (size_t i = 1; i <= 4; ++i)
    if (!Token(tokens, i).empty()) rows += scale[i - 1] * TextToInt(Token(tokens, i));
  return rows;
}

}  // namespace

TEST(ProductionScript, UsesEveryEffectTypeOnlyGeneratedFilesAndBarsOnLoadedSlots) {
  const std::vector<TVDemoCommand> commands = ReadProductionScript();
  ASSERT_GT(commands.size(), 100u);
  const TSong song = MoltraxSong();
  const std::string data = std::string(VORPANE_PRODUCTION_DIR) + "/";

  std::set<std::string> typesLoaded;
  std::map<int32_t, std::string> slots;
  std::vector<TScriptBarSummary> bars;
  float endTime = 0;
  std::string currentType;
  for (const TVDemoCommand& tokens : commands) {
    const std::string word = Token(tokens, 0);
    const TScriptCommand* command = FindScriptCommand(word);
    // A text argument followed by a blank (a comment after it) would carry that blank.
    if (command && TakesText(*command)) {
      EXPECT_FALSE(tokens.back().empty()) << word << " " << ParamText(tokens, 1);
    }
    // B is the alpha picture of the picture effects (and a mode word for particles).
    if ((command && TakesFile(*command)) || (word == "B" && currentType.rfind("plaintexture", 0) == 0)) {
      EXPECT_TRUE(FileExists(data + ParamText(tokens, 1))) << ParamText(tokens, 1);
    }
    if (word == "LOAD") {
      currentType = Token(tokens, 1);
      typesLoaded.insert(CanonicalEffectType(currentType));
      slots[TextToInt(Token(tokens, 2))] = Token(tokens, 1);
    } else if (word == "BAR") {
      bars.push_back({ParamText(tokens, 1)});
    } else if (word == "MOUNT") {
      bars.back().Mount = RowsOf(tokens);
    } else if (word == "LENGTH") {
      bars.back().Length = RowsOf(tokens);
    } else if (word == "EFFECT") {
      bars.back().Effect = TextToInt(Token(tokens, 1));
    } else if (word == "ENDTIME") {
      endTime = static_cast<float>(TextToInt(Token(tokens, 1))) / 100.0f;
    }
  }
  // Another name of an effect counts for it ("metaballs" shows "fuck").
  for (const std::string& type : EffectTypeNames())
    EXPECT_TRUE(typesLoaded.count(CanonicalEffectType(type))) << type;
  EXPECT_EQ(CanonicalEffectType("metaballs"), "fuck");

  // Every bar runs a loaded slot inside the song; every slot is shown by some bar.
  std::set<int32_t> slotsShown;
  for (const TScriptBarSummary& bar : bars) {
    EXPECT_TRUE(slots.count(bar.Effect)) << bar.Name;
    EXPECT_GT(bar.Length, 0) << bar.Name;
    EXPECT_GE(bar.Mount, 0) << bar.Name;
    EXPECT_LE(bar.Mount + bar.Length, song.RowCount) << bar.Name;
    slotsShown.insert(bar.Effect);
  }
  for (const auto& slot : slots) EXPECT_TRUE(slotsShown.count(slot.first)) << slot.second;
  // The demo ends with the song.
  EXPECT_FLOAT_EQ(endTime, static_cast<float>(SongRowSeconds(song, song.RowCount)));
}
