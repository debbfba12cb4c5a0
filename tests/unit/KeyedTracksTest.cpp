// Keyed tracks: values of the four key types, the `.rocket` dialects, the exact export, the
// binary `.track` files, malformed files, and the memory a 16 MiB file takes to read.
#include "platform/Files.h"
#include "support/TestSystem.h"
#include "sync/TrackFiles.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <fstream>

namespace {

uint32_t Bits(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  return bits;
}

long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  return -1;
}

}  // namespace

TEST(KeyedTracks, ValuesFollowTheFourKeyTypes) {
  TKeyedTrackSet set;
  TKeyedTrack& track = set.Track("fx:fade");
  EXPECT_EQ(track.ValueAt(5.0), 0.0);  // no keys
  track.SetKey({16, 1.0f, TKeyType::Ramp});
  track.SetKey({4, 1.0f, TKeyType::Step});
  track.SetKey({12, 5.0f, TKeyType::Smooth});
  track.SetKey({8, 3.0f, TKeyType::Linear});
  track.SetKey({20, 2.0f, TKeyType::Step});
  EXPECT_DOUBLE_EQ(track.ValueAt(-3.0), 1.0);   // before the first key
  EXPECT_DOUBLE_EQ(track.ValueAt(7.99), 1.0);   // step holds
  EXPECT_DOUBLE_EQ(track.ValueAt(9.0), 3.5);    // linear: 3 + 2 * 0.25
  EXPECT_DOUBLE_EQ(track.ValueAt(10.5), 4.25);  // 3 + 2 * 0.625
  EXPECT_DOUBLE_EQ(track.ValueAt(13.0), 4.375); // smooth: 5 - 4 * (0.0625 * 2.5)
  EXPECT_DOUBLE_EQ(track.ValueAt(14.0), 3.0);   // halfway
  EXPECT_DOUBLE_EQ(track.ValueAt(17.0), 1.0625);  // ramp: 1 + 0.25 * 0.25
  EXPECT_DOUBLE_EQ(track.ValueAt(19.0), 1.5625);  // 1 + 0.75 * 0.75
  EXPECT_DOUBLE_EQ(track.ValueAt(20.0), 2.0);
  EXPECT_DOUBLE_EQ(track.ValueAt(1e9), 2.0);    // after the last key
  track.SetKey({8, 7.0f, TKeyType::Linear});    // replaces
  EXPECT_DOUBLE_EQ(track.ValueAt(10.0), 6.0);
  EXPECT_FALSE(track.DeleteKey(9));             // no key there: ignored
  EXPECT_TRUE(track.DeleteKey(8));
  EXPECT_EQ(track.Keys().size(), 4u);
  EXPECT_DOUBLE_EQ(set.ValueAt("fx:fade", 10.0), 1.0);  // row 4's step reaches row 12 now
  EXPECT_EQ(set.ValueAt("missing", 10.0), 0.0);
  EXPECT_DOUBLE_EQ(RowAtTime(1.5, 120.0), 12.0);  // four rows a beat: demotrack rows
  EXPECT_DOUBLE_EQ(RowAtTime(1.5, 120.0, 8), 24.0);
}

TEST(KeyedTracks, BothDialectsReadTheSameKeys) {
  const std::string gnu =
      "<sync rows=\"512\">\n<tracks>\n<track name=\"cam:x&amp;&lt;&#x41;&#66;\">\n"
      "<key row=\"0\" value=\"0.5\" interpolation=\"1\"/>\n"
      "<key row=\"32\" value=\"-2.25\" interpolation=\"3\"/>\n"
      "<key row=\"32\" value=\"-2.75\" interpolation=\"2\"/>\n"
      "</track>\n<track name=\"empty\"/>\n</tracks>\n<bookmarks><bookmark row=\"4\"/></bookmarks>"
      "</sync>\n";
  const std::string editor =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- saved -->\n<rootElement>\n"
      "<bookmark row=\"4\"/><group name=\"cam\" folded=\"0\"/>\n"
      "<tracks rows=\"10000\" startRow=\"0\" endRow=\"10000\" rowsPerBeat=\"8\"\n"
      " beatsPerMin=\"125\">\n"
      "<track name='cam:x&amp;&lt;AB' folded=\"0\" muteKeyCount=\"0\" color=\"ff00ff\">\n"
      "<key row=\"32\" value=\"-2.750000\" interpolation=\"2\"/>\n"
      "<key row=\"0\" value=\"0.500000\" interpolation=\"1\" />\n</track>\n"
      "<track name=\"empty\" folded=\"1\"></track>\n</tracks>\n</rootElement>\n";
  TRocketFile fromGnu, fromEditor;
  std::string error;
  ASSERT_TRUE(ParseRocketXml(gnu, fromGnu, error)) << error;
  ASSERT_TRUE(ParseRocketXml(editor, fromEditor, error)) << error;
  EXPECT_EQ(fromGnu.Rows, 512);
  EXPECT_EQ(fromGnu.RepeatedRowKeys, 1u);  // the later key of row 32 stays
  EXPECT_EQ(fromEditor.Rows, 10000);
  EXPECT_EQ(fromEditor.RowsPerBeat, 8);
  for (const TRocketFile* file : {&fromGnu, &fromEditor}) {
    ASSERT_EQ(file->Tracks.Size(), 2u);
    const TKeyedTrack* track = file->Tracks.Find("cam:x&<AB");
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->Keys().size(), 2u);
    EXPECT_EQ(track->Keys()[0].Row, 0);
    EXPECT_EQ(track->Keys()[0].Value, 0.5f);
    EXPECT_EQ(track->Keys()[0].Type, TKeyType::Linear);
    EXPECT_EQ(track->Keys()[1].Row, 32);
    EXPECT_EQ(track->Keys()[1].Value, -2.75f);
    EXPECT_EQ(track->Keys()[1].Type, TKeyType::Smooth);
    EXPECT_TRUE(file->Tracks.Find("empty")->Keys().empty());
  }
}

