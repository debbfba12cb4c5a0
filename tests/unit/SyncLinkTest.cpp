// The sync editor client against a stand-in editor on a loopback socket: track registration
// order, keys, a reload, a malformed byte, a lost editor and the retry a second later (time is
// the test's own number: retries are driven, not waited for); the editor's address.
#include "app/CommandLine.h"
#include "authoring/SyncLink.h"

#include "support/StandInEditor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

const auto& U32 = StandInEditor::U32;
const auto& GetTrack = StandInEditor::GetTrack;
const auto& SetKey = StandInEditor::SetKey;

// Polls (a bounded number of times) until `keys` keys have come.
void PollFor(TSyncLink& link, TKeyedTrackSet& tracks, double now, size_t keys) {
  for (int i = 0; i < 20000 && keys > 0; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    keys -= std::min(keys, link.Poll(tracks, now).KeysChanged);
}

}  // namespace

TEST(SyncLink, RegistersInOrderTakesKeysAndKeepsNumbersOnReload) {
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

  editor.Send(SetKey(1, 0, 0.0f, 1) + SetKey(1, 8, 1.0f, 0) + SetKey(0, 4, 2.5f, 2) + "\x01" +
              U32(0) + U32(99));  // a row without a key
  PollFor(link, tracks, 0.0, 4);
  EXPECT_DOUBLE_EQ(tracks.ValueAt("fade", 4.0), 0.5);
  EXPECT_DOUBLE_EQ(tracks.ValueAt("cam:x", 0.0), 2.5);
  editor.Send("\x01" + U32(1) + U32(8));
  PollFor(link, tracks, 0.0, 1);
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

  // An editor that goes away: the values stay.
  now = 12.2;
  ASSERT_TRUE(editor.Accept());
  editor.Read(12);
  editor.Send(SetKey(1, 2, 8.0f, 0));
  PollFor(link, tracks, 12.2, 1);
  editor.Drop();
  for (int i = 0; i < 1000 && link.Connected(); ++i) link.Poll(tracks, 12.3);
  EXPECT_EQ(link.LastReason(), "the connection was closed");
  EXPECT_DOUBLE_EQ(tracks.ValueAt("b", 3.0), 8.0);
}

TEST(SyncLink, CommandLineTakesAnEditorAddressOnlyWithEdit) {
  for (const auto& form : std::vector<std::pair<std::string, std::string>>{
           {"1339", "localhost 1339"}, {"studio:4000", "studio 4000"}, {"studio", "studio 1338"},
           {"[::1]:5000", "::1 5000"}}) {
    const TCommandLine parsed = ParseCommandLine({"--edit", "--sync", form.first, "a.vrp"});
    EXPECT_EQ(parsed.SyncHost + " " + std::to_string(parsed.SyncPort) + parsed.Message, form.second);
  }
  EXPECT_EQ(ParseCommandLine({"--sync", "1338", "a.vrp"}).Message, "vorpane: --sync needs --edit\n");
  for (const char* bad : {"0", "70000", "host:", "host:12x", ":1338"})
    EXPECT_EQ(ParseCommandLine({"--edit", "--sync", bad}).Message.rfind("vorpane: --sync", 0), 0u);
}
