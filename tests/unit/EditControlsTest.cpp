// The edit keys as a state machine: pause, seeks and their limits, loop marks and the wrap, the
// key mapping and the status line; and the command line of an edit run.
#include "app/CommandLine.h"
#include "authoring/EditControls.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TDemoTracker TrackerAt(float bpm) {
  TDemoTracker tracker;
  tracker.BPM = bpm;
  return tracker;
}

}  // namespace

TEST(EditControls, PauseAndTheThreeSeekSizesStopAtTheStartAndTheEnd) {
  const TDemoTracker tracker = TrackerAt(120.0f);  // a row is 1/8 s
  TEditControls controls(/*home*/ 4.0f, /*first*/ 1.0f, /*last*/ 30.0f);
  EXPECT_FALSE(controls.Paused());
  TEditActions actions = controls.Press(TEditKey::PauseResume, 5.0f, &tracker);
  EXPECT_TRUE(actions.PauseChanged);
  EXPECT_FALSE(actions.Seek);
  EXPECT_TRUE(controls.Paused());
  // Seeks keep the pause and move by the rows' seconds, wherever in a row the time is.
  const struct {
    TEditKey key;
    float expected;
  } seeks[] = {{TEditKey::BeatForward, 10.55f},  {TEditKey::BeatBack, 9.55f},
               {TEditKey::BarForward, 12.05f},   {TEditKey::BarBack, 8.05f},
               {TEditKey::PageForward, 18.05f},  {TEditKey::PageBack, 2.05f}};
  for (const auto& seek : seeks) {
    actions = controls.Press(seek.key, 10.05f, &tracker);
    EXPECT_TRUE(actions.Seek);
    EXPECT_FLOAT_EQ(actions.SeekTime, seek.expected) << static_cast<int>(seek.key);
  }
  EXPECT_TRUE(controls.Paused());
  // Clamped: back from near the start stops at the first time, forward near the end at the last.
  EXPECT_FLOAT_EQ(controls.Press(TEditKey::PageBack, 3.0f, &tracker).SeekTime, 1.0f);
  EXPECT_FLOAT_EQ(controls.Press(TEditKey::BeatBack, 1.2f, &tracker).SeekTime, 1.0f);
  EXPECT_FLOAT_EQ(controls.Press(TEditKey::PageForward, 29.0f, &tracker).SeekTime, 30.0f);
  actions = controls.Press(TEditKey::Home, 20.0f, &tracker);
  EXPECT_TRUE(actions.Seek);
  EXPECT_FLOAT_EQ(actions.SeekTime, 4.0f);
  controls.Press(TEditKey::PauseResume, 4.0f, &tracker);
  EXPECT_FALSE(controls.Paused());

  // The tempo sizes the seeks (60 BPM: a beat is one second); no tempo counts as 120 BPM.
  const TDemoTracker slow = TrackerAt(60.0f);
  EXPECT_FLOAT_EQ(controls.Press(TEditKey::BeatForward, 5.0f, &slow).SeekTime, 6.0f);
  EXPECT_FLOAT_EQ(controls.Press(TEditKey::BeatForward, 5.0f, nullptr).SeekTime, 5.5f);
  // Without an end, forward seeks are not held back.
  TEditControls endless(0.0f, 0.0f, -1.0f);
  EXPECT_FLOAT_EQ(endless.Press(TEditKey::PageForward, 1000.0f, &tracker).SeekTime, 1008.0f);

  // The requests carry no state of their own.
  EXPECT_TRUE(controls.Press(TEditKey::ToggleTimer, 0, &tracker).ToggleTimer);
  EXPECT_TRUE(controls.Press(TEditKey::Screenshot, 0, &tracker).Screenshot);
  EXPECT_TRUE(controls.Press(TEditKey::Reload, 0, &tracker).Reload);
  EXPECT_TRUE(controls.Press(TEditKey::Quit, 0, &tracker).Quit);
  actions = controls.Press(TEditKey::None, 3.0f, &tracker);
  EXPECT_FALSE(actions.Seek || actions.PauseChanged || actions.Quit || actions.Screenshot);
}

