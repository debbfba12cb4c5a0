// Demotracks made from modules and MIDI files with known events: rows follow speed and tempo
// changes, jumps and tempo maps; the player's TRACKER takes music files; damaged files give one
// clear message.
#include "authoring/ScriptCheck.h"
#include "demo/Tracker.h"
#include "sync/TrackReports.h"
#include "sync/TrackSources.h"

#include "common/MusicFiles.h"
#include "platform/AudioDecode.h"
#include "platform/Dialogs.h"
#include "platform/ScriptError.h"
#include "support/TestSystem.h"
#include "support/WorkingFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

// The non-zero cells of a demotrack as (channel, row) → value.
std::map<std::pair<size_t, size_t>, int> Events(const TDemotrackData& data) {
  std::map<std::pair<size_t, size_t>, int> events;
  for (size_t c = 0; c < data.Channels.size(); ++c)
    for (size_t r = 0; r < data.Channels[c].size(); ++r)
      if (data.Channels[c][r]) events[{c, r}] = data.Channels[c][r];
  return events;
}

// Rows at 125 BPM (speed 6) are 0.12 s; from row 12 speed 3 makes them 0.06 s; row 15 jumps
// over order 1 to order 2, which ends the song at its row 3. Most rows play at 125 BPM.
std::vector<uint8_t> JumpingModule() {
  std::vector<TModPattern> patterns(3);
  patterns[0].Note(0, 0, 428);          // C-5, 0.00 s
  patterns[0].Note(4, 1, 856);          // C-4, 0.48 s
  patterns[0].Effect(12, 3, 0xf, 3);
  patterns[0].Note(14, 2, 214);         // C-6, 1.56 s
  patterns[0].Effect(15, 3, 0xb, 2);
  patterns[1].Note(0, 0, 113);          // never played
  patterns[2].Note(2, 3, 428);          // 1.80 s
  patterns[2].Effect(3, 3, 0xd, 0);     // the song ends after 1.92 s
  return ModFileBytes(patterns, {0, 1, 2});
}

