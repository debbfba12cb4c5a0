// Frame-level behaviour of the run loop with a recording effect, on the fixed-step clock:
// at 120 BPM and 8 frames per second every frame is one tracker row.
#include "common/Demotrack.h"
#include "demo/Vorpane.h"
#include "platform/Dialogs.h"
#include "support/GlContext.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

namespace {

struct RenderCall {
  float barTime, barRow, demoTime, frameTime;
  float inputs[kEffectInputCount];
  TTrigger triggers[kEffectTriggerCount];
  int setInputsCalls;
};

class RecordingEffect : public TVEffect {
 public:
  void SetInputs(const float* inputs) override {
    ++setInputsCalls;
    TVEffect::SetInputs(inputs);
  }
  void Render(const TFrameContext& frame, const float* inputs) override {
    RenderCall call;
    call.barTime = frame.BarTime;
    call.barRow = frame.BarRow;
    call.demoTime = frame.DemoTime;
    call.frameTime = frame.FrameTime;
    std::copy(inputs, inputs + kEffectInputCount, call.inputs);
    std::copy(Triggers, Triggers + kEffectTriggerCount, call.triggers);
    call.setInputsCalls = setInputsCalls;
    calls.push_back(call);
  }
  std::vector<RenderCall> calls;
  int setInputsCalls = 0;
};

// A demo from a script plus a demotrack (channels given as text, one line per row), running on
// the fixed-step clock from `fromRow` at one row per frame.
std::unique_ptr<TVDemo> MakeDemo(const std::string& script, const std::string& demotrack,
                                 int fromRow = 0) {
  TestGlWindow();
  const std::string folder = MakeTempFolder();
  TDemotrackGrid grid;
  std::string error;
  EXPECT_TRUE(ParseDemotrackText(demotrack, grid, error)) << error;
  EXPECT_TRUE(WriteDemotrack(folder + "/track.dtk", grid));
  WriteTextFile(folder, "test.vrp",
                "TRACKER " + folder + "/track.dtk\nBPM 120\n" + script);
  TDemoOptions options;
  options.FixedStep = true;
  options.Fps = 8;
  options.HasFrom = true;
  options.From = static_cast<float>(fromRow) / 8.0f;
  return std::make_unique<TVDemo>(folder + "/test.vrp", options);
}

std::string Rows(int count, const std::string& row = "1") {
  std::string text;
  for (int i = 0; i < count; ++i) text += row + "\n";
  return text;
}

}  // namespace

TEST(RunLoop, BarsRunOnTheirRowsOnly) {
  auto demo = MakeDemo("LOAD template 0\nBAR a\nMOUNT 1\nLENGTH 0 1\nBAR empty\nMOUNT 1\n",
                       Rows(200), 62);
  RecordingEffect effect;
  demo->InstallEffect(&effect, 0);
  std::vector<int> rowsRun;
  for (int row = 62; row <= 81; ++row) {
    const size_t before = effect.calls.size();
    demo->RenderFrame();
    if (effect.calls.size() > before) rowsRun.push_back(row);
  }
  ASSERT_EQ(rowsRun.size(), 16u);
  EXPECT_EQ(rowsRun.front(), 64);
  EXPECT_EQ(rowsRun.back(), 79);
  EXPECT_EQ(effect.setInputsCalls, 16);
  EXPECT_FLOAT_EQ(effect.calls[0].barRow, 0.0f);
  EXPECT_FLOAT_EQ(effect.calls[0].barTime, 0.0f);
  EXPECT_FLOAT_EQ(effect.calls[5].barRow, 5.0f);
  EXPECT_FLOAT_EQ(effect.calls[5].barTime, 0.625f);
  EXPECT_FLOAT_EQ(effect.calls[5].demoTime, 8.625f);
  EXPECT_FLOAT_EQ(effect.calls[5].frameTime, 0.125f);
}

TEST(RunLoop, TwoBarsOnOneSlotRunInScriptOrderWithTheirOwnInputs) {
  std::string track;
  for (int i = 0; i < 40; ++i) track += i == 8 ? "1 5 7\n" : "1 . .\n";
  auto demo = MakeDemo(
      "LOAD template 2\n"
      "BAR first\nLENGTH 0 2\nEFFECT 2\nINPUT 0 1 5 500 0\n"
      "BAR second\nLENGTH 0 2\nEFFECT 2\nINPUT 0 2 7 250 0\nINPUT 4 1 5 1000 0\n",
      track, 8);
  RecordingEffect effect;
  demo->InstallEffect(&effect, 2);
  demo->RenderFrame();  // row 8, time 1.0: both notes are on this row
  ASSERT_EQ(effect.calls.size(), 2u);
  EXPECT_FLOAT_EQ(effect.calls[0].inputs[0], 1.0f);
  EXPECT_FLOAT_EQ(effect.calls[0].inputs[4], 0.0f);
  EXPECT_EQ(effect.calls[0].setInputsCalls, 1);
  EXPECT_FLOAT_EQ(effect.calls[1].inputs[0], 1.0f);
  EXPECT_FLOAT_EQ(effect.calls[1].inputs[4], 1.0f);
  EXPECT_EQ(effect.calls[1].setInputsCalls, 2);
  demo->RenderFrame();  // row 9, 0.125 s later: the triangles have fallen by their widths
  ASSERT_EQ(effect.calls.size(), 4u);
  EXPECT_FLOAT_EQ(effect.calls[2].inputs[0], 0.75f);
  EXPECT_FLOAT_EQ(effect.calls[3].inputs[0], 0.5f);
  EXPECT_FLOAT_EQ(effect.calls[3].inputs[4], 0.875f);
  EXPECT_EQ(demo->CurrentBar, 1);
}