TEST(KeyedTracks, ExportAndTrackFilesReadBackBitExactly) {
  const std::string folder = MakeTempFolder();
  const float values[] = {0.1f, 1e-7f, -0.0f, 3.14159274f, FLT_MAX, -FLT_MIN, 1e-45f, 16777215.0f,
                          0.3333333f, 123456.789f};
  TKeyedTrackSet set;
  int row = 0;
  for (float value : values)
    set.Track("a \"q\" <&>:x").SetKey({row++ * 3, value, TKeyType::Smooth});
  set.Track("cam:x").SetKey({7, 0.2f, TKeyType::Ramp});
  std::string error;
  const std::string fileName = folder + "/export.rocket";
  ASSERT_TRUE(WriteRocketFile(fileName, set, 16, false, error)) << error;
  EXPECT_FALSE(WriteRocketFile(fileName, set, 16, false, error));  // never over a file unasked
  EXPECT_EQ(error, fileName + " already exists; it is kept");
  EXPECT_FALSE(FileExists(fileName + ".partial"));
  TRocketFile read;
  ASSERT_TRUE(ReadRocketFile(fileName, read, error)) << error;
  EXPECT_EQ(read.Rows, 28);  // raised to hold the last key
  EXPECT_EQ(TrackFileName("sync", "cam:x"), "sync_cam-3Ax.track");
  ASSERT_TRUE(WriteTrackFiles(folder + "/sync", set, error)) << error;
  for (const auto& named : set.All()) {
    const TKeyedTrack* back = read.Tracks.Find(named.first);
    ASSERT_NE(back, nullptr) << named.first;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(TrackFileName(folder + "/sync", named.first), bytes));
    TKeyedTrack fromBinary;
    ASSERT_TRUE(ParseTrackBytes(bytes, fromBinary, error)) << error;
    for (const TKeyedTrack* copy : {back, static_cast<const TKeyedTrack*>(&fromBinary)}) {
      ASSERT_EQ(copy->Keys().size(), named.second.Keys().size());
      for (size_t i = 0; i < copy->Keys().size(); ++i) {
        EXPECT_EQ(copy->Keys()[i].Row, named.second.Keys()[i].Row);
        EXPECT_EQ(Bits(copy->Keys()[i].Value), Bits(named.second.Keys()[i].Value));
        EXPECT_EQ(copy->Keys()[i].Type, named.second.Keys()[i].Type);
      }
    }
  }
  TKeyedTrackSet escaping;
  escaping.Track("a/../../x");
  EXPECT_FALSE(WriteTrackFiles(folder + "/sync", escaping, error));
}

