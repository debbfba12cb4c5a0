// The sync editor client against a stand-in editor on a loopback socket: greeting, track
// registration order, keys, seek, pause, save requests, a reload, a malformed byte, a lost editor
// and the retry a second later; the command line's editor address. Time is the test's own number, so retries are driven, not waited for.
#include "app/CommandLine.h"
#include "authoring/SyncLink.h"

#include "support/StandInEditor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

const auto& U32 = StandInEditor::U32;
const auto& GetTrack = StandInEditor::GetTrack;
const auto& SetKey = StandInEditor::SetKey;

// Polls until the editor's bytes have been taken (a bounded number of polls).
TSyncRequests PollFor(TSyncLink& link, TKeyedTrackSet& tracks, double now, size_t keys) {
  TSyncRequests all;
  for (int i = 0; i < 500; ++i) {
    const TSyncRequests got = link.Poll(tracks, now);
    all.KeysChanged += got.KeysChanged;
    if (got.Seek) all.Seek = true, all.Row = got.Row;
    if (got.PauseGiven) all.PauseGiven = true, all.Paused = got.Paused;
    all.Save = all.Save || got.Save;
    if (all.KeysChanged >= keys && (keys > 0 || all.Seek || all.Save)) break;
    ::usleep(1000);
  }
  return all;
}

}  // namespace

TEST(SyncLink, RegistersInOrderTakesKeysSeekPauseSaveAndKeepsNumbersOnReload) {
  StandInEditor editor;
  TSyncLink link("127.0.0.1", editor.port);
  TKeyedTrackSet tracks;
  tracks.Track("cam:x").SetKey({0, 9.0f, TKeyType::Step});  // the player's own key: replaced
  TKeyedTrackSet* polled = &tracks;
  editor.whileWaiting = [&] { link.Poll(*polled, 0.0); };
  link.Register({"cam:x", "fade"});
  ASSERT_TRUE(editor.Accept());
  EXPECT_EQ(editor.Read(19), GetTrack("cam:x") + GetTrack("fade"));
  EXPECT_TRUE(link.Connected());
  EXPECT_TRUE(tracks.Find("cam:x")->Keys().empty());

  editor.Send("\x04\x01" "\x03" + U32(32) + SetKey(1, 0, 0.0f, 1) + SetKey(1, 8, 1.0f, 0) +
              SetKey(0, 4, 2.5f, 2) + "\x01" + U32(0) + U32(99));  // a row without a key
  TSyncRequests got = PollFor(link, tracks, 0.0, 4);
  EXPECT_TRUE(got.PauseGiven && got.Paused);
  EXPECT_TRUE(got.Seek);
  EXPECT_EQ(got.Row, 32);
  EXPECT_DOUBLE_EQ(tracks.ValueAt("fade", 4.0), 0.5);
  EXPECT_DOUBLE_EQ(tracks.ValueAt("cam:x", 0.0), 2.5);
  editor.Send("\x01" + U32(1) + U32(8) + std::string("\x05", 1));
  got = PollFor(link, tracks, 0.0, 1);
  EXPECT_TRUE(got.Save);
  EXPECT_DOUBLE_EQ(tracks.ValueAt("fade", 6.0), 0.0);

  // A reload: a rebuilt set takes the editor's keys; only the new name is registered, third.
  TKeyedTrackSet rebuilt;
  rebuilt.Track("fade").SetKey({0, 7.0f, TKeyType::Step});
  link.Register({"glow", "fade", "cam:x"});
  link.ApplyEditorKeys(rebuilt);
  polled = &rebuilt;
  EXPECT_DOUBLE_EQ(rebuilt.ValueAt("fade", 4.0), 0.0);  // not the file's 7
  EXPECT_EQ(editor.Read(9), GetTrack("glow"));
  editor.Send(SetKey(2, 0, -1.0f, 0));
  PollFor(link, rebuilt, 0.0, 1);
  EXPECT_DOUBLE_EQ(rebuilt.ValueAt("glow", 3.0), -1.0);
}