// Format 1: 120 BPM for 384 ticks (2 s), then 240 BPM; notes in track 1 with running status.
std::vector<uint8_t> TempoMapMidi() {
  std::vector<uint8_t> tempo, notes;
  AppendMidiTempo(tempo, 0, 500000);
  AppendMidiTempo(tempo, 384, 250000);
  AppendMidiEnd(tempo, 0);
  AppendMidiEvent(notes, 0, {0x99, 36, 100});   // 0 s
  AppendMidiEvent(notes, 96, {36, 0});          // a note-off written as velocity 0
  AppendMidiEvent(notes, 96, {36, 90});         // 1 s
  AppendMidiEvent(notes, 0, {0x90, 0, 80});     // note 0 on MIDI channel 1, 1 s
  AppendMidiEvent(notes, 192, {0x99, 38, 100}); // 2 s
  AppendMidiEvent(notes, 96, {36, 100});        // 2.25 s
  AppendMidiEnd(notes, 96);                     // 2.5 s
  return MidiFileBytes(1, 96, {tempo, notes});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(DemotrackMaking, ModuleRowsFollowSpeedChangesAndJumps) {
  TTrackBuild build;
  std::string error;
  ASSERT_TRUE(DemotrackFromModule(JumpingModule(), TTrackGrid(), build, error)) << error;
  EXPECT_DOUBLE_EQ(build.Bpm, 125.0);
  EXPECT_DOUBLE_EQ(build.MusicBpm, 125.0);
  EXPECT_EQ(build.Data.Channels.size(), 4u);
  EXPECT_EQ(build.Data.RowCount(), 16u);
  const std::map<std::pair<size_t, size_t>, int> expected = {
      {{0, 0}, 61}, {{1, 4}, 49}, {{2, 13}, 73}, {{3, 15}, 61}};
  EXPECT_EQ(Events(build.Data), expected);

  // A grid of eight rows per beat: twice the rows, written for twice the tempo.
  TTrackGrid fine;
  fine.RowsPerBeat = 8;
  ASSERT_TRUE(DemotrackFromModule(JumpingModule(), fine, build, error)) << error;
  EXPECT_DOUBLE_EQ(build.Bpm, 250.0);
  const std::map<std::pair<size_t, size_t>, int> fineExpected = {
      {{0, 0}, 61}, {{1, 8}, 49}, {{2, 26}, 73}, {{3, 30}, 61}};
  EXPECT_EQ(Events(build.Data), fineExpected);
}

TEST(DemotrackMaking, MidiTimesGoThroughTheTempoMap) {
  TTrackBuild build;
  std::string error;
  ASSERT_TRUE(DemotrackFromMidi(TempoMapMidi(), TTrackGrid(), build, error)) << error;
  EXPECT_DOUBLE_EQ(build.Bpm, 120.0);  // the tempo that lasts longest
  EXPECT_EQ(build.Data.Channels.size(), 16u);
  EXPECT_EQ(build.Data.RowCount(), 20u);  // 2.5 s at 8 rows a second
  const std::map<std::pair<size_t, size_t>, int> expected = {
      {{9, 0}, 36}, {{9, 8}, 36}, {{0, 8}, 128}, {{9, 16}, 38}, {{9, 18}, 36}};
  EXPECT_EQ(Events(build.Data), expected);

  TTrackGrid forced;
  forced.Bpm = 100.0;  // 6.67 rows a second
  ASSERT_TRUE(DemotrackFromMidi(TempoMapMidi(), forced, build, error)) << error;
  EXPECT_DOUBLE_EQ(build.Bpm, 100.0);
  EXPECT_DOUBLE_EQ(build.MusicBpm, 120.0);
  const std::map<std::pair<size_t, size_t>, int> forcedExpected = {
      {{9, 0}, 36}, {{9, 7}, 36}, {{0, 7}, 128}, {{9, 13}, 38}, {{9, 15}, 36}};
  EXPECT_EQ(Events(build.Data), forcedExpected);

  // SMPTE division: 25 frames of 40 ticks, 1000 ticks a second whatever the tempo.
  std::vector<uint8_t> track;
  AppendMidiTempo(track, 0, 250000);
  AppendMidiEvent(track, 500, {0x92, 60, 100});
  AppendMidiEnd(track, 500);
  ASSERT_TRUE(DemotrackFromMidi(MidiFileBytes(0, 0xe728, {track}), TTrackGrid(), build, error))
      << error;
  EXPECT_DOUBLE_EQ(build.Bpm, 240.0);
  EXPECT_EQ(Events(build.Data), (std::map<std::pair<size_t, size_t>, int>{{{2, 8}, 60}}));
}

TEST(DemotrackMaking, DamagedFilesGiveOneClearMessage) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  std::vector<uint8_t> cut = TempoMapMidi();
  cut.resize(cut.size() - 5);  // the last track claims more than is left
  std::vector<uint8_t> noStatus;
  AppendMidiEvent(noStatus, 0, {60, 100});
  std::vector<uint8_t> longDelta = {0x8f, 0xff, 0xff, 0xff, 0x7f, 0x90, 60, 100};
  std::vector<uint8_t> metaPastEnd;
  AppendMidiEvent(metaPastEnd, 0, {0xff, 0x01, 0x7f, 'a'});
  // Two hundred thousand notes a quarter of an hour apart: far too long for a demotrack.
  std::vector<uint8_t> endless;
  for (int i = 0; i < 200000; ++i) AppendMidiEvent(endless, 0x0fffffff, {0x90, 60, 100});
  const std::vector<Case> cases = {
      {"cut track", cut, "claims"},
      {"no status", MidiFileBytes(0, 96, {noStatus}), "data byte without a status"},
      {"long delta", MidiFileBytes(0, 96, {longDelta}), "bad or cut-off delta time"},
      {"meta past end", MidiFileBytes(0, 96, {metaPastEnd}), "meta event runs past the end"},
      {"format 2", MidiFileBytes(2, 96, {noStatus}), "format 2"},
      {"division 0", MidiFileBytes(0, 0, {noStatus}), "division of 0"},
      {"endless", MidiFileBytes(0, 96, {endless}), "too long for a demotrack"},
      {"header only", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, "header is cut off"},
  };
  for (const Case& c : cases) {
    TTrackBuild build;
    std::string error;
    EXPECT_FALSE(DemotrackFromMidi(c.bytes, TTrackGrid(), build, error)) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.name;
  }
  std::vector<uint8_t> module = JumpingModule();
  module.resize(1084 + 100);  // the header and a part of the first pattern
  for (const std::vector<uint8_t>& bytes : {std::vector<uint8_t>(5000, 0x55), module}) {
    TTrackBuild build;
    std::string error;
    const bool made = DemotrackFromModule(bytes, TTrackGrid(), build, error);
    // libopenmpt plays what there is of a cut module, or says it cannot read it.
    EXPECT_TRUE(made ? build.Data.Channels.size() == 4 : error.find("module") != std::string::npos)
        << error;
  }
  TTrackBuild build;
  std::string error;
  EXPECT_FALSE(DemotrackFromModule(std::vector<uint8_t>(5000, 0x55), TTrackGrid(), build, error));
  EXPECT_NE(error.find("not a module libopenmpt can read"), std::string::npos) << error;
}

