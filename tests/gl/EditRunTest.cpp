// An edit run on the window's event queue: every present shows its frame however many events
// wait, and the keys pause, seek, loop, toggle the timer, write the frame and end the run.
// The stand-in editor first: on Windows its socket header must come before windows.h.
#include "support/StandInEditor.h"

#include "authoring/EditSession.h"
#include "common/Demotrack.h"
#include "demo/Vorpane.h"
#include "effects/BitmapFont.h"
#include "support/CapturedFrames.h"
#include "support/GlContext.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

namespace {

void PushKey(SDL_Keycode key, uint16_t modifiers = 0, bool repeat = false) {
  SDL_Event event = {};
  event.type = SDL_KEYDOWN;
  event.key.state = SDL_PRESSED;
  event.key.repeat = repeat ? 1 : 0;
  event.key.keysym.sym = key;
  event.key.keysym.mod = modifiers;
  ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

int QueuedEvents() {
  SDL_PumpEvents();
  return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
}

// Records the demo time and frame time of every call.
class ClockEffect : public TVEffect {
 public:
  void Render(const TFrameContext& frame, const float* /*inputs*/) override {
    demoTimes.push_back(frame.DemoTime);
    frameTimes.push_back(frame.FrameTime);
  }
  std::vector<float> demoTimes, frameTimes;
};

TPixel TestPixel(int32_t x, int32_t y) { return ReadTestPixel(x, y); }

std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir))
      if (std::string(entry->d_name).rfind(prefix, 0) == 0) names.push_back(entry->d_name);
    ::closedir(dir);
  }
  return names;
}

}  // namespace

TEST(PresentFrame, EveryCallSwapsAfterTakingAllPendingEvents) {
  const TRenderWindow& window = TestGlWindow();
  ASSERT_NE(window.Wnd, nullptr);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  // A held key: hundreds of repeats waiting at one present.
  for (int i = 0; i < 300; ++i) PushKey(SDLK_RIGHT, 0, i > 0);
  ASSERT_GE(QueuedEvents(), 300);
  std::vector<TKeyPress> presses;
  const uint64_t before = PresentedFrames;
  EXPECT_FALSE(PresentFrame(window, &presses));
  EXPECT_EQ(PresentedFrames, before + 1);
  EXPECT_EQ(QueuedEvents(), 0);
  ASSERT_EQ(presses.size(), 300u);
  EXPECT_FALSE(presses.front().Repeat);
  EXPECT_TRUE(presses.back().Repeat);
  EXPECT_EQ(presses.back().Key, SDLK_RIGHT);
  // Without a list the events are still taken, and a close request still shows the frame.
  for (int i = 0; i < 50; ++i) PushKey(SDLK_SPACE);
  SDL_Event quit = {};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  EXPECT_TRUE(PresentFrame(window));
  EXPECT_EQ(PresentedFrames, before + 2);
  EXPECT_EQ(QueuedEvents(), 0);
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(PresentFrame(window));
  EXPECT_EQ(PresentedFrames, before + 12);
}

TEST(PresentFrame, SwapSyncTakesTheFirstIntervalTheDriverAcceptsAndOffMeansZero) {
  TestGlWindow();
  // What it reports is what the context has, whichever interval the driver took.
  const int synced = SetSwapSync(true);
  EXPECT_EQ(SDL_GL_GetSwapInterval(), synced);
  EXPECT_EQ(SetSwapSync(false), 0);
  EXPECT_EQ(SDL_GL_GetSwapInterval(), 0);
}