TEST(SyncLink, AMalformedByteOrALostEditorKeepsTheValuesAndRetriesASecondLater) {
  StandInEditor editor;
  TSyncLink link("127.0.0.1", editor.port);
  TKeyedTrackSet tracks;
  double now = 10.0;
  editor.whileWaiting = [&] { link.Poll(tracks, now); };
  link.Register({"a", "b"});
  ASSERT_TRUE(editor.Accept());
  editor.Read(12);
  // A whole key, then a key of type 4: the first is taken, then the link closes.
  editor.Send(SetKey(0, 0, 3.0f, 0) + SetKey(1, 0, 1.0f, 4));
  PollFor(link, tracks, 10.0, 1);
  for (int i = 0; i < 100 && link.Connected(); ++i) link.Poll(tracks, 10.0);
  EXPECT_FALSE(link.Connected());
  EXPECT_EQ(link.LastReason(), "key type 4 is unknown");
  EXPECT_DOUBLE_EQ(tracks.ValueAt("a", 5.0), 3.0);
  editor.Drop();

  // No attempt before a second has passed; then the same order again, and the player's keys
  // give way to the editor's.
  link.Poll(tracks, 10.5);
  EXPECT_FALSE(editor.Pending());
  now = 11.1;
  ASSERT_TRUE(editor.Accept());
  EXPECT_EQ(editor.Read(12), GetTrack("a") + GetTrack("b"));
  EXPECT_DOUBLE_EQ(tracks.ValueAt("a", 5.0), 0.0);
  editor.Send(SetKey(1, 2, 6.0f, 0) + "\x09");
  PollFor(link, tracks, 11.1, 1);
  EXPECT_EQ(link.LastReason(), "unknown command byte 9");
  editor.Drop();

  // An editor that goes away: the values stay; one that is not a sync editor is refused.
  now = 12.2;
  ASSERT_TRUE(editor.Accept());
  editor.Read(12);
  editor.Send(SetKey(1, 2, 8.0f, 0));
  PollFor(link, tracks, 12.2, 1);
  editor.Drop();
  for (int i = 0; i < 1000 && link.Connected(); ++i) link.Poll(tracks, 12.3);
  EXPECT_FALSE(link.Connected());
  EXPECT_DOUBLE_EQ(tracks.ValueAt("b", 3.0), 8.0);
  now = 13.4;
  ASSERT_TRUE(editor.Accept("HTTP/1.1 400"));
  for (int i = 0; i < 1000 && link.LastReason().find("sync editor") == std::string::npos; ++i)
    link.Poll(tracks, 13.4);
  EXPECT_EQ(link.LastReason(), "it did not answer as a sync editor does");
  EXPECT_DOUBLE_EQ(tracks.ValueAt("b", 3.0), 8.0);
}

TEST(SyncLink, CommandLineTakesAnEditorAddressOnlyWithEdit) {
  for (const auto& form : std::vector<std::tuple<std::string, std::string, int>>{
           {"1339", "localhost", 1339}, {"studio:4000", "studio", 4000},
           {"studio", "studio", 1338}, {"[::1]:5000", "::1", 5000}}) {
    const TCommandLine parsed = ParseCommandLine({"--edit", "--sync", std::get<0>(form), "a.vrp"});
    EXPECT_EQ(parsed.SyncHost + " " + std::to_string(parsed.SyncPort) + parsed.Message,
              std::get<1>(form) + " " + std::to_string(std::get<2>(form)));
  }
  EXPECT_EQ(ParseCommandLine({"--sync", "1338", "a.vrp"}).Message, "vorpane: --sync needs --edit\n");
  for (const char* bad : {"0", "70000", "host:", "host:12x", ":1338"})
    EXPECT_EQ(ParseCommandLine({"--edit", "--sync", bad}).Message.rfind("vorpane: --sync", 0), 0u);
}
