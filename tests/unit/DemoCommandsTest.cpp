// The script's command table, read through a TVDemo built from a script file (no window).
#include "demo/Vorpane.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "support/TestSystem.h"
#include "support/ScriptDemo.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

TEST(DemoObject, DefaultsAndTitle) {
  auto demo = DemoFromScript("");
  EXPECT_EQ(demo->ResolutionX, 640);
  EXPECT_EQ(demo->ResolutionY, 480);
  EXPECT_EQ(demo->ColorDepth, 16);
  EXPECT_FALSE(demo->Fullscreen);
  EXPECT_FLOAT_EQ(demo->Speed, 1.0f);
  EXPECT_FLOAT_EQ(demo->EndTime, -1.0f);
  EXPECT_TRUE(demo->Exclusive);
  EXPECT_EQ(demo->ClearColor[3], 1.0f);
  EXPECT_EQ(demo->ComposeTitle(), "Vorpane Demoengine 0.1");
  demo = DemoFromScript("DEMO Solo\nYEAR 2026\n");
  EXPECT_EQ(demo->ComposeTitle(), "Solo :: 2026 :: Vorpane Demoengine 0.1");
  demo = DemoFromScript("GROUP Crew\nPARTY Party\nVERSION 2\n");
  EXPECT_EQ(demo->ComposeTitle(), "by Crew :: Party :: 2 :: Vorpane Demoengine 0.1");

  demo = DemoFromScript("DEMO  My   Demo\nGROUP Crew \nPARTY Party\nYEAR 2026\nVERSION final\n");
  EXPECT_EQ(demo->DemoName, "My Demo");
  EXPECT_EQ(demo->GroupName, "Crew");
  EXPECT_EQ(demo->ComposeTitle(),
            "My Demo by Crew :: Party 2026 :: final :: Vorpane Demoengine 0.1");
}

TEST(DemoObject, SettingCommandsConvertTheirArguments) {
  auto demo = DemoFromScript(
      "RESOLUTIONX 800\r\nRESOLUTIONY $258\rCOLORDEPTH 32\nFULLSCREEN True\nSTARTTIME 30 \n"
      "SHOWTIMER TRUE\nSPEED 50 \nLOADINGSCREEN pics/load ing.jpg\nENDTIME 1234\n"
      "CLEARCOLOR 255 0 51 255\nEXCLUSIVE false\ndemo lower case does nothing\n"
      "NOSUCHCOMMAND 1 2 3\n");
  EXPECT_EQ(demo->ResolutionX, 800);
  EXPECT_EQ(demo->ResolutionY, 600);
  EXPECT_EQ(demo->ColorDepth, 32);
  EXPECT_TRUE(demo->Fullscreen);
  EXPECT_FLOAT_EQ(demo->StartTime, 30.0f);
  EXPECT_TRUE(demo->ShowTimer);
  EXPECT_FLOAT_EQ(demo->Speed, 0.5f);
  EXPECT_EQ(demo->LoadingScreen, "pics/load ing.jpg");
  EXPECT_FLOAT_EQ(demo->EndTime, 12.34f);
  EXPECT_FLOAT_EQ(demo->ClearColor[0], 1.0f);
  EXPECT_FLOAT_EQ(demo->ClearColor[1], 0.0f);
  EXPECT_FLOAT_EQ(demo->ClearColor[2], 0.2f);
  EXPECT_FALSE(demo->Exclusive);
  EXPECT_EQ(demo->DemoName, "");
}

TEST(DemoObject, ConversionFailuresEndTheReadWithTheMessage) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"RESOLUTIONX 8OO \n", "'8OO' is not a valid integer value"},
      {"RESOLUTIONX 800 600\n", "'800 600' is not a valid integer value"},
      {"DRAWLOADING\n", "'' is not a valid floating point value"},
      {"SPEED\n", "'' is not a valid integer value"},
      {"CLEARCOLOR 1 2 3\n", "'' is not a valid integer value"},
      {"STARTTIME 1,5\n", "'1,5' is not a valid floating point value"},
  };
  for (const Case& c : cases) {
    try {
      DemoFromScript(c.script);
      ADD_FAILURE() << "no error for " << c.script;
    } catch (const FatalError& e) {
      EXPECT_EQ(std::string(e.what()), c.message) << c.script;
    }
  }
  try {
    TVDemo demo("/nonexistent/folder/moltrax.vrp");
    ADD_FAILURE() << "no error for a missing script";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file /nonexistent/folder/moltrax.vrp");
  }
}

TEST(DemoObject, RegisterAndUnregisterMacros) {
  auto demo = DemoFromScript(
      "REGISTER $T textures/title.jpg\n"
      "DEMO $T $T\n"
      "REGISTER FOO bar\n"
      "GROUP FOO\n"
      "UNREGISTER FOO\n"
      "PARTY FOO\n"
      "REGISTER $Y 20$T\n"
      "YEAR $Y\n");
  EXPECT_EQ(demo->DemoName, "textures/title.jpg $T");
  EXPECT_EQ(demo->GroupName, "bar");
  EXPECT_EQ(demo->PartyName, "FOO");
  // The REGISTER line itself was substituted before it ran.
  EXPECT_EQ(demo->Year, "20textures/title.jpg");
  ASSERT_EQ(demo->MacroNames.size(), 2u);
  EXPECT_EQ(demo->MacroNames[1], "$Y");

  // A REGISTER takes effect from the next line on.
  demo = DemoFromScript("REGISTER NAME DEMO NAME\nNAME\n");
  EXPECT_EQ(demo->MacroValues[0], "DEMO NAME");
  EXPECT_EQ(demo->DemoName, "NAME");
}

TEST(DemoObject, DataDirMovesWhereNamesResolveNotTheCurrentFolder) {
  char before[PATH_MAX];
  ASSERT_TRUE(getcwd(before, sizeof before));
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(MakeFolders(folder + "/Data"));
  // One channel of two rows, found from DATADIR with the name's case as a Windows author wrote it.
  WriteTextFile(folder + "/Data", "song.trk", std::string("\1\0\0\0\2\0\0\0\0\7", 10));
  WriteTextFile(folder, "test.vrp",
                "DATADIR /no/such/folder\nDATADIR data\nTRACKER SONG.TRK\nDATADIR " + folder + "\n");
  TVDemo demo(folder + "/test.vrp");
  char after[PATH_MAX];
  ASSERT_TRUE(getcwd(after, sizeof after));
  EXPECT_EQ(std::string(after), std::string(before));
  EXPECT_EQ(demo.ReadContext.Folder(), folder);
  ASSERT_NE(demo.Tracker, nullptr);
  EXPECT_EQ(demo.Tracker->ByteAt(0, 1), 7);
  // A reader's errors go to the context's sink when one is set.
  TReadContext files = demo.ReadContext;
  std::vector<std::string> errors;
  files.SetErrorSink([&](const std::string& text) { errors.push_back(text); });
  TDemoTracker().LoadDemotrackBytes(std::vector<uint8_t>(3, 0xFF), "cut.trk", files);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Demotrack cut.trk ", 0), 0u) << errors[0];
}