TEST(EditRun, KeysPauseSeekLoopWriteTheFrameAndEndTheRun) {
  const TRenderWindow& window = TestGlWindow();
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin",
                             TDemotrackGrid(1, std::vector<uint8_t>(400, 1))));  // 50 s
  WriteTextFile(folder, "edit.vrp",
                "TRACKER " + folder + "/track.bin\nBPM 120\nLOAD template 0\nBAR a\nLENGTH 7\n");
  TDemoOptions options;
  options.HasStart = true;
  options.Start = 2.0f;
  TVDemo demo(folder + "/edit.vrp", options);
  TEditSession edit(demo, folder);
  demo.Window = window;
  ClockEffect effect;
  demo.InstallEffect(&effect, 0);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

  demo.RenderFrame();
  EXPECT_GE(demo.Time, 2.0f) << "--start 2";
  EXPECT_LT(demo.Time, 3.0f);

  PushKey(SDLK_SPACE);
  demo.RenderFrame();  // the present takes the key
  demo.RenderFrame();
  const float pausedAt = demo.Time;
  SDL_Delay(150);
  demo.RenderFrame();
  EXPECT_EQ(demo.Time, pausedAt);
  EXPECT_EQ(effect.frameTimes.back(), 0.0f) << "effects stepping by the frame time stand still";
  EXPECT_EQ(effect.demoTimes.back(), pausedAt);

  // Right, Shift+Right and a held Right's repeats: 4 + 16 + 2 x 4 rows = 3.5 s.
  PushKey(SDLK_RIGHT);
  PushKey(SDLK_RIGHT, KMOD_LSHIFT);
  PushKey(SDLK_RIGHT, 0, true);
  PushKey(SDLK_RIGHT, 0, true);
  demo.RenderFrame();
  demo.RenderFrame();
  EXPECT_FLOAT_EQ(demo.Time, pausedAt + 3.5f);
  // Home goes to where the run started; seeks still reach back to the production's start.
  PushKey(SDLK_HOME);
  demo.RenderFrame();
  demo.RenderFrame();
  EXPECT_FLOAT_EQ(demo.Time, 2.0f);
  PushKey(SDLK_PAGEUP);
  demo.RenderFrame();
  demo.RenderFrame();
  EXPECT_FLOAT_EQ(demo.Time, 0.0f);

  // A loop from 0.5 s (row 4) to 1 s (row 8), marked end first; playing wraps inside it.
  PushKey(SDLK_RIGHT);
  PushKey(SDLK_RIGHT);
  PushKey(SDLK_RIGHTBRACKET);
  PushKey(SDLK_LEFT);
  PushKey(SDLK_LEFTBRACKET);
  PushKey(SDLK_l);
  PushKey(SDLK_SPACE);
  demo.RenderFrame();
  float latest = 0.0f;
  bool wrapped = false;
  for (int i = 0; i < 400 && !wrapped; ++i) {
    demo.RenderFrame();
    EXPECT_GE(demo.Time, 0.5f);
    EXPECT_LT(demo.Time, 1.0f);
    wrapped = demo.Time < latest;
    latest = demo.Time;
    SDL_Delay(10);
  }
  EXPECT_TRUE(wrapped) << "the loop never wrapped; last time " << latest;
  EXPECT_FALSE(demo.QuitRequested);

  // Loop off; forward past the end holds the last row, paused, instead of ending the run.
  PushKey(SDLK_l);
  for (int i = 0; i < 12; ++i) PushKey(SDLK_PAGEDOWN, 0, i > 0);
  demo.RenderFrame();
  for (int i = 0; i < 3; ++i) demo.RenderFrame();
  EXPECT_FLOAT_EQ(demo.Time, 50.0f);
  SDL_Delay(50);
  demo.RenderFrame();
  EXPECT_FLOAT_EQ(demo.Time, 50.0f);
  EXPECT_FALSE(demo.QuitRequested);

  // T toggles the timer overlay; F12 writes the frame where the run was started.
  PushKey(SDLK_t);
  demo.RenderFrame();
  EXPECT_TRUE(demo.ShowTimer);
  testing::internal::CaptureStderr();
  PushKey(SDLK_F12);
  demo.RenderFrame();
  demo.RenderFrame();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("vorpane: frame at 50.00 s written to " + folder + "/vorpane-50.00.png"),
            std::string::npos)
      << said;
  TFrame frame;
  ASSERT_TRUE(ReadPng(folder + "/vorpane-50.00.png", frame));
  EXPECT_EQ(frame.Width, window.Width);
  EXPECT_EQ(frame.Height, window.Height);
  EXPECT_EQ(FilesStartingWith(folder, "vorpane-").size(), 1u);

  PushKey(SDLK_ESCAPE);
  demo.RenderFrame();
  EXPECT_TRUE(demo.QuitRequested);
}

namespace {

// Pixels of the bottom strip (where the status and error lines go) that are nearly white.
int BrightPixelsAtTheBottom(int rows) {
  const std::vector<uint8_t> frame = ReadTestFrame();
  int bright = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < 800; ++x) {
      const uint8_t* p = &frame[(static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4];
      if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++bright;
    }
  return bright;
}

}  // namespace

