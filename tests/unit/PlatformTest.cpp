// Timer arithmetic, key-code translation, DirectInput texts and file-name resolution.
#include "platform/Files.h"
#include "platform/KestoGL2.h"
#include "platform/KestoInput.h"
#include "platform/Timer.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct FakeCounter {
  uint64_t ticks = 0;
  uint64_t frequency = 0;
  uint64_t stepPerRead = 0;  // advances on every reading
};

uint64_t ReadCounter(void* context) {
  auto* counter = static_cast<FakeCounter*>(context);
  const uint64_t now = counter->ticks;
  counter->ticks += counter->stepPerRead;
  return now;
}

uint64_t ReadFrequency(void* context) { return static_cast<FakeCounter*>(context)->frequency; }

TKTimer TimerOn(FakeCounter& counter) {
  TTickSource source;
  source.Counter = ReadCounter;
  source.Frequency = ReadFrequency;
  source.Context = &counter;
  return TKTimer(source);
}

}  // namespace

TEST(Timer, KeepsMillisecondsOnAMachineThatHasBeenUpForLong) {
  FakeCounter counter;
  counter.frequency = 1000000000;   // 1 GHz
  counter.ticks = 100000000000000;  // 10^14 ticks: a day and more of uptime
  TKTimer timer = TimerOn(counter);
  EXPECT_TRUE(timer.HighResolution);
  timer.Start();
  counter.ticks += 1000000;  // 1 ms
  EXPECT_FLOAT_EQ(timer.Elapsed(), 0.001f);
  EXPECT_FLOAT_EQ(timer.FrameDuration, 0.001f);
  counter.ticks += 1000000;
  EXPECT_FLOAT_EQ(timer.Elapsed(), 0.002f);  // never reset by Elapsed
  EXPECT_FLOAT_EQ(timer.FrameDuration, 0.001f);
}

TEST(Timer, FirstFrameDurationIsTheTimeSinceStart) {
  FakeCounter counter;
  counter.frequency = 1000;
  counter.ticks = 5000;
  TKTimer timer = TimerOn(counter);
  timer.Start();
  counter.ticks += 250;
  timer.Elapsed();
  EXPECT_FLOAT_EQ(timer.FrameDuration, 0.25f);

  // Without a performance counter the timer counts milliseconds.
  FakeCounter slow;
  slow.frequency = 0;
  slow.stepPerRead = 1;
  TKTimer coarse = TimerOn(slow);
  EXPECT_FALSE(coarse.HighResolution);
  EXPECT_FLOAT_EQ(coarse.SecondsPerTick, 0.001f);
  coarse.Start();
  EXPECT_FLOAT_EQ(coarse.Elapsed(), 0.001f);
}

TEST(Keyboard, TranslatesScanCodesAndReadsTheHighBit) {
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_ESCAPE), 1);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_1), 2);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_Q), 0x10);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_A), 0x1E);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_SPACE), 0x39);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_F12), 0x58);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_UP), 0xC8);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_KP_ENTER), 0x9C);
  EXPECT_EQ(DirectInputCodeFromScancode(SDL_SCANCODE_F13), 0);

  EXPECT_FALSE(KeyDown(1));  // no keyboard before INIT
  TRenderWindow window;
  InitKeyboard(window, true);
  ASSERT_NE(Keyboard, nullptr);
  Keyboard->KeyState[1] = 0x7F;
  EXPECT_FALSE(KeyDown(1));
  Keyboard->KeyState[1] = 0x80;
  EXPECT_TRUE(KeyDown(1));
  Keyboard->KeyState[1] = 0xFF;
  EXPECT_TRUE(KeyDown(1));
}

TEST(Keyboard, DirectInputErrorTexts) {
  EXPECT_EQ(DirectInputErrorText(0), "The operation completed successfully.");
  EXPECT_EQ(DirectInputErrorText(1),
            "\"The operation had no effect.\" or \"The device buffer overflowed and some input "
            "was lost.\" or \"The device exists but is not currently attached.\" or \"The "
            "change in device properties had no effect.\"");
  EXPECT_EQ(DirectInputErrorText(0x80070005),
            "\"The device already has an event notification associated with it.\" or \"The "
            "specified property cannot be changed.\" or \"Another application has a higher "
            "priority level, preventing this call from succeeding. \"");
  EXPECT_EQ(DirectInputErrorText(0x800704DF), "This object is already initialized");
  EXPECT_EQ(DirectInputErrorText(0x800405CC),
            "No more memory for effects of this kind (not documented)");
  EXPECT_EQ(DirectInputErrorText(0x0000000C), "Equal to DI_EFFECTRESTARTED | DI_TRUNCATED.");
  EXPECT_EQ(DirectInputErrorText(0x12345678), "");
}

TEST(Files, WindowsNamesResolveIgnoringCaseAndBackslashes) {
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(MakeFolders(folder + "/Data"));
  WriteTextFile(folder + "/Data", "Title.JPG", "x");
  EXPECT_EQ(ResolveFileName(folder + "/Data/Title.JPG"), folder + "/Data/Title.JPG");
  EXPECT_EQ(ResolveFileName(folder + "\\data\\title.jpg"), folder + "/Data/Title.JPG");
  EXPECT_EQ(ResolveFileName(folder + "/DATA/TITLE.jpg"), folder + "/Data/Title.JPG");
  // Not there at all: the name as written, so the error names what the script said.
  EXPECT_EQ(ResolveFileName(folder + "/data/other.jpg"), folder + "/data/other.jpg");
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadWholeFile(folder + "\\DATA\\title.jpg", bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{'x'}));
  EXPECT_FALSE(ReadWholeFile(folder + "/Data", bytes));  // a folder is not a file
}
