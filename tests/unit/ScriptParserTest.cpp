// Tokenising, macros and the strict number conversions of script lines.
#include "demo/ScriptParser.h"
#include "platform/FatalError.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

namespace {

TVDemoCommand Tokens(const std::string& line) {
  TParser parser;
  ParseLine(parser, line);
  return parser.Tokens;
}

}  // namespace

TEST(ParseLine, SplitsOnBlanksAndTabsDropsTrailingBlanksAndComments) {
  EXPECT_EQ(Tokens("X 5 // comment"), (TVDemoCommand{"X", "5"}));
  EXPECT_EQ(Tokens("DEMO  My   Demo"), (TVDemoCommand{"DEMO", "My", "Demo"}));
  EXPECT_EQ(Tokens("DEMO My Demo \t "), (TVDemoCommand{"DEMO", "My", "Demo"}));
  EXPECT_EQ(Tokens(""), (TVDemoCommand{""}));
  EXPECT_EQ(Tokens("// only a comment"), (TVDemoCommand{""}));
  EXPECT_EQ(Tokens("   INIT"), (TVDemoCommand{"INIT"}));
  // Tabs separate as blanks do.
  EXPECT_EQ(Tokens("A\tB C"), (TVDemoCommand{"A", "B", "C"}));
  EXPECT_EQ(Tokens("\tA\t\tbg.jpg\t"), (TVDemoCommand{"A", "bg.jpg"}));
  // The comment starts at the first "//", even inside a token.
  EXPECT_EQ(Tokens("A http://x"), (TVDemoCommand{"A", "http:"}));
}

TEST(ParseLine, KeepsEveryTokenOfALongLine) {
  std::string line = "CMD";
  for (int i = 1; i <= 80; ++i) line += " t" + std::to_string(i);
  const TVDemoCommand tokens = Tokens(line);
  ASSERT_EQ(tokens.size(), 81u);
  EXPECT_EQ(tokens[51], "t51");
  EXPECT_EQ(tokens[80], "t80");
}

TEST(ParamText, JoinsTokensFromNWithSingleBlanks) {
  EXPECT_EQ(ParamText(Tokens("DEMO  My   Demo"), 1), "My Demo");
  EXPECT_EQ(ParamText(Tokens("A bg.jpg \t"), 1), "bg.jpg");
  EXPECT_EQ(ParamText(Tokens("INIT"), 1), "");
  EXPECT_EQ(ParamText(Tokens("INIT"), 7), "");
  EXPECT_EQ(Token(Tokens("INIT"), 3), "");
}

TEST(Macros, ReplaceTheFirstOccurrenceInRegistrationOrder) {
  std::vector<std::string> names = {"$T"}, values = {"textures/title.jpg"};
  std::string line = "A $T";
  ApplyMacros(line, names, values);
  EXPECT_EQ(line, "A textures/title.jpg");
  line = "A $T $T";
  ApplyMacros(line, names, values);
  EXPECT_EQ(line, "A textures/title.jpg $T");

  // A value inserted by macro 0 is searched by macro 1, never the other way round.
  names = {"ONE", "TWO"};
  values = {"TWO", "2"};
  line = "ONE";
  ApplyMacros(line, names, values);
  EXPECT_EQ(line, "2");
  names = {"TWO", "ONE"};
  values = {"2", "TWO"};
  line = "ONE";
  ApplyMacros(line, names, values);
  EXPECT_EQ(line, "TWO");

  // Case-sensitive, and command words are substituted too.
  names = {"go"};
  values = {"INIT"};
  line = "GO go";
  ApplyMacros(line, names, values);
  EXPECT_EQ(line, "GO INIT");
}

