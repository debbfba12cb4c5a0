// The player under --edit --sync against a stand-in editor: it registers the script's track,
// follows the editor's seek and pause, tells its row while playing, saves the editor's keys as
// `.track` files that read back exactly, and keeps running throughout.
#include "support/RunVorpane.h"
#include "support/StandInEditor.h"
#include "sync/TrackFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Waits (a bounded number of 1 ms polls) for the player's stderr to hold `text`.
bool WaitForLine(const TBackgroundProgram& player, const std::string& text) {
  for (int i = 0; i < 20000; ++i) {
    if (ReadTextFile(player.StderrPath).find(text) != std::string::npos) return true;
    ::usleep(1000);
  }
  return false;
}

}  // namespace

TEST(SyncEditor, PlayerFollowsSeekAndPauseTellsItsRowAndSavesTheEditorsKeys) {
  const std::string folder = MakeTempFolder();
  // 120 BPM, 4 rows a beat: 8 rows a second. The plain colour's red follows track "red".
  WriteTextFile(folder, "sync.vrp",
                "RESOLUTIONX 160\nRESOLUTIONY 120\nCOLORDEPTH 32\nINIT\nTRACKER\nBPM 120\n"
                "LOAD plaincolor 3\nX 0\nY 0\nW 160\nH 120\nE @red\nF 0\nG 0\n"
                "BAR a\nMOUNT 0\nLENGTH 30000\nEFFECT 3\n");
  StandInEditor editor;
  const std::string address = "127.0.0.1:" + std::to_string(editor.port);
  TBackgroundProgram player = StartProgramIn(
      folder, {VORPANE_BINARY, "--edit", "--no-dialogs", "--sync", address, "sync.vrp"}, {},
      "player");
  // As the editors do on connect: pause, then their cursor's row.
  ASSERT_TRUE(editor.Accept("hello, demo!" + StandInEditor::Pause(true) + StandInEditor::SetRow(32),
                            60000))
      << ReadTextFile(player.StderrPath);
  EXPECT_EQ(editor.Read(8), StandInEditor::GetTrack("red"));
  editor.Read(1000, 300);  // rows sent before the pause came
  editor.Send(StandInEditor::Pause(false));
  // Rows from 32 on, each told once (big-endian rows compare as bytes do).
  const std::string rows = editor.Read(10, 20000);
  EXPECT_EQ(rows.substr(0, 5), StandInEditor::SetRow(32)) << ReadTextFile(player.StderrPath);
  EXPECT_GT(rows.substr(5), StandInEditor::SetRow(32));
  EXPECT_EQ(rows[5], 3);

  // Paused and sought, a key and a save: the row stops, the file holds the key bit for bit.
  const float red = 200.7f;
  editor.Send(StandInEditor::Pause(true) + StandInEditor::SetRow(64) +
              StandInEditor::SetKey(0, 16, red, 2) + std::string(1, '\x05'));
  ASSERT_TRUE(WaitForLine(player, "vorpane: saved 1 tracks to " + folder + "/sync_*.track"))
      << ReadTextFile(player.StderrPath);
  editor.Read(1000, 50);  // rows sent before the pause came
  EXPECT_EQ(editor.Read(5, 300), "") << "a row was sent while paused";
  const std::string bytes = ReadTextFile(folder + "/sync_red.track");
  TKeyedTrack saved;
  std::string error;
  ASSERT_TRUE(ParseTrackBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()), saved, error))
      << error;
  ASSERT_EQ(saved.Keys().size(), 1u);
  EXPECT_EQ(saved.Keys()[0].Row, 16);
  EXPECT_EQ(std::memcmp(&saved.Keys()[0].Value, &red, 4), 0);
  EXPECT_EQ(saved.Keys()[0].Type, TKeyType::Smooth);

  EXPECT_EQ(WaitForProgram(player, 0), -1) << "the player ended: " << ReadTextFile(player.StderrPath);
  StopProgram(player);
}