TEST(DemotrackMaking, MidiInRiffRunningStatusAndBoundsAreCheckedAgainstTheBytes) {
  // Running status goes on across a meta event and a system exclusive message.
  std::vector<uint8_t> track;
  AppendMidiEvent(track, 0, {0x99, 36, 100});
  AppendMidiEvent(track, 96, {0xff, 0x01, 0x01, 'a'});
  AppendMidiEvent(track, 0, {38, 100});
  AppendMidiEvent(track, 96, {0xf0, 0x01, 0xf7});
  AppendMidiEvent(track, 0, {42, 100});
  AppendMidiEnd(track, 0);
  TTrackBuild build;
  std::string error;
  ASSERT_TRUE(DemotrackFromMidi(MidiFileBytes(0, 96, {track}), TTrackGrid(), build, error)) << error;
  EXPECT_EQ(Events(build.Data),
            (std::map<std::pair<size_t, size_t>, int>{{{9, 0}, 36}, {{9, 4}, 38}, {{9, 8}, 42}}));

  // In RIFF (an odd-sized chunk before the data chunk): the same notes, told by content.
  const std::vector<uint8_t> midi = TempoMapMidi();
  auto riff = [&](uint32_t dataSize) {
    std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D',
                                  'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0,
                                  'd', 'a', 't', 'a'};
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(dataSize >> (8 * i)));
    bytes.insert(bytes.end(), midi.begin(), midi.end());
    return bytes;
  };
  const std::vector<uint8_t> rmid = riff(static_cast<uint32_t>(midi.size()));
  EXPECT_EQ(DetectTrackSource("song.rmi", rmid), TTrackSource::Midi);
  TTrackBuild bare;
  ASSERT_TRUE(DemotrackFromMidi(midi, TTrackGrid(), bare, error)) << error;
  ASSERT_TRUE(DemotrackFromMidi(rmid, TTrackGrid(), build, error)) << error;
  EXPECT_EQ(build.Data.Channels, bare.Data.Channels);
  EXPECT_FALSE(DemotrackFromMidi(riff(static_cast<uint32_t>(midi.size() + 1)), TTrackGrid(),
                                 build, error));
  EXPECT_EQ(error, "MIDI in RIFF: a chunk claims " + std::to_string(midi.size() + 1) +
                       " bytes but only " + std::to_string(midi.size()) + " remain");
  TPcm16 pcm;
  EXPECT_FALSE(DecodeAudioBytes(rmid.data(), rmid.size(), pcm, error));
  EXPECT_NE(error.find("it is a MIDI file"), std::string::npos) << error;

  // MIDI files have the modules' bound: 30 minutes pass, a note after 31 does not.
  for (uint32_t minutes : {30u, 31u}) {
    std::vector<uint8_t> late;
    AppendMidiEvent(late, minutes * 60 * 2 * 96, {0x90, 60, 100});
    AppendMidiEnd(late, 0);
    const bool made = DemotrackFromMidi(MidiFileBytes(0, 96, {late}), TTrackGrid(), build, error);
    EXPECT_EQ(made, minutes == 30) << error;
    if (!made) {
      EXPECT_EQ(error, "the song plays for 1860 s, too long for a demotrack: songs up to 30 "
                       "minutes are made into one");
    }
  }

  // Channels past 256 need a byte each: five bytes cannot claim 589885 of them.
  TDemotrackData data;
  EXPECT_FALSE(ParseDemotrackBytes({0x3d, 0x00, 0x09, 0x00, 0x00}, data, error));
  EXPECT_EQ(error, "claims 589885 channels but holds only 0 bytes of rows");
  EXPECT_TRUE(ParseDemotrackBytes({16, 0, 0, 0, 0, 0, 0, 0}, data, error)) << error;
  EXPECT_EQ(data.Channels.size(), 16u);
}