TEST(EditControls, LoopMarksInEitherOrderGiveOneRangeAndPlayWrapsAtItsEnd) {
  const TDemoTracker tracker = TrackerAt(120.0f);
  int32_t first = 0, last = 0;
  for (bool startFirst : {true, false}) {
    TEditControls controls(0.0f, 0.0f, 100.0f);
    EXPECT_FALSE(controls.LoopRange(&first, &last));
    // Rows 16 (2 s) and 48 (6 s); the times are inside the rows.
    controls.Press(startFirst ? TEditKey::MarkLoopStart : TEditKey::MarkLoopEnd, 2.06f, &tracker);
    controls.Press(startFirst ? TEditKey::MarkLoopEnd : TEditKey::MarkLoopStart, 6.1f, &tracker);
    ASSERT_TRUE(controls.LoopRange(&first, &last));
    EXPECT_EQ(first, 16);
    EXPECT_EQ(last, 48);
    float to = -1.0f;
    EXPECT_FALSE(controls.LoopActive());
    EXPECT_FALSE(controls.LoopWrap(7.0f, &tracker, &to)) << "looping is off";
    controls.Press(TEditKey::ToggleLoop, 3.0f, &tracker);
    EXPECT_TRUE(controls.LoopActive());
    EXPECT_FALSE(controls.LoopWrap(5.99f, &tracker, &to));
    EXPECT_FALSE(controls.LoopWrap(1.0f, &tracker, &to)) << "before the loop plays on into it";
    ASSERT_TRUE(controls.LoopWrap(6.0f, &tracker, &to));
    EXPECT_FLOAT_EQ(to, 2.0f);
    ASSERT_TRUE(controls.LoopWrap(50.0f, &tracker, &to));
    EXPECT_FLOAT_EQ(to, 2.0f);
    controls.Press(TEditKey::ToggleLoop, 3.0f, &tracker);
    EXPECT_FALSE(controls.LoopWrap(7.0f, &tracker, &to));
  }
  // Both marks on one row make no loop.
  TEditControls same(0.0f, 0.0f, 100.0f);
  same.Press(TEditKey::MarkLoopStart, 2.0f, &tracker);
  same.Press(TEditKey::MarkLoopEnd, 2.1f, &tracker);
  same.Press(TEditKey::ToggleLoop, 2.1f, &tracker);
  float to = -1.0f;
  EXPECT_FALSE(same.LoopActive());
  EXPECT_FALSE(same.LoopWrap(3.0f, &tracker, &to));
}

TEST(EditControls, RowStartTimesLandInTheirRowAtAwkwardTempos) {
  for (float bpm : {120.0f, 125.0f, 133.0f, 97.3f, 171.0f}) {
    const TDemoTracker tracker = TrackerAt(bpm);
    for (int32_t row = 0; row < 5000; row += 7)
      ASSERT_EQ(tracker.TimeToRow(RowStartTime(tracker, row)), row) << bpm << " " << row;
  }
}

TEST(EditControls, KeysMapToActionsAndHeldKeysRepeatOnlyTheSeeks) {
  EXPECT_EQ(EditKeyFromPress(SDLK_SPACE, 0, false), TEditKey::PauseResume);
  EXPECT_EQ(EditKeyFromPress(SDLK_LEFT, 0, false), TEditKey::BeatBack);
  EXPECT_EQ(EditKeyFromPress(SDLK_RIGHT, 0, false), TEditKey::BeatForward);
  EXPECT_EQ(EditKeyFromPress(SDLK_LEFT, KMOD_LSHIFT, false), TEditKey::BarBack);
  EXPECT_EQ(EditKeyFromPress(SDLK_RIGHT, KMOD_RSHIFT, false), TEditKey::BarForward);
  EXPECT_EQ(EditKeyFromPress(SDLK_PAGEUP, 0, false), TEditKey::PageBack);
  EXPECT_EQ(EditKeyFromPress(SDLK_PAGEDOWN, 0, false), TEditKey::PageForward);
  EXPECT_EQ(EditKeyFromPress(SDLK_HOME, 0, false), TEditKey::Home);
  EXPECT_EQ(EditKeyFromPress(SDLK_LEFTBRACKET, 0, false), TEditKey::MarkLoopStart);
  EXPECT_EQ(EditKeyFromPress(SDLK_RIGHTBRACKET, 0, false), TEditKey::MarkLoopEnd);
  EXPECT_EQ(EditKeyFromPress(SDLK_l, 0, false), TEditKey::ToggleLoop);
  EXPECT_EQ(EditKeyFromPress(SDLK_t, 0, false), TEditKey::ToggleTimer);
  EXPECT_EQ(EditKeyFromPress(SDLK_F12, 0, false), TEditKey::Screenshot);
  EXPECT_EQ(EditKeyFromPress(SDLK_F5, 0, false), TEditKey::Reload);
  EXPECT_EQ(EditKeyFromPress(SDLK_ESCAPE, 0, false), TEditKey::Quit);
  EXPECT_EQ(EditKeyFromPress(SDLK_a, 0, false), TEditKey::None);
  // A held seek key keeps seeking; a held Space does not pause and resume on every repeat.
  EXPECT_EQ(EditKeyFromPress(SDLK_RIGHT, KMOD_SHIFT, true), TEditKey::BarForward);
  EXPECT_EQ(EditKeyFromPress(SDLK_PAGEDOWN, 0, true), TEditKey::PageForward);
  for (SDL_Keycode key : {SDLK_SPACE, SDLK_l, SDLK_t, SDLK_F12, SDLK_F5, SDLK_LEFTBRACKET})
    EXPECT_EQ(EditKeyFromPress(key, 0, true), TEditKey::None) << key;
}

