// Demotrack files, time/row conversion and input envelopes.
#include "common/Demotrack.h"
#include "demo/Tracker.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string WriteBytes(const std::vector<uint8_t>& bytes) {
  const std::string path = MakeTempFolder() + "/track.bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<uint8_t> Header(int32_t channels, int32_t rows) {
  std::vector<uint8_t> bytes;
  for (int32_t v : {channels, rows})
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  return bytes;
}

TDemoTracker TrackerWithChannel(std::vector<uint8_t> channel, float bpm = 120.0f) {
  TDemoTracker tracker;
  tracker.Channels.push_back(std::move(channel));
  tracker.BPM = bpm;
  return tracker;
}

}  // namespace

TEST(Demotrack, ReadsNormalShortAndEmptyFiles) {
  TDemoTracker tracker;
  std::vector<uint8_t> bytes = Header(2, 3);
  bytes.insert(bytes.end(), {1, 2, 3, 4, 5, 6});
  tracker.LoadDemotrack(WriteBytes(bytes));
  ASSERT_EQ(tracker.Channels.size(), 2u);
  EXPECT_EQ(tracker.Channels[0], (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(tracker.Channels[1], (std::vector<uint8_t>{4, 5, 6}));

  // A short file leaves the missing rows 0.
  bytes = Header(2, 3);
  bytes.insert(bytes.end(), {7, 8, 9, 10});
  tracker.LoadDemotrack(WriteBytes(bytes));
  EXPECT_EQ(tracker.Channels[1], (std::vector<uint8_t>{10, 0, 0}));

  tracker.LoadDemotrack(WriteBytes(Header(3, 0)));
  ASSERT_EQ(tracker.Channels.size(), 3u);
  EXPECT_TRUE(tracker.Channels[2].empty());

  // The tool writes what the reader reads.
  TDemotrackGrid grid;
  std::string error;
  ASSERT_TRUE(ParseDemotrackText("# kick snare\n1 .\n. 2\n\n5\n", grid, error)) << error;
  const std::string path = MakeTempFolder() + "/t.dtk";
  ASSERT_TRUE(WriteDemotrack(path, grid));
  tracker.LoadDemotrack(path);
  ASSERT_EQ(tracker.Channels.size(), 2u);
  EXPECT_EQ(tracker.Channels[0], (std::vector<uint8_t>{1, 0, 5}));
  EXPECT_EQ(tracker.Channels[1], (std::vector<uint8_t>{0, 2, 0}));
  EXPECT_FALSE(ParseDemotrackText("1 256\n", grid, error));
}

TEST(Demotrack, BadCountsGiveAnErrorAndAnEmptyDemotrack) {
  TDemoTracker tracker;
  for (auto header : {Header(-1, 10), Header(2, -5), Header(0x7FFFFFFF, 0x7FFFFFFF),
                      Header(1, 0x7FFFFFFF), Header(0x40000000, 0)}) {
    const int before = ErrorBoxCount();
    tracker.Channels.assign(1, std::vector<uint8_t>(4, 1));
    tracker.LoadDemotrack(WriteBytes(header));
    EXPECT_EQ(ErrorBoxCount(), before + 1);
    EXPECT_TRUE(tracker.Channels.empty());
  }
  // A file too short to hold its counts reads them as 0.
  tracker.LoadDemotrack(WriteBytes({1, 0}));
  EXPECT_EQ(tracker.Channels.size(), 1u);
  EXPECT_THROW(tracker.LoadDemotrack("/no/such/file.dtk"), FatalError);
}

TEST(TrackerTime, RowsAndTimesAt120And137_5Bpm) {
  TDemoTracker tracker;
  tracker.BPM = 120.0f;
  EXPECT_EQ(tracker.TimeToRow(1.0f), 8);
  EXPECT_EQ(tracker.TimeToRow(0.124f), 0);
  EXPECT_EQ(tracker.TimeToRow(-0.2f), -1);  // truncation toward zero
  EXPECT_FLOAT_EQ(tracker.RowToTime(8), 1.0f);
  EXPECT_FLOAT_EQ(tracker.RowToTime(64), 8.0f);

  tracker.BPM = 137.5f;
  // 137.5 BPM: 9.1666.. rows per second; every step rounds to a float.
  EXPECT_EQ(tracker.TimeToRow(1.0f), 9);
  EXPECT_EQ(tracker.TimeToRow(60.0f), 550);
  const float t = tracker.RowToTime(11);
  EXPECT_EQ(t, static_cast<float>((60.0L / 137.5L) * (11.0L / 4.0L)));
  EXPECT_EQ(tracker.TimeToRow(t), 11);

  tracker.BPM = 0.0f;
  EXPECT_EQ(tracker.TimeToRow(100.0f), 0);
  EXPECT_EQ(tracker.RowToTime(100), 0.0f);
}

TEST(TrackerEnvelope, TrianglesWindowsAndSums) {
  std::vector<uint8_t> channel(64, 0);
  channel[16] = 5;  // time 2.0 at 120 BPM
  TDemoTracker tracker = TrackerWithChannel(channel);
  // Width 0.5 s: 1 at the row, 0.5 a quarter second each side, 0 from 2.5 on.
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 5, 0.5f, 0.0f, 2.0f), 1.0f);
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 5, 0.5f, 0.0f, 2.25f), 0.5f);
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 5, 0.5f, 1.0f, 1.75f), 0.5f);
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 5, 0.5f, 1.0f, 2.5f), 0.0f);
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 4, 0.5f, 1.0f, 2.0f), 0.0f);  // another note
  // Look-ahead 0: a note three rows ahead is outside the window, two rows ahead is inside.
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 5, 1.0f, 0.0f, 2.0f - 0.375f), 0.0f);
  EXPECT_NEAR(tracker.Envelope(0, 5, 1.0f, 0.0f, 2.0f - 0.25f), 0.75f, 1e-6);
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 5, 0.2f, 0.0f, 2.0f - 0.25f), 0.0f);

  // Several matching rows add up; the sum is not clamped.
  channel[17] = 5;
  tracker = TrackerWithChannel(channel);
  EXPECT_NEAR(tracker.Envelope(0, 5, 0.5f, 0.0f, 2.0625f), 0.875f + 0.875f, 1e-6);

  // Row 0 never counts.
  tracker = TrackerWithChannel({5, 0, 0, 0});
  EXPECT_FLOAT_EQ(tracker.Envelope(0, 5, 1.0f, 1.0f, 0.0f), 0.0f);
}

