// An edit run in a real X window (xvfb-run), driven by key presses sent through the X server:
// Space pauses, Right seeks a beat, F12 writes the frame, an edited script is read again while
// the player runs (once it is written whole; an empty one never replaces the timeline), Escape
// ends the run.
#include "common/Demotrack.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The program's path on the PATH (empty when it is not there).
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':'))
    if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0)
      return folder + "/" + name;
  return "";
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A frame written by F12: its demo time and file, from the line the player printed.
struct TShot {
  double Seconds = -1;
  std::string File;
};

// The shots the player has reported on its stderr so far.
std::vector<TShot> ReportedShots(const std::string& stderrPath) {
  std::vector<TShot> shots;
  std::stringstream lines(ReadTextFile(stderrPath));
  std::string line;
  const std::string prefix = "vorpane: frame at ", middle = " s written to ";
  while (std::getline(lines, line)) {
    const size_t at = line.find(middle);
    if (line.compare(0, prefix.size(), prefix) != 0 || at == std::string::npos) continue;
    TShot shot;
    shot.Seconds = std::atof(line.substr(prefix.size(), at - prefix.size()).c_str());
    shot.File = line.substr(at + middle.size());
    shots.push_back(shot);
  }
  return shots;
}

// One X server for the test, found through xvfb-run, and the player running on it.
class EditSession {
 public:
  explicit EditSession(const std::string& folder) : folder_(folder) {}
  ~EditSession() {
    StopProgram(player_);
    StopProgram(server_);
  }