TEST(EditRun, F5ReloadsInPlaceAndAScriptThatCannotBeReadKeepsTheTimelineWithALineOnScreen) {
  const TRenderWindow& window = TestGlWindow();
  const std::string folder = MakeTempFolder();
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin",
                             TDemotrackGrid(1, std::vector<uint8_t>(400, 1))));
  const std::string head = "TRACKER " + folder + "/track.bin\nBPM 120\nLOAD template 0\n";
  WriteTextFile(folder, "edit.vrp", head + "CLEARCOLOR 0 0 255 255\nBAR a\nLENGTH 6\n");
  TDemoOptions options;
  options.HasStart = true;
  options.Start = 3.0f;
  TVDemo demo(folder + "/edit.vrp", options);
  TEditSession edit(demo, "");
  demo.Window = window;
  ASSERT_NE(BuildBitmapFont("Verdana", 14, true), 0u);  // the window came after the demo
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  demo.RenderFrame();
  PushKey(SDLK_SPACE);
  demo.RenderFrame();
  demo.RenderFrame();
  const float pausedAt = demo.Time;
  ASSERT_EQ(demo.Bars.size(), 1u);
  EXPECT_EQ(demo.ClearColor[2], 1.0f);

  // A new bar and clear colour, read on F5: the time and the pause stay.
  WriteTextFile(folder, "edit.vrp",
                head + "CLEARCOLOR 0 255 0 255\nBAR a\nLENGTH 6\nBAR b\nLENGTH 2\n");
  testing::internal::CaptureStderr();
  PushKey(SDLK_F5);
  demo.RenderFrame();
  demo.RenderFrame();
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("reloaded in"), std::string::npos) << said;
  EXPECT_EQ(demo.Bars.size(), 2u);
  EXPECT_EQ(demo.ClearColor[1], 1.0f);
  EXPECT_EQ(demo.ClearColor[2], 0.0f);
  EXPECT_EQ(demo.Time, pausedAt);
  EXPECT_EQ(TestPixel(400, 300).g, 255) << "the next frame is drawn from the new script";
  // Resumed, there is no status line and no error line.
  PushKey(SDLK_SPACE);
  demo.RenderFrame();
  demo.RenderFrame();
  EXPECT_GT(demo.Time, pausedAt - 0.001f);
  EXPECT_EQ(BrightPixelsAtTheBottom(44), 0);

  // A number that does not convert: the script cannot be read, the previous timeline plays on
  // and the error, with its line, is drawn at the bottom.
  WriteTextFile(folder, "edit.vrp", head + "CLEARCOLOR 0 0 0 255\nBAR a\nLENGTH six\n");
  testing::internal::CaptureStderr();
  PushKey(SDLK_F5);
  demo.RenderFrame();
  demo.RenderFrame();
  said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("edit.vrp:6:"), std::string::npos) << said;
  EXPECT_NE(said.find("could not be read"), std::string::npos) << said;
  EXPECT_EQ(demo.Bars.size(), 2u);
  EXPECT_EQ(demo.ClearColor[1], 1.0f);
  EXPECT_FALSE(demo.QuitRequested);
  EXPECT_GT(BrightPixelsAtTheBottom(22), 20) << "the error line is on screen";

  // A bar on an empty slot reads without an error; the error it raises while playing goes to
  // stderr with its line and on screen.
  WriteTextFile(folder, "edit.vrp", head + "BAR a\nLENGTH 6\nEFFECT 5\n");
  testing::internal::CaptureStderr();
  PushKey(SDLK_F5);
  demo.RenderFrame();
  demo.RenderFrame();
  said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("reloaded in"), std::string::npos) << said;
  EXPECT_NE(said.find("edit.vrp:4: Effect not installed: 5\n"), std::string::npos) << said;
  EXPECT_GT(BrightPixelsAtTheBottom(22), 20) << "the error raised while playing is on screen";
}

TEST(EditRun, ASyncEditorsKeyShowsOnTheNextFrames) {
  const TRenderWindow& window = TestGlWindow();
  const std::string folder = MakeTempFolder();
  WriteTextFile(folder, "sync.vrp", "TRACKER\nBPM 120\nLOAD plaincolor 0\nX 0\nY 0\nW 640\nH 480\n"
                                    "E @red\nF 0\nG 0\nBAR a\nLENGTH 3000\nEFFECT 0\n");
  TVDemo demo(folder + "/sync.vrp");
  TEditSession edit(demo, folder);
  demo.Window = window;
  StandInEditor editor;
  edit.ConnectSync("127.0.0.1", editor.port);
  editor.whileWaiting = [&demo] { demo.RenderFrame(); };
  ASSERT_TRUE(editor.Accept());
  ASSERT_EQ(editor.Read(8), StandInEditor::GetTrack("red"));
  EXPECT_EQ(TestPixel(400, 300).r, 0);
  editor.Send(StandInEditor::SetKey(0, 0, 255.0f, 0));
  for (int i = 0; i < 1000 && TestPixel(400, 300).r == 0; ++i) demo.RenderFrame();
  EXPECT_EQ(TestPixel(400, 300).r, 255);
}