TEST(DemotrackMaking, TrackerTakesModulesAndMidiFilesThroughTheCache) {
  const std::string folder = MakeTempFolder();
  RedirectUserCache(folder + "/cache");
  WriteBytes(folder + "/song.mid", TempoMapMidi());
  WriteBytes(folder + "/song.mod", JumpingModule());

  TDemoTracker midi;
  midi.LoadTrackerFile(folder + "/song.mid");
  EXPECT_FLOAT_EQ(midi.BPM, 120.0f);  // no BPM line needed
  EXPECT_EQ(midi.MusicKind, "MIDI file");
  EXPECT_EQ(midi.ByteAt(9, 16), 38);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/cache/vorpane"),
                          std::filesystem::directory_iterator()),
            1);
  // A BPM line puts the notes on its own grid, so they stay at their times.
  midi.SetBpm(100.0f);
  EXPECT_EQ(midi.ByteAt(9, 13), 38);
  EXPECT_EQ(midi.RowCount(9), 17);

  // The second load comes from the cache; an entry changed behind its back is made again.
  TDemoTracker module;
  module.LoadTrackerFile(folder + "/song.mod");
  EXPECT_FLOAT_EQ(module.BPM, 125.0f);
  EXPECT_EQ(module.ByteAt(2, 13), 73);
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/cache/vorpane")) {
    std::vector<uint8_t> cached;
    std::ifstream in(entry.path(), std::ios::binary);
    cached.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (cached.size() != 32 + 8 + 4 * 16) continue;
    cached[32 + 8 + 2 * 16 + 13] = 99;
    WriteBytes(entry.path().string(), cached);
  }
  testing::internal::CaptureStderr();
  TDemoTracker again;
  again.LoadTrackerFile(folder + "/song.mod");
  EXPECT_EQ(again.ByteAt(2, 13), 73);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(" is damaged; it is made again\n"),
            std::string::npos);

  // A cache that cannot be written, or none at all, is said once per run (the messages name
  // the POSIX variables and errors).
  if (!kWindowsBuild) {
    WriteBytes(folder + "/file", {1});
    RedirectUserCache(folder + "/file");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const std::string& said :
         {"Cannot write the demotrack cache in " + folder + "/file/vorpane (Not a directory)",
          std::string("No folder for the demotrack cache (neither XDG_CACHE_HOME nor HOME names one)")}) {
      ResetTrackReports();
      testing::internal::CaptureStderr();
      for (int i = 0; i < 2; ++i) TDemoTracker().LoadTrackerFile(folder + "/song.mid");
      EXPECT_EQ(testing::internal::GetCapturedStderr(),
                said + ": music is made into a demotrack again on every start\n");
      UnsetEnvironment("XDG_CACHE_HOME");
      UnsetEnvironment("HOME");
    }
    if (!home.empty()) SetEnvironment("HOME", home);
  }
  RedirectUserCache(folder + "/cache");

  // What a file holds decides, whatever its name; only .trk is taken at its word.
  const std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E'};
  EXPECT_EQ(DetectTrackSource("song.trk", TempoMapMidi()), TTrackSource::Demotrack);
  EXPECT_EQ(DetectTrackSource("song.dat", TempoMapMidi()), TTrackSource::Midi);
  EXPECT_EQ(DetectTrackSource("song.dat", JumpingModule()), TTrackSource::Module);
  EXPECT_EQ(DetectTrackSource("song.mod", wave), TTrackSource::Audio);
  EXPECT_EQ(DetectTrackSource("song.mod", {2, 0, 0, 0, 1, 0, 0, 0, 5, 6}), TTrackSource::Demotrack);

  // A demotrack file stays as it is.
  WriteBytes(folder + "/plain.trk", {1, 0, 0, 0, 2, 0, 0, 0, 7, 8});
  TDemoTracker plain;
  plain.LoadTrackerFile(folder + "/plain.trk");
  EXPECT_EQ(plain.ByteAt(0, 1), 8);
  EXPECT_TRUE(plain.MusicFile.empty());
  RestoreUserCache();
}

TEST(DemotrackMaking, CheckSaysWhichTempoAndWarnsOnAFarBpm) {
  const std::string folder = MakeTempFolder();
  RedirectUserCache(folder + "/cache");
  WriteBytes(folder + "/song.mid", TempoMapMidi());
  WriteTextFile(folder, "own.vrp", "TRACKER song.mid\n");
  WriteTextFile(folder, "near.vrp", "TRACKER song.mid\nBPM 121\n");
  WriteTextFile(folder, "far.vrp", "TRACKER song.mid\nBPM 123\n");
  WorkingFolder here(folder);
  auto messages = [&](const std::string& script) {
    const TCheckReport report = CheckScript(script);
    std::string text;
    for (const TCheckMessage& message : report.Messages)
      text += FormatCheckMessage(script, message) + "\n";
    return text;
  };
  EXPECT_EQ(messages("own.vrp"),
            "own.vrp:1: note: no BPM line: the player uses the MIDI file's own tempo, 120.00 BPM\n");
  EXPECT_EQ(messages("near.vrp"), "");
  EXPECT_EQ(messages("far.vrp"),
            "far.vrp:2: warning: BPM 123 differs by more than 1 % from the MIDI file's own tempo, "
            "120.00 BPM; the notes are laid on the script's tempo, bars may not fall on the "
            "music's beats\n");
  RestoreUserCache();
}