  // Starts the server; false (with the reason in *why) when it does not come up.
  bool StartServer(const std::string& xvfbRun, std::string* why) {
    server_ = StartProgramIn(
        folder_,
        {xvfbRun, "-a", "-s", "-screen 0 1024x768x24 -noreset", "/bin/sh", "-c",
         "echo \"$DISPLAY $XAUTHORITY\" > display.txt; exec sleep 900"},
        {}, "xvfb");
    const auto start = std::chrono::steady_clock::now();
    while (SecondsSince(start) < 60) {
      std::stringstream words(ReadTextFile(folder_ + "/display.txt"));
      std::string display, authority;
      if (words >> display >> authority) {
        environment_ = {"DISPLAY=" + display, "XAUTHORITY=" + authority};
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *why = "xvfb-run gave no display: " + ReadTextFile(server_.StderrPath);
    return false;
  }

  // Starts the player in the folder on the server and waits for its window to have the focus.
  // A launcher (such as env -u NAME) goes before the program.
  bool StartPlayer(const std::vector<std::string>& arguments, std::string* why,
                   const std::vector<std::string>& launcher = {}) {
    std::vector<std::string> command = launcher;
    command.push_back(VORPANE_BINARY);
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = environment_;
    environment.push_back("SDL_VIDEODRIVER=x11");
    player_ = StartProgramIn(folder_, command, environment, "player");
    const TRunResult search =
        Xdotool({"search", "--sync", "--onlyvisible", "--name", "Vorpane Demoengine"}, 120);
    std::stringstream ids(search.Stdout);
    if (search.ExitStatus != 0 || !(ids >> window_)) {
      *why = "no player window: " + search.Stderr + ReadTextFile(player_.StderrPath);
      return false;
    }
    const TRunResult focus = Xdotool({"windowfocus", "--sync", window_}, 60);
    if (focus.ExitStatus != 0) {
      *why = "the window took no focus: " + focus.Stderr;
      return false;
    }
    return true;
  }

  // Presses and releases a key (an X keysym name) in the focused window.
  bool Key(const std::string& name) { return Xdotool({"key", name}, 30).ExitStatus == 0; }

  // Presses F12 and waits for the player to report the frame it wrote. The first shot presses
  // again every few seconds: a key sent while the player still loads is not taken.
  TShot Shot(bool first = false) {
    const size_t before = ReportedShots(player_.StderrPath).size();
    if (!Key("F12")) return TShot();
    const auto start = std::chrono::steady_clock::now();
    auto pressed = start;
    while (SecondsSince(start) < 60) {
      const std::vector<TShot> shots = ReportedShots(player_.StderrPath);
      if (shots.size() > before) return shots[before];
      if (first && SecondsSince(pressed) > 5) {
        Key("F12");
        pressed = std::chrono::steady_clock::now();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return TShot();
  }

  // Waits for the player's stderr to hold a text (false after a minute).
  bool WaitForMessage(const std::string& text) {
    const auto start = std::chrono::steady_clock::now();
    while (SecondsSince(start) < 60) {
      if (PlayerErrors().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  int WaitForPlayer(double seconds) { return WaitForProgram(player_, seconds); }
  std::string PlayerErrors() const { return ReadTextFile(player_.StderrPath); }

 private:
  TRunResult Xdotool(const std::vector<std::string>& arguments, double seconds) {
    std::vector<std::string> command = {FindProgram("xdotool")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgramIn(folder_ + "/xdotool", command, seconds, environment_);
  }

  std::string folder_;
  std::vector<std::string> environment_;
  TBackgroundProgram server_, player_;
  std::string window_;
};

// Each test: xvfb-run and xdotool found, and a fresh folder for the run.
class EditMode : public ::testing::Test {
 protected:
  void SetUp() override {
    xvfbRun = FindProgram("xvfb-run");
    if (xvfbRun.empty()) GTEST_SKIP() << "xvfb-run is not installed: no X server for a real window";
    ASSERT_FALSE(FindProgram("xdotool").empty()) << "xdotool is needed to send the keys";
    folder = MakeTempFolder();
    ASSERT_EQ(::mkdir((folder + "/xdotool").c_str(), 0755), 0);
  }

  std::string xvfbRun;
  std::string folder;
};

}  // namespace

TEST_F(EditMode, SpacePausesRightSeeksABeatAnEditedScriptShowsAndEscapeEndsInARealWindow) {
  // A flash whose brightness follows a triangle wave: notes every 12 rows (1.5 s at 120 BPM)
  // and an envelope 0.75 s wide, so every moment of the demo looks different from the next.
  TDemotrackGrid grid(2, std::vector<uint8_t>(2400, 0));
  for (size_t row = 0; row < grid[1].size(); row += 12) grid[1][row] = 5;
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin", grid));
  const auto script = [](const std::string& clearColor) {
    return "RESOLUTIONX 320\nRESOLUTIONY 240\nCOLORDEPTH 32\nINIT\n"
           "CLEARCOLOR " + clearColor + "\nTRACKER track.bin\nBPM 120\n"
           "LOAD flash 3\nX 40\nY 40\nW 240\nH 160\n"
           "BAR pulse\nMOUNT 0\nLENGTH 30\nEFFECT 3\nINPUT 0 1 5 750 0\n";
  };
  WriteTextFile(folder, "edit.vrp", script("0 0 64 255"));

  EditSession session(folder);
  std::string why;
  ASSERT_TRUE(session.StartServer(xvfbRun, &why)) << why;
  ASSERT_TRUE(session.StartPlayer({"--edit", "--no-dialogs", "--start", "3", "edit.vrp"}, &why))
      << why;

  const TShot playing = session.Shot(/*first*/ true);
  ASSERT_FALSE(playing.File.empty()) << session.PlayerErrors();
  EXPECT_GE(playing.Seconds, 3.0) << "--start 3 starts the run at 3 s";

  ASSERT_TRUE(session.Key("space"));
  const TShot paused = session.Shot();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const TShot stillPaused = session.Shot();
  ASSERT_FALSE(paused.File.empty() || stillPaused.File.empty()) << session.PlayerErrors();
  EXPECT_NE(paused.File, stillPaused.File);
  EXPECT_EQ(paused.Seconds, stillPaused.Seconds);
  TFrame first, second;
  ASSERT_TRUE(ReadPng(paused.File, first));
  ASSERT_TRUE(ReadPng(stillPaused.File, second));
  EXPECT_EQ(first.Width, 320);
  EXPECT_EQ(first.Rgb, second.Rgb) << "a paused frame drawn a second later is the same frame";

  // One beat at 120 BPM is half a second; the pause holds after the seek.
  ASSERT_TRUE(session.Key("Right"));
  const TShot seeked = session.Shot();
  ASSERT_FALSE(seeked.File.empty()) << session.PlayerErrors();
  EXPECT_NEAR(seeked.Seconds - paused.Seconds, 0.5, 0.011);
  const TShot seekedLater = session.Shot();
  EXPECT_EQ(seekedLater.Seconds, seeked.Seconds);

  // The script edited on disk: the next frames are drawn from it, at the same paused time.
  EXPECT_EQ(first.At(5, 5)[2], 64);
  // Written aside and renamed, as editors save, so the player never sees half a file.
  WriteTextFile(folder, "edit.vrp.new", script("0 128 0 255"));
  ASSERT_EQ(std::rename((folder + "/edit.vrp.new").c_str(), (folder + "/edit.vrp").c_str()), 0);
  ASSERT_TRUE(session.WaitForMessage("edit.vrp reloaded in")) << session.PlayerErrors();
  const TShot reloaded = session.Shot();
  EXPECT_EQ(reloaded.Seconds, seeked.Seconds);
  TFrame edited;
  ASSERT_TRUE(ReadPng(reloaded.File, edited)) << session.PlayerErrors();
  EXPECT_EQ(edited.At(5, 5)[1], 128);
  EXPECT_EQ(edited.At(5, 5)[2], 0);

  // Resumed, the time runs again.
  ASSERT_TRUE(session.Key("space"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const TShot resumed = session.Shot();
  EXPECT_GT(resumed.Seconds, seeked.Seconds + 0.2);

  ASSERT_TRUE(session.Key("Escape"));
  EXPECT_EQ(session.WaitForPlayer(60), 0) << session.PlayerErrors();
}

TEST_F(EditMode, AScriptErrorAfterAReloadGoesToStderrAndNeverOpensABox) {
  TDemotrackGrid grid(2, std::vector<uint8_t>(2400, 0));
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin", grid));
  const auto script = [](const std::string& effect) {
    return "RESOLUTIONX 320\nRESOLUTIONY 240\nINIT\nTRACKER track.bin\nBPM 120\n"
           "LOAD " + effect + " 6\nBAR pulse\nMOUNT 0\nLENGTH 2400\nEFFECT 6\n";
  };
  WriteTextFile(folder, "edit.vrp", script("flash"));

  EditSession session(folder);
  std::string why;
  ASSERT_TRUE(session.StartServer(xvfbRun, &why)) << why;
  // Dialogs as a user has them: no --no-dialogs, no VORPANE_NO_DIALOGS.
  ASSERT_TRUE(session.StartPlayer({"--edit", "edit.vrp"}, &why,
                                  {"/usr/bin/env", "-u", "VORPANE_NO_DIALOGS"}))
      << why;
  ASSERT_FALSE(session.Shot(/*first*/ true).File.empty()) << session.PlayerErrors();

  // The reloaded script empties slot 6, which the bar still plays.
  WriteTextFile(folder, "edit.vrp.new", script("linez"));
  ASSERT_EQ(std::rename((folder + "/edit.vrp.new").c_str(), (folder + "/edit.vrp").c_str()), 0);
  ASSERT_TRUE(session.WaitForMessage("edit.vrp:6: No such effect in demo: linez"))
      << session.PlayerErrors();
  ASSERT_TRUE(session.WaitForMessage("Effect not installed: 6")) << session.PlayerErrors();
  // Still taking keys: a box would hold them until clicked.
  EXPECT_FALSE(session.Shot().File.empty()) << session.PlayerErrors();
  EXPECT_NE(session.PlayerErrors().find("edit.vrp:7: Effect not installed: 6\n"),
            std::string::npos)
      << session.PlayerErrors();
  ASSERT_TRUE(session.Key("Escape"));
  EXPECT_EQ(session.WaitForPlayer(60), 0) << session.PlayerErrors();
}

TEST_F(EditMode, AScriptEmptiedAndWrittenLaterNeverLeavesTheTimelineEmpty) {
  ASSERT_TRUE(WriteDemotrack(folder + "/track.bin", TDemotrackGrid(1, std::vector<uint8_t>(2400))));
  const auto script = [](const std::string& blue) {
    return "RESOLUTIONX 320\nRESOLUTIONY 240\nINIT\nCLEARCOLOR 0 0 " + blue +
           " 255\nTRACKER track.bin\nBPM 120\nLOAD template 0\nBAR all\nLENGTH 2400\n";
  };
  WriteTextFile(folder, "edit.vrp", script("200"));
  EditSession session(folder);
  std::string why;
  ASSERT_TRUE(session.StartServer(xvfbRun, &why)) << why;
  ASSERT_TRUE(session.StartPlayer({"--edit", "--no-dialogs", "edit.vrp"}, &why)) << why;
  const auto blueOfAFrame = [&](bool first) {  // of the next frame F12 writes
    TFrame frame;
    return ReadPng(session.Shot(first).File, frame) ? frame.At(5, 5)[2] : -1;
  };
  ASSERT_EQ(blueOfAFrame(true), 200) << session.PlayerErrors();
  // Emptied, as an editor does before it writes: the timeline plays on, and the player says why.
  ASSERT_EQ(::truncate((folder + "/edit.vrp").c_str(), 0), 0);
  ASSERT_TRUE(session.WaitForMessage("edit.vrp: The script is empty")) << session.PlayerErrors();
  EXPECT_EQ(blueOfAFrame(false), 200);
  // Written a while later: read then.
  WriteTextFile(folder, "edit.vrp", script("90"));
  ASSERT_TRUE(session.WaitForMessage("edit.vrp reloaded in")) << session.PlayerErrors();
  EXPECT_EQ(blueOfAFrame(false), 90);
  ASSERT_TRUE(session.Key("Escape"));
  EXPECT_EQ(session.WaitForPlayer(60), 0) << session.PlayerErrors();
}
