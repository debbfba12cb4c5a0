// Scripts written to hurt: macros that grow without bound or come by the hundred thousand,
// effect slots and window sizes far out of range, control characters in quoted text, and the
// command line's range options without a fixed-step run.
#include "app/CommandLine.h"
#include "demo/ScriptParser.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/Text.h"
#include "support/ScriptDemo.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The message of the FatalError a conversion throws.
template <typename Convert>
std::string FatalMessage(Convert convert) {
  try {
    convert();
  } catch (const FatalError& error) {
    return error.what();
  }
  return "";
}

}  // namespace

TEST(MacroIndex, GivesThePlainSubstitutionOnRandomTablesAndLines) {
  // Short names over a three-letter alphabet make names overlap, repeat, hide inside values and
  // appear only after an earlier replacement; the table grows and shrinks as a script makes it.
  std::mt19937 random(7);
  auto word = [&](int longest) {
    std::string text(std::uniform_int_distribution<int>(0, longest)(random), 'a');
    for (char& c : text) c = "abc"[std::uniform_int_distribution<int>(0, 2)(random)];
    return text;
  };
  int replaced = 0;
  for (int script = 0; script < 300; ++script) {
    // Enough macros that the index, not the plain search, serves these short names.
    std::vector<std::string> names, values;
    for (int k = 0; k < 30; ++k) {
      names.push_back(word(3));
      values.push_back(word(4));
    }
    TMacroIndex index;
    for (int line = 0; line < 40; ++line) {
      const int change = std::uniform_int_distribution<int>(0, 9)(random);
      if (change < 6) {
        names.push_back(word(3));
        values.push_back(word(4));
      } else if (change == 6 && !names.empty()) {
        const size_t k = std::uniform_int_distribution<size_t>(0, names.size() - 1)(random);
        names.erase(names.begin() + static_cast<long>(k));
        values.erase(values.begin() + static_cast<long>(k));
      }
      std::string plain = word(12);
      std::string indexed = plain;
      const std::string read = plain;
      ASSERT_TRUE(ApplyMacros(plain, names, values));
      ASSERT_TRUE(ApplyMacros(indexed, names, values, index));
      ASSERT_EQ(indexed, plain) << "line '" << read << "', script " << script << " line " << line;
      replaced += plain != read;
    }
  }
  EXPECT_GT(replaced, 1000);  // the lines did exercise the macros

  // The rules themselves: order, first occurrence, values searched by later macros only.
  TMacroIndex index;
  std::vector<std::string> names = {"$T", "B", "A"}, values = {"title.jpg", "A", "[a]"};
  std::string line = "X $T $T B";
  ASSERT_TRUE(ApplyMacros(line, names, values, index));
  EXPECT_EQ(line, "X title.jpg $T [a]");
  line = "AB";
  ASSERT_TRUE(ApplyMacros(line, names, values, index));
  EXPECT_EQ(line, "[a]A");
}

TEST(MacroIndex, ALineGrowingPastOneMebibyteStaysAsItWasRead) {
  std::vector<std::string> names = {"P", "Q"};
  std::vector<std::string> values = {std::string(kMaxSubstitutedLine / 2, 'p'),
                                     std::string(kMaxSubstitutedLine / 2, 'q')};
  TMacroIndex index;
  std::string line = "DEMO PQ";
  EXPECT_FALSE(ApplyMacros(line, names, values, index));
  EXPECT_EQ(line, "DEMO PQ");
  std::string plain = "DEMO PQ";
  EXPECT_FALSE(ApplyMacros(plain, names, values));
  EXPECT_EQ(plain, "DEMO PQ");
  // Exactly the limit is still accepted.
  line = "PQ";
  EXPECT_TRUE(ApplyMacros(line, names, values, index));
  EXPECT_EQ(line.size(), kMaxSubstitutedLine);

  // In a script: values that double on every line stop at the limit with a script error, and
  // the line runs as written. Two-digit names, so that no name hides inside another.
  auto name = [](char letter, int k) {
    char text[8];
    std::snprintf(text, sizeof text, "%c%02d", letter, k);
    return std::string(text);
  };
  std::string script = "REGISTER P00 " + std::string(1000, 'x') + "\nREGISTER Q00 " +
                       std::string(1000, 'y') + "\n";
  for (int k = 0; k < 11; ++k) {
    const std::string from = name('P', k) + name('Q', k);
    script += "REGISTER " + name('P', k + 1) + " " + from + "\n";
    script += "REGISTER " + name('Q', k + 1) + " " + from + "\n";
  }
  const int before = ErrorBoxCount();
  auto demo = DemoFromScript(script);
  EXPECT_EQ(ErrorBoxCount(), before + 2);  // P11 and Q11 would pass 1 MiB
  EXPECT_NE(LastErrorBoxText().find("Line 24 would grow past 1 MiB by macro substitution"),
            std::string::npos)
      << LastErrorBoxText();
  ASSERT_EQ(demo->MacroValues.size(), 24u);
  EXPECT_EQ(demo->MacroValues[20].size(), 1024000u);  // P10, the last that fits
  EXPECT_EQ(demo->MacroNames[22], "P11");
  EXPECT_EQ(demo->MacroValues[22], "P10Q10");           // read as written
}

