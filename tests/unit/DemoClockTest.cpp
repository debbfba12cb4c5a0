// The demo clock and where its start and the run's defaults come from.
#include "app/CommandLine.h"
#include "authoring/ScriptReload.h"
#include "demo/DemoClock.h"
#include "support/ScriptDemo.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

TEST(DemoClock, SeeksPausesLoopsAndChangesSpeedWithoutAJump) {
  TDemoClock clock;
  clock.Start(10.0f, 1.0f);
  clock.Seek(42.5f);
  EXPECT_EQ(clock.Time(), 42.5f);
  EXPECT_EQ(clock.FrameDuration(), 0.0f) << "a seek's frame has no length";
  clock.SetPaused(true);
  SDL_Delay(20);
  clock.Tick();
  EXPECT_EQ(clock.Time(), 42.5f) << "paused, the time holds";
  EXPECT_EQ(clock.FrameDuration(), 0.0f) << "and stepping effects stand still";
  clock.SetPaused(false);
  clock.SetLoop(true, 40.0f, 42.5f);
  clock.Tick();
  ASSERT_TRUE(clock.WrapLoop());
  EXPECT_EQ(clock.Time(), 40.0f);
  clock.SetLoop(false, 0.0f, 0.0f);
  clock.Tick();
  EXPECT_FALSE(clock.WrapLoop());
  // A new speed goes on from the time given: 10 ms at 1000 times are at least 10 s.
  clock.ContinueFrom(3.0f, 1000.0f);
  SDL_Delay(10);
  clock.Tick();
  EXPECT_GE(clock.Time(), 12.9f);
}

TEST(DemoClock, StartOptionLeavesTheScriptsStartTimeAndDefaultsAreResolvedOnce) {
  TDemoOptions options;
  options.HasStart = true;
  options.Start = 2.0f;
  auto demo = DemoFromScript("STARTTIME 5\n", options);
  EXPECT_EQ(demo->StartTime, 5.0f);
  EXPECT_EQ(demo->PlayStartTime(), 2.0f);
  std::string message;
  ASSERT_TRUE(ReloadScript(*demo, message)) << message;
  EXPECT_EQ(demo->StartTime, 5.0f) << "a reload reads STARTTIME afresh, --start does not touch it";
  EXPECT_EQ(demo->PlayStartTime(), 2.0f);

  const TDemoOptions plain = ParseCommandLine({"--capture", "out"}).Options;
  EXPECT_EQ(plain.Fps, 60.0f);
  EXPECT_EQ(plain.Shutter, 0.5f);
  EXPECT_EQ(plain.Supersample, 1);
  EXPECT_EQ(plain.MotionBlur, 1);
  EXPECT_EQ(ParseCommandLine({"--capture", "out", "--motion-blur", "4"}).Options.MotionBlur, 4);
  TDemoOptions realTime;
  realTime.MotionBlur = 4;  // sub-frames are for captures only
  EXPECT_EQ(ResolveDemoOptions(realTime).MotionBlur, 1);
}