TEST(EditControls, StatusLineShowsStateTimeRowAndLoop) {
  const TDemoTracker tracker = TrackerAt(120.0f);
  TEditControls controls(0.0f, 0.0f, -1.0f);
  controls.Press(TEditKey::PauseResume, 0.0f, &tracker);
  EXPECT_EQ(FormatEditStatus(controls, 12.345f, 64 + 2 * 16 + 3 * 4 + 1),
            "PAUSED  12.35 s  row 1:2:3:1");
  controls.Press(TEditKey::MarkLoopEnd, 8.0f, &tracker);     // row 64
  controls.Press(TEditKey::MarkLoopStart, 2.0f, &tracker);   // row 16
  EXPECT_EQ(FormatEditStatus(controls, 0.5f, 4),
            "PAUSED  0.50 s  row 0:0:1:0  loop 0:1:0:0 - 1:0:0:0 (off)");
  controls.Press(TEditKey::ToggleLoop, 0.0f, &tracker);
  controls.Press(TEditKey::PauseResume, 0.0f, &tracker);
  EXPECT_EQ(FormatEditStatus(controls, 3.0f, 24), "LOOP  3.00 s  row 0:1:2:0  loop 0:1:0:0 - 1:0:0:0");
  EXPECT_EQ(FormatHundredths(-1.005f), "-1.00");
  EXPECT_EQ(FormatHundredths(7.0f), "7.00");
  EXPECT_EQ(FormatHundredths(NAN), "0.00");
}

TEST(EditControls, CommandLineTakesEditStartAndNoVsyncForRealTimeRunsOnly) {
  TCommandLine parsed = ParseCommandLine({"--edit", "--start", "12.5", "--no-vsync", "a.vrp"});
  EXPECT_EQ(parsed.ExitStatus, -1) << parsed.Message;
  EXPECT_TRUE(parsed.Edit);
  EXPECT_TRUE(parsed.Options.HasStart);
  EXPECT_FLOAT_EQ(parsed.Options.Start, 12.5f);
  EXPECT_TRUE(parsed.Options.NoVsync);
  EXPECT_EQ(parsed.Script, "a.vrp");
  parsed = ParseCommandLine({});
  EXPECT_FALSE(parsed.Edit || parsed.Options.HasStart || parsed.Options.NoVsync);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--edit", "--capture", "out"}, {"--edit", "--benchmark"},
        {"--start", "3", "--benchmark"}, {"--start", "nan"}, {"--start", "inf", "--edit"}}) {
    parsed = ParseCommandLine(arguments);
    EXPECT_EQ(parsed.ExitStatus, 2) << arguments[0] << " " << arguments[1];
    EXPECT_FALSE(parsed.Message.empty());
  }
  EXPECT_EQ(ParseCommandLine({"--capture", "out", "--no-vsync"}).ExitStatus, -1);
}