TEST(ScriptLimits, HundredThousandMacrosReadInLinearTime) {
  // Quadratic substitution tried every macro on every line: some 10^10 steps here. The work is
  // counted by the substitution budget, so the bound holds whatever the machine's load.
  std::string script;
  std::vector<std::string> lines;
  for (int k = 1; k <= 100000; ++k) {
    char line[64];
    std::snprintf(line, sizeof line, "REGISTER NAME%06d value%d", k, k);
    lines.push_back(line);
    script += lines.back() + "\n";
  }
  lines.push_back("DEMO NAME099999 NAME000001 NAME050000 NAME000001");
  script += lines.back() + "\n";
  // The reader's own loop: substitute each line, then let REGISTER add its macro.
  std::vector<std::string> names, values;
  TMacroIndex index;
  TMacroBudget budget = TMacroBudget::ForScript(script.size());
  const uint64_t full = budget.Left;
  for (std::string& line : lines) {
    ASSERT_EQ(ApplyMacros(line, names, values, &index, budget), TMacroResult::Substituted);
    TParser parser;
    ParseLine(parser, line);
    if (parser.Tokens[0] != "REGISTER") continue;
    names.push_back(parser.Tokens[1]);
    values.push_back(ParamText(parser.Tokens, 2));
  }
  EXPECT_EQ(lines.back(), "DEMO value99999 value1 value50000 NAME000001");
  EXPECT_LT(full - budget.Left, 16 * script.size());  // a few steps per byte of script
  const int before = ErrorBoxCount();
  auto demo = DemoFromScript(script);
  EXPECT_EQ(ErrorBoxCount(), before);  // the whole read stayed within its budget
  EXPECT_EQ(demo->DemoName, "value99999 value1 value50000 NAME000001");
}

TEST(ScriptLimits, MacroWorkOfAWholeScriptIsBoundedByItsSize) {
  // Names doubling to 512 KiB, then thousands of lines that each grow to 768 KiB: gigabytes of
  // text to copy and search without a bound on the whole script.
  std::string script = "REGISTER P0 ab\nREGISTER Q0 cd\n";
  for (int k = 0; k < 18; ++k) {
    const std::string from = "P" + std::to_string(k) + "Q" + std::to_string(k);
    script += "REGISTER P" + std::to_string(k + 1) + " " + from + "\n";
    script += "REGISTER Q" + std::to_string(k + 1) + " " + from + "\n";
  }
  for (int line = 0; line < 3000; ++line) script += "DEMO P18 Q17\n";
  auto demo = DemoFromScript(script);
  EXPECT_EQ(ErrorBoxCount(), 1);  // once, not once a line
  const std::string& error = LastErrorBoxText();
  EXPECT_NE(error.find("this line and the rest are read as written"), std::string::npos) << error;
  // Lines were substituted until the budget ran out, and read as written after it.
  const size_t number = error.find("Line ") + 5;
  EXPECT_GT(std::stoi(error.substr(number)), 45) << error;
  EXPECT_EQ(demo->DemoName, "P18 Q17");
}

TEST(ScriptLimits, SlotsAndWindowSizesOutOfRangeAreScriptErrorsAndIgnored) {
  auto demo = DemoFromScript(
      "LOAD plaincolor 2147483647\nLOAD flash 65536\nLOAD plaincolor -1\nRESOLUTIONX 100000\n"
      "RESOLUTIONY 0\nRESOLUTIONY -5\n");
  EXPECT_TRUE(demo->EffectSlots.empty());
  EXPECT_EQ(demo->ResolutionX, 640);
  EXPECT_EQ(demo->ResolutionY, 480);
  EXPECT_EQ(ErrorBoxCount(), 6);
  EXPECT_NE(LastErrorBoxText().find("RESOLUTIONY -5 is not a window size (1 to 16384 pixels)"),
            std::string::npos)
      << LastErrorBoxText();

  demo = DemoFromScript("RESOLUTIONX 16384\nRESOLUTIONY 1\nLOAD plaincolor 65535\n");
  EXPECT_EQ(demo->ResolutionX, 16384);
  EXPECT_EQ(demo->ResolutionY, 1);
  ASSERT_EQ(demo->EffectSlots.size(), 65536u);
  EXPECT_NE(demo->EffectSlots[65535], nullptr);

  demo = DemoFromScript("LOAD plaincolor 70000\nX 5\n");
  EXPECT_NE(LastErrorBoxText().find("no effect loaded in slot 0"), std::string::npos)
      << LastErrorBoxText();
}

TEST(ScriptLimits, QuotedScriptTextShowsControlCharactersEscaped) {
  EXPECT_EQ(PrintableText(std::string("a\0b\rc\td\x1b\x7f\xe9", 10)),
            "a\\0b\\rc\\td\\x1B\\x7F\xe9");
  EXPECT_EQ(FatalMessage([] { TextToInt(std::string("12\0", 3)); }),
            "'12\\0' is not a valid integer value");
  EXPECT_EQ(FatalMessage([] { TextToFloat("1.5\r"); }),
            "'1.5\\r' is not a valid floating point value");
  EXPECT_EQ(FatalMessage([] { DemoFromScript(std::string("SPEED 5\0\n", 9)); }),
            "'5\\0' is not a valid integer value");
}

TEST(CommandLine, RangeOptionsWithoutAFixedStepRunAreRefusedEvenAtTheirDefaults) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--fps", "60"}, {"--fps", "30"}, {"--from", "0"}, {"--to", "5"}}) {
    const TCommandLine parsed = ParseCommandLine(arguments);
    EXPECT_EQ(parsed.ExitStatus, 2) << arguments[0] << " " << arguments[1];
    EXPECT_NE(parsed.Message.find("need --capture or --benchmark"), std::string::npos);
  }
  EXPECT_EQ(ParseCommandLine({"--benchmark", "--fps", "60"}).ExitStatus, -1);
  EXPECT_EQ(ParseCommandLine({"--capture", "out", "--fps", "60"}).Options.Fps, 60.0f);
  EXPECT_NE(ParseCommandLine({"--version"}).Message.find("Vorpane Demoengine 0.1"),
            std::string::npos);
}
