// The player under --edit --sync against a stand-in editor: it registers the script's track,
// follows the editor's seek and pause, tells its row while playing, saves the editor's keys as
// `.track` files that read back exactly, and keeps running throughout.
#include "support/RunVorpane.h"
#include "support/StandInEditor.h"
#include "sync/TrackFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The rows the player sent, from SET_ROW commands (empty when anything else came).
std::vector<uint32_t> SentRows(const std::string& bytes) {
  std::vector<uint32_t> rows;
  for (size_t at = 0; at + 5 <= bytes.size(); at += 5) {
    if (bytes[at] != 3) return {};
    const auto* u = reinterpret_cast<const unsigned char*>(bytes.data() + at + 1);
    rows.push_back((uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | u[3]);
  }
  return rows;
}

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
  const std::vector<uint32_t> rows = SentRows(editor.Read(20, 20000));
  ASSERT_EQ(rows.size(), 4u) << ReadTextFile(player.StderrPath);
  EXPECT_EQ(rows[0], 32u);
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i], rows[i - 1] + 1);

  // Paused and sought, a key and a save: the row stops, the file holds the key bit for bit.
  const float red = 200.7f;
  editor.Send(StandInEditor::Pause(true) + StandInEditor::SetRow(64) +
              StandInEditor::SetKey(0, 16, red, 2) + std::string(1, '\x05'));
  ASSERT_TRUE(WaitForLine(player, "vorpane: saved 1 tracks to " + folder + "/sync_*.track"))
      << ReadTextFile(player.StderrPath);
  editor.Read(1000, 50);  // rows sent before the pause came
  EXPECT_EQ(editor.Read(5, 300), "") << "a row was sent while paused";
  std::ifstream file(folder + "/sync_red.track", std::ios::binary);
  TKeyedTrack saved;
  std::string error;
  ASSERT_TRUE(ParseTrackBytes(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}),
                              saved, error))
      << error;
  ASSERT_EQ(saved.Keys().size(), 1u);
  EXPECT_EQ(saved.Keys()[0].Row, 16);
  EXPECT_EQ(std::memcmp(&saved.Keys()[0].Value, &red, 4), 0);
  EXPECT_EQ(saved.Keys()[0].Type, TKeyType::Smooth);

  EXPECT_EQ(WaitForProgram(player, 0), -1) << "the player ended: " << ReadTextFile(player.StderrPath);
  StopProgram(player);
}