TEST(Conversions, IntegersAreStrict) {
  int32_t v = 0;
  EXPECT_TRUE(TryTextToInt("800", v));
  EXPECT_EQ(v, 800);
  EXPECT_TRUE(TryTextToInt("  -42", v));
  EXPECT_EQ(v, -42);
  EXPECT_TRUE(TryTextToInt("+7", v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(TryTextToInt("$FF", v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(TryTextToInt("x1f", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(TryTextToInt("0X1F", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(TryTextToInt("-$10", v));
  EXPECT_EQ(v, -16);
  EXPECT_TRUE(TryTextToInt("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(TryTextToInt("-2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_TRUE(TryTextToInt("$FFFFFFFF", v));
  EXPECT_EQ(v, -1);
  for (const char* bad : {"12abc", "1 2", "", "0x", "$", "800 ", "-", "1.5", "2147483648",
                          "$100000000", "abc", " "}) {
    EXPECT_FALSE(TryTextToInt(bad, v)) << "'" << bad << "'";
  }
}

TEST(Conversions, FloatsAcceptBlanksSignFractionAndExponentOnly) {
  float v = 0;
  EXPECT_TRUE(TryTextToFloat("30 ", v));
  EXPECT_FLOAT_EQ(v, 30.0f);
  EXPECT_TRUE(TryTextToFloat("  -1.25  ", v));
  EXPECT_FLOAT_EQ(v, -1.25f);
  EXPECT_TRUE(TryTextToFloat("2.5e3", v));
  EXPECT_FLOAT_EQ(v, 2500.0f);
  EXPECT_TRUE(TryTextToFloat("1E-2", v));
  EXPECT_FLOAT_EQ(v, 0.01f);
  EXPECT_TRUE(TryTextToFloat(".5", v));
  EXPECT_FLOAT_EQ(v, 0.5f);
  EXPECT_TRUE(TryTextToFloat("5.", v));
  EXPECT_FLOAT_EQ(v, 5.0f);
  EXPECT_TRUE(TryTextToFloat("0.1", v));
  EXPECT_EQ(v, 0.1f);  // rounded once to the nearest float
  for (const char* bad : {"", " ", "abc", "1 2", "1,5", "inf", "nan", "0x1p3", "1e", "1e+",
                          ".", "-", "1.5x", "1e999"}) {
    EXPECT_FALSE(TryTextToFloat(bad, v)) << "'" << bad << "'";
  }
}

TEST(Conversions, FailuresThrowTheRunTimeMessages) {
  try {
    TextToInt("12abc");
    FAIL() << "no exception";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "'12abc' is not a valid integer value");
  }
  try {
    TextToFloat("");
    FAIL() << "no exception";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
  }
  // ParamInt reads the whole rest of the line: a second argument fails it.
  TParser parser;
  ParseLine(parser, "RESOLUTIONX 800 600");
  EXPECT_THROW(ParamInt(parser.Tokens, 1), FatalError);
  ParseLine(parser, "RESOLUTIONX 800 ");
  EXPECT_EQ(ParamInt(parser.Tokens, 1), 800);
  ParseLine(parser, "STARTTIME 30 ");
  EXPECT_FLOAT_EQ(ParamFloat(parser.Tokens, 1), 30.0f);
}

TEST(Conversions, DecimalPointDoesNotDependOnTheLocale) {
  // A comma locale makes the C library's own parsers read "1.5" as 1; the script must not.
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      comma = name;
      break;
    }
  }
  if (comma) {
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
  }
  float v = 0;
  EXPECT_TRUE(TryTextToFloat("1.5", v));
  EXPECT_FLOAT_EQ(v, 1.5f);
  EXPECT_FALSE(TryTextToFloat("1,5", v));
  std::setlocale(LC_NUMERIC, "C");
  if (!comma) GTEST_SKIP() << "no comma-decimal locale installed";
}

TEST(Conversions, ParamBoolIsTrueOnlyForTrueInAnyCase) {
  TParser parser;
  for (const char* yes :
       {"FULLSCREEN True", "FULLSCREEN TRUE", "FULLSCREEN true", "FULLSCREEN true "}) {
    ParseLine(parser, yes);
    EXPECT_TRUE(ParamBool(parser.Tokens, 1)) << yes;
  }
  for (const char* no : {"FULLSCREEN 1", "FULLSCREEN yes", "FULLSCREEN"}) {
    ParseLine(parser, no);
    EXPECT_FALSE(ParamBool(parser.Tokens, 1)) << no;
  }
}