TEST(KeyedTracks, MalformedFilesSayWhatAndWhere) {
  const std::string head = "<sync>\n<tracks>\n<track name=\"a\">\n";
  const std::string tail = "\n</track></tracks></sync>";
  const std::pair<std::string, std::string> cases[] = {
      {head, "line 3: <track> is never closed"},
      {head + "<key row=\"x1\" value=\"1\" interpolation=\"0\"/>" + tail,
       "line 4: key row \"x1\" is not a whole number"},
      {head + "<key row=\"-3\" value=\"1\" interpolation=\"0\"/>" + tail,
       "line 4: key row -3 is negative"},
      {head + "<key row=\"3\" value=\"1.5.2\" interpolation=\"0\"/>" + tail,
       "line 4: key value \"1.5.2\" is not a number"},
      {head + "<key row=\"3\" value=\"1e39\"/>" + tail,
       "line 4: key value \"1e39\" is not a number"},
      {head + "<key row=\"3\" value=\"1\"\n<key row=\"4\" value=\"1\"/>" + tail,
       "line 4: <key is not closed by '>'"},
      {"<sync>\n<track name=\"a\" fold", "line 2: <track is not closed by '>'"},
      {"<sync>\n<tracks>\n</sync>", "line 3: </sync> closes <tracks> opened on line 2"},
      {"<sync><key row=\"1\" value=\"1\"/></sync>", "line 1: a key outside a track"},
      {"<sync><track name=\"a&bogus;\"/></sync>",
       "line 1: the track name has the unknown entity \"&bogus;\""},
      {"<sync><track name=\"a\"/>\n<track name=\"a\"/></sync>",
       "line 2: a second track named \"a\""},
      {"\x01\x02 binary\n<a/>", "line 2: no <sync> or <tracks> element: not a .rocket track file"},
      {std::string("<sync>\n\0", 8), "line 2: a NUL byte: not a .rocket track file"},
      {"<sync><!-- open", "line 1: a comment is never closed"},
  };
  for (const auto& [text, message] : cases) {
    TRocketFile file;
    std::string error;
    EXPECT_FALSE(ParseRocketXml(text, file, error)) << text;
    EXPECT_EQ(error, message);
    EXPECT_EQ(file.Tracks.Size(), 0u);
  }
  // A type this player does not know holds its value like a step, and is counted.
  TRocketFile newer;
  std::string error;
  ASSERT_TRUE(ParseRocketXml(head + "<key row=\"3\" value=\"1\" interpolation=\"7\"/>"
                             "<key row=\"9\" value=\"5\"/>" + tail, newer, error)) << error;
  EXPECT_EQ(newer.UnknownTypeKeys, 1u);
  EXPECT_EQ(newer.FirstUnknownType.rfind("line 4: key type 7", 0), 0u);
  EXPECT_EQ(newer.Tracks.ValueAt("a", 6.0), 1.0);
  TKeyedTrack track;
  EXPECT_FALSE(ParseTrackBytes({2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x80, 0x3f, 1}, track, error));
  EXPECT_EQ(error, "2 keys need 18 bytes after the count; the file has 9");
  EXPECT_FALSE(ParseTrackBytes({1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x80, 0x3f, 4}, track, error));
  EXPECT_EQ(error, "key 1 has type 4; types are 0..3 (step, linear, smooth, ramp)");
  EXPECT_FALSE(ParseTrackBytes({0xff, 0xff, 0xff, 0xff}, track, error));
  EXPECT_EQ(error, "the key count -1 is negative");
}

// ThreadSanitizer's shadow memory multiplies what a reader holds (about 2.2 times here).
#if defined(__SANITIZE_THREAD__)
constexpr long kReadKilobytesLimit = 4 * 64 * 1024;
#else
constexpr long kReadKilobytesLimit = 64 * 1024;
#endif

TEST(KeyedTracks, SixteenMebibyteFilesReadInBoundedMemory) {
  // Keys in falling row order (each would go in front), then the most tracks a file may hold.
  const size_t target = 16u << 20;
  const std::string keyed = [&] {
    std::string text = "<sync rows=\"100\"><tracks><track name=\"t\">\n";
    for (int row = 1 << 30; text.size() < target - 64; --row)
      text += "<key row=\"" + std::to_string(row) + "\" value=\"1\"/>";
    return text + "</track></tracks></sync>\n";
  }();
  const std::string tracks = [&] {
    std::string text = "<sync><tracks>\n";
    for (size_t n = 0; n < kMaxRocketTracks; ++n)
      text += "<track name=\"g:" + std::to_string(n) + "\"><key row=\"1\" value=\"2\"/></track>\n";
    while (text.size() < target - 64) text += "<!-- padding padding padding padding -->\n";
    return text + "</tracks></sync>\n";
  }();
  const std::string folder = MakeTempFolder();
  for (const std::string* text : {&keyed, &tracks}) {
    const std::string fileName = folder + "/large.rocket";
    std::ofstream(fileName, std::ios::binary) << *text;
    ASSERT_GE(FileStamp(fileName).Size, target - 64);
    // Resets the peak resident size so it tells what reading takes.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKilobytes("VmRSS:");
    TRocketFile read;
    std::string error;
    ASSERT_TRUE(ReadRocketFile(fileName, read, error)) << error;
    const long peak = StatusKilobytes("VmHWM:");
    EXPECT_LT(peak - before, kReadKilobytesLimit) << "KiB above the start";
    const size_t keys = text == &keyed ? read.Tracks.Find("t")->Keys().size() : read.Tracks.Size();
    EXPECT_GT(keys, 60000u);
  }
}
