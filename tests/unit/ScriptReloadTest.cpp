// Reading the script again while the demo runs (no window here): the timeline and settings are
// rebuilt and the demo time kept, a script that cannot be read keeps the previous timeline, the
// music stream is kept or replaced, models are read once per file version, and the watcher
// looks at the disk about once a second and reports a change once it has held still.
#include "common/TestAudio.h"
#include "authoring/ScriptReload.h"
#include "authoring/ScriptWatcher.h"
#include "effects/ModelLoading.h"
#include "platform/Dialogs.h"
#include "platform/KestoBASS.h"
#include "support/SampleProduction.h"
#include "support/ScriptDemo.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {


std::vector<std::string> BarNames(const TVDemo& demo) {
  std::vector<std::string> names;
  for (const TScriptBar& bar : demo.Bars) names.push_back(bar.Name);
  return names;
}

const char kFirstScript[] =
    "REGISTER @SLOT 1\n"
    "TRACKER\nBPM 125\nCLEARCOLOR 255 0 0 255\n"
    "LOAD plaincolor @SLOT\n"
    "BAR intro\nMOUNT 0\nLENGTH 4\nEFFECT @SLOT\n";

}  // namespace

TEST(ScriptReload, RebuildsTimelineAndSettingsAndKeepsTheDemoTime) {
  auto demo = DemoFromScript(kFirstScript);
  ASSERT_EQ(BarNames(*demo), std::vector<std::string>{"intro"});
  ASSERT_EQ(demo->MacroNames.size(), 1u);
  demo->Time = 3.0f;

  WriteTextFile(demo->ScriptPath().substr(0, demo->ScriptPath().rfind('/')), "test.vrp",
                "STARTTIME 1\nSPEED 200\nSHOWTIMER true\nENDTIME 9000\n"
                "TRACKER\nBPM 140\n"
                "LOAD plaincolor 3\nLOAD flash 4\n"
                "BAR first\nMOUNT 1\nLENGTH 4\nEFFECT 3\n"
                "BAR second\nMOUNT 0 1\nLENGTH 8\nEFFECT 4\n");
  std::string message;
  ASSERT_TRUE(ReloadScript(*demo, message)) << message;
  EXPECT_EQ(message, "");
  EXPECT_EQ(BarNames(*demo), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(demo->Bars[1].Mount, 16);
  EXPECT_TRUE(demo->MacroNames.empty());
  ASSERT_NE(demo->Tracker, nullptr);
  EXPECT_FLOAT_EQ(demo->Tracker->BPM, 140.0f);
  ASSERT_EQ(demo->EffectSlots.size(), 5u);
  EXPECT_EQ(demo->EffectSlots[1], nullptr);
  ASSERT_NE(demo->EffectSlots[4], nullptr);
  EXPECT_EQ(demo->EffectSlots[4]->Index, 4);
  // Settings not given again go back to their defaults; given ones follow the script.
  EXPECT_FLOAT_EQ(demo->ClearColor[0], 0.0f);
  EXPECT_TRUE(demo->ShowTimer);
  EXPECT_FLOAT_EQ(demo->EndTime, 90.0f);
  EXPECT_FLOAT_EQ(demo->StartTime, 1.0f);
  EXPECT_FLOAT_EQ(demo->Speed, 2.0f);
  // The demo time stays, and the timer goes on from it under the new start time and speed.
  EXPECT_FLOAT_EQ(demo->Time, 3.0f);
  demo->Clock.Tick();
  EXPECT_NEAR(demo->Clock.Time(), 3.0f, 0.1f);
  EXPECT_EQ(ErrorBoxCount(), 0);
}

TEST(ScriptReload, AScriptThatCannotBeReadKeepsThePreviousTimeline) {
  auto demo = DemoFromScript(kFirstScript);
  const std::string path = demo->ScriptPath();
  const std::string folder = path.substr(0, path.rfind('/'));
  TVEffect* const effect = demo->EffectSlots[1];
  demo->Time = 5.0f;

  struct Case {
    std::string script;
    std::string message;  // what the message says after the file name
  };
  const Case cases[] = {
      {"TRACKER\nBPM 125\nLOAD flash 2\nBAR x\nMOUNT 0 1x\n",
       ":5: '1x' is not a valid integer value"},
      {"LOAD flash 2\nTRACKER " + folder + "/missing.dtk\nBAR x\n",
       ":2: Cannot open file " + folder + "/missing.dtk"},
      {"LOAD flash 2\nBAR x\nEFFECT 2\n", ": The script has bars but no TRACKER"},
      {"// all gone\r\n\t \n", ": The script is empty"},
  };
  for (const Case& c : cases) {
    WriteTextFile(folder, "test.vrp", c.script);
    std::string message;
    EXPECT_FALSE(ReloadScript(*demo, message)) << c.script;
    EXPECT_EQ(message.rfind(path + c.message, 0), 0u) << message;
    EXPECT_EQ(BarNames(*demo), std::vector<std::string>{"intro"});
    ASSERT_EQ(demo->EffectSlots.size(), 2u);
    EXPECT_EQ(demo->EffectSlots[1], effect);
    EXPECT_FLOAT_EQ(demo->ClearColor[0], 1.0f);
    EXPECT_FLOAT_EQ(demo->Tracker->BPM, 125.0f);
    EXPECT_EQ(demo->MacroNames.size(), 1u);
    EXPECT_FLOAT_EQ(demo->Time, 5.0f);
  }
  ASSERT_EQ(::unlink(path.c_str()), 0);
  std::string message;
  EXPECT_FALSE(ReloadScript(*demo, message));
  EXPECT_NE(message.find("Cannot open file"), std::string::npos) << message;
  EXPECT_EQ(demo->EffectSlots[1], effect);

  // Errors that do not stop the reading are reported with their line; the reload goes on.
  WriteTextFile(folder, "test.vrp",
                "TRACKER\nBPM 125\nLOAD nosuch 2\nLOAD plaintexture 3\nBAR y\nEFFECT 2\n");
  EXPECT_TRUE(ReloadScript(*demo, message));
  EXPECT_EQ(message, path + ":3: No such effect in demo: nosuch");
  EXPECT_EQ(BarNames(*demo), std::vector<std::string>{"y"});
  // PlainTexture without a picture ends a plain run; a reload leaves the session running.
  EXPECT_FALSE(demo->QuitRequested);
  EXPECT_EQ(ErrorBoxCount(), 0);
}

TEST(ScriptReload, AFailedReloadLeavesEveryPerSlotListMatchingThePlayingSlots) {
  auto demo = DemoFromScript("TRACKER\nBPM 125\nLOAD flash 1\nLOAD plaincolor 0\n"
                             "BAR a\nLENGTH 4\nEFFECT 1\n");
  const std::string path = demo->ScriptPath();
  const std::vector<TVEffect*> slots = demo->EffectSlots;
  ASSERT_EQ(slots.size(), 2u);
  ASSERT_EQ(demo->SlotTypes, (std::vector<std::string>{"plaincolor", "flash"}));
  ASSERT_EQ(demo->EffectSlotLines, (std::vector<int32_t>{4, 3}));

  // More slots, other types and lines, and a line at the end that stops the read.
  WriteTextFile(path.substr(0, path.rfind('/')), "test.vrp",
                "LOAD plaincolor 4\nLOAD flash 0\nTRACKER\nBPM 125\nLOAD nosuch 2\n"
                "BAR x\nMOUNT 1x\n");
  std::string message;
  ASSERT_FALSE(ReloadScript(*demo, message));
  EXPECT_EQ(demo->EffectSlots, slots);
  EXPECT_EQ(demo->SlotTypes, (std::vector<std::string>{"plaincolor", "flash"}));
  EXPECT_EQ(demo->EffectSlotLines, (std::vector<int32_t>{4, 3}));
  for (size_t slot = 0; slot < demo->EffectSlots.size(); ++slot)
    EXPECT_EQ(demo->EffectSlots[slot]->Index, static_cast<int32_t>(slot));
}

TEST(ScriptReload, LoadMusicKeepsTheSameStreamAndPlaysAnotherFileFromTheDemoTime) {
  const std::string folder = MakeTempFolder();
  std::string error;
  TPcm16 pcm;
  pcm.SampleRate = 8000;
  pcm.Channels = 1;
  pcm.Samples.assign(8000 * 20, 100);
  ASSERT_TRUE(WriteAudioFile(folder + "/a.wav", pcm, TAudioFormat::Wav, error)) << error;
  ASSERT_TRUE(WriteAudioFile(folder + "/b.wav", pcm, TAudioFormat::Wav, error)) << error;
  // Names resolve against the script's folder, at the first read and at each reload.
  WriteTextFile(folder, "test.vrp", "LOADMUSIC a.wav\nSPEED 100\n");
  TVDemo demo(folder + "/test.vrp");
  ASSERT_TRUE(demo.MusicLoaded);
  const uint32_t first = demo.Music;
  demo.Time = 2.0f;

  std::string message;
  ASSERT_TRUE(ReloadScript(demo, message)) << message;
  EXPECT_EQ(demo.Music, first);
  EXPECT_EQ(StreamFrequency(first + 1), 0u);  // no stream was opened

  WriteTextFile(folder, "test.vrp", "LOADMUSIC b.wav\nSPEED 50\n");
  ASSERT_TRUE(ReloadScript(demo, message)) << message;
  EXPECT_NE(demo.Music, first);
  EXPECT_EQ(demo.MusicFile, "b.wav");
  EXPECT_EQ(StreamFrequency(first), 0u);  // the old stream is gone
  EXPECT_EQ(StreamFrequency(demo.Music), 4000u);
  const float position = StreamPosition(demo.Music);
  EXPECT_GE(position, 2.0f);
  EXPECT_LT(position, 2.6f);

  // A file that cannot be opened keeps the music that plays.
  const uint32_t second = demo.Music;
  WriteTextFile(folder, "test.vrp", "LOADMUSIC " + folder + "/none.wav\nSPEED 50\n");
  EXPECT_TRUE(ReloadScript(demo, message));
  EXPECT_NE(message.find(":1: Cannot load music"), std::string::npos) << message;
  EXPECT_EQ(demo.Music, second);
  EXPECT_EQ(StreamFrequency(second), 4000u);
}

TEST(ModelCache, AModelFileIsReadOncePerVersionAndEachEffectGetsItsOwnCopy) {
  const std::string folder = MakeTempFolder();
  const std::string model = folder + "/box.3ds";
  {
    std::ifstream in(BuiltSampleProduction() + "/boxpixel.3ds", std::ios::binary);
    std::ofstream out(model, std::ios::binary);
    out << in.rdbuf();
  }
  TVEffect effect;
  std::unique_ptr<TKGLBrush> first = LoadEffectModel(effect, model);
  ASSERT_TRUE(first);
  const TVec3 corner = first->Meshes[0]->Vertices[0];
  first->ScaleAll({2, 2, 2});
  std::unique_ptr<TKGLBrush> second = LoadEffectModel(effect, model);
  ASSERT_TRUE(second);
  EXPECT_EQ(ModelFileReadCount(), 1);
  EXPECT_FLOAT_EQ(second->Meshes[0]->Vertices[0].X, corner.X);
  EXPECT_FLOAT_EQ(second->Meshes[0]->Vertices[0].Y, corner.Y);
  EXPECT_EQ(second->MeshCount, first->MeshCount);

  ASSERT_TRUE(SetModifiedTime(model, 1000000)) << model;
  ASSERT_TRUE(LoadEffectModel(effect, model));
  EXPECT_EQ(ModelFileReadCount(), 2);
  ASSERT_TRUE(LoadEffectModel(effect, model));
  EXPECT_EQ(ModelFileReadCount(), 2);
  // A file that does not read is reported each time and never kept.
  WriteTextFile(folder, "box.3ds", "not a model");
  EXPECT_FALSE(LoadEffectModel(effect, model));
  EXPECT_TRUE(effect.LoadFailed);
  EXPECT_EQ(ModelFileReadCount(), 3);
}

TEST(ScriptWatcher, FiresOnceForEachChangeThatHeldStillAndLooksAtMostOncePerInterval) {
  const std::string folder = MakeTempFolder();
  const std::string path = folder + "/s.vrp";
  WriteTextFile(folder, "s.vrp", "INIT\n");
  TScriptWatcher watcher(path, 1.0, 0.25);
  EXPECT_FALSE(watcher.Changed(10.0));
  EXPECT_FALSE(watcher.Changed(10.5));
  EXPECT_EQ(watcher.Looks(), 1);

  WriteTextFile(folder, "s.vrp", "INIT\nBAR a\n");
  EXPECT_FALSE(watcher.Changed(10.9));  // not yet looked at again
  EXPECT_EQ(watcher.Looks(), 1);
  EXPECT_FALSE(watcher.Changed(11.0));  // seen, not yet held still
  EXPECT_TRUE(watcher.Changed(11.3));
  EXPECT_FALSE(watcher.Changed(12.3));
  EXPECT_EQ(watcher.Looks(), 4);

  // Emptied, then written before it held still: only the written file counts.
  WriteTextFile(folder, "s.vrp", "");
  EXPECT_FALSE(watcher.Changed(13.3));
  WriteTextFile(folder, "s.vrp", "INIT\nBAR bb\n");
  EXPECT_FALSE(watcher.Changed(13.6));
  EXPECT_TRUE(watcher.Changed(13.9));
  // Same size, another modification time.
  ASSERT_TRUE(SetModifiedTime(path, 2000000)) << path;
  EXPECT_FALSE(watcher.Changed(15.0));
  EXPECT_TRUE(watcher.Changed(15.3));
  // Gone (an editor that writes a new file and renames it), then back.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_FALSE(watcher.Changed(16.3));
  EXPECT_TRUE(watcher.Changed(16.6));
  WriteTextFile(folder, "s.vrp", "INIT\nBAR a\n");
  EXPECT_FALSE(watcher.Changed(17.6));
  EXPECT_TRUE(watcher.Changed(17.9));
  // A change taken as read (a reload asked for by hand) does not fire again.
  WriteTextFile(folder, "s.vrp", "INIT\n");
  EXPECT_FALSE(watcher.Changed(18.9));
  watcher.MarkRead();
  EXPECT_FALSE(watcher.Changed(19.2));
}