TEST(RunLoop, TriggersChangeOnlyOnEdges) {
  // Channel 0 keeps the track long; channel 1: off, on, on, off, on.
  auto demo = MakeDemo("LOAD template 0\nBAR a\nLENGTH 1\n",
                       "1 .\n1 3\n1 4\n1 .\n1 9\n" + Rows(20), 0);
  RecordingEffect effect;
  demo->InstallEffect(&effect, 0);
  demo->RenderFrame();
  EXPECT_EQ(effect.Triggers[1].Active, 0);
  demo->RenderFrame();
  EXPECT_EQ(effect.Triggers[1].Active, 1);
  EXPECT_EQ(effect.Triggers[1].Handled, 0);
  effect.Triggers[1].Handled = 1;  // the effect saw the edge
  demo->RenderFrame();             // still on (another value): no edge, Handled stays
  EXPECT_EQ(effect.Triggers[1].Active, 1);
  EXPECT_EQ(effect.Triggers[1].Handled, 1);
  demo->RenderFrame();  // falling edge resets Handled
  EXPECT_EQ(effect.Triggers[1].Active, 0);
  EXPECT_EQ(effect.Triggers[1].Handled, 0);
  // Channel 0 is on from the start; channels past the demotrack's read as 0.
  EXPECT_EQ(effect.Triggers[0].Active, 1);
  EXPECT_EQ(effect.Triggers[7].Active, 0);
}

TEST(RunLoop, EndsByEndTimeAndByTheDemotracksEnd) {
  // ENDTIME 1.00 at 8 frames a second: 8 frames, the last at 0.875 s.
  auto demo = MakeDemo("ENDTIME 100\nLOAD template 0\nBAR a\nLENGTH 4\n", Rows(100));
  RecordingEffect effect;
  demo->InstallEffect(&effect, 0);
  demo->Run();
  EXPECT_EQ(effect.calls.size(), 8u);
  EXPECT_FLOAT_EQ(effect.calls.back().demoTime, 0.875f);

  // A demotrack of 6 rows: the frame whose row equals the row count is the last one.
  demo = MakeDemo("LOAD template 0\nBAR a\nLENGTH 4\n", Rows(6));
  RecordingEffect second;
  demo->InstallEffect(&second, 0);
  demo->Run();
  ASSERT_EQ(second.calls.size(), 7u);
  EXPECT_FLOAT_EQ(second.calls.back().barRow, 6.0f);
}

TEST(RunLoop, ScriptFaultsAreReportedOnceNotEveryFrame) {
  auto demo = MakeDemo("LOAD template 0\nBAR a\nLENGTH 4\nEFFECT 3\nBAR b\nLENGTH 4\n"
                       "INPUT 0 9 1 100 0\n",
                       Rows(64));
  const int before = ErrorBoxCount();
  for (int i = 0; i < 10; ++i) demo->RenderFrame();
  // "Effect not installed: 3" for bar a, "Error reading demotrack 9" for bar b.
  EXPECT_EQ(ErrorBoxCount() - before, 2);

  // Bars without a tempo: reported once, and nothing divides by zero.
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "t.vrp", "TRACKER\nLOAD template 0\nBAR a\nLENGTH 4\n");
  TDemoOptions options;
  options.FixedStep = true;
  TVDemo noTempo(folder + "/t.vrp", options);
  const int start = ErrorBoxCount();
  for (int i = 0; i < 5; ++i) noTempo.RenderFrame();
  EXPECT_EQ(ErrorBoxCount() - start, 1);
  EXPECT_FALSE(noTempo.HasEnd());
}

TEST(RunLoop, ClosingTheWindowEndsTheRunAfterTheFrame) {
  auto demo = MakeDemo("LOAD template 0\nBAR a\nLENGTH 4\n", Rows(64));
  RecordingEffect effect;
  demo->InstallEffect(&effect, 0);
  demo->RenderFrame();
  EXPECT_FALSE(demo->QuitRequested);
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_Event quit = {};
  quit.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  demo->RenderFrame();  // the frame completes, then the close request ends the run
  EXPECT_EQ(effect.calls.size(), 2u);
  EXPECT_TRUE(demo->QuitRequested);
  demo->Run();  // ends before drawing another frame
  EXPECT_EQ(effect.calls.size(), 2u);
}