TEST(TrackerEnvelope, FaultsGiveZeroWithoutReadingOutside) {
  TDemoTracker tracker = TrackerWithChannel({0, 0, 5});
  const int before = ErrorBoxCount();
  EXPECT_EQ(tracker.Envelope(3, 5, 1.0f, 1.0f, 0.0f), 0.0f);
  EXPECT_EQ(tracker.Envelope(-1, 5, 1.0f, 1.0f, 0.0f), 0.0f);
  EXPECT_EQ(ErrorBoxCount(), before + 2);
  EXPECT_EQ(LastErrorBoxText().substr(LastErrorBoxText().rfind('\n') + 1),
            "Description: Error reading demotrack -1");
  // Width 0 would divide by zero: the mapping yields 0.
  EXPECT_EQ(tracker.Envelope(0, 5, 0.0f, 1.0f, 0.25f), 0.0f);
  // A window far past the channel's end and huge widths read nothing outside it.
  EXPECT_NEAR(tracker.Envelope(0, 5, 1e9f, 1e9f, 1e6f), 0.999f, 1e-4);
  EXPECT_EQ(tracker.Envelope(0, 5, 1.0f, 1e9f, 1e6f), 0.0f);
  EXPECT_EQ(tracker.ByteAt(0, 3), 0);
  EXPECT_EQ(tracker.ByteAt(9, 0), 0);
}
