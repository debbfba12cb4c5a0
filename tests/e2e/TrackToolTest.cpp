// vorpane-track as a user runs it: each way to make a demotrack, the text form both ways, info,
// and damaged or hostile input ending in one line and status 1, quickly and in little memory.
#include "common/MusicFiles.h"
#include "common/TestAudio.h"
#include "support/CapturedFrames.h"
#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's shadow memory and redzones about double what the tool holds.
constexpr double kSecondsLimit = 20.0;
constexpr long kKilobytesLimit = 512 * 1024;
#else
constexpr double kSecondsLimit = 5.0;  // as the player's hostile inputs: a shared machine
constexpr long kKilobytesLimit = 256 * 1024;
#endif

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TRunResult Track(const std::string& folder, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), VORPANE_TRACK_BINARY);
  return RunProgramIn(folder, arguments, 60);
}

}  // namespace

TEST(TrackTool, MakesReadsAndRoundTripsDemotracks) {
  const std::string folder = MakeTempFolder();
  std::vector<uint8_t> tempo, notes;
  AppendMidiTempo(tempo, 0, 400000);  // 150 BPM
  AppendMidiEnd(tempo, 0);
  for (int beat = 0; beat < 8; ++beat) AppendMidiEvent(notes, beat ? 96 : 0, {0x99, 36, 100});
  AppendMidiEnd(notes, 96);
  WriteBytes(folder + "/kicks.mid", MidiFileBytes(1, 96, {tempo, notes}));

  TRunResult run = Track(folder, {"from-midi", "kicks.mid", "-o", "kicks.trk"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find("bpm: 150\n"), std::string::npos) << run.Stdout;

  run = Track(folder, {"info", "kicks.trk", "--bpm", "150"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  for (const char* line : {"bpm: 150\n", "channels: 16\n", "rows: 32\n", "length: 3.20 s\n",
                           "channel 9: 8 events\n", "channel 0: 0 events\n"})
    EXPECT_NE(run.Stdout.find(line), std::string::npos) << line << " in\n" << run.Stdout;
  // A demotrack file does not hold its tempo.
  run = Track(folder, {"info", "kicks.trk"});
  EXPECT_NE(run.Stdout.find("bpm: unknown"), std::string::npos) << run.Stdout;

  // The text form and back give the same bytes, and the text keeps the tempo.
  run = Track(folder, {"to-text", "kicks.mid", "-o", "kicks.txt", "--rows-per-beat", "8"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find("bpm: 300\n"), std::string::npos) << run.Stdout;
  run = Track(folder, {"from-text", "kicks.txt", "-o", "fine.trk"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find("bpm: 300\n"), std::string::npos) << run.Stdout;
  run = Track(folder, {"from-midi", "kicks.mid", "-o", "direct.trk", "--rows-per-beat", "8"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(ReadTextFile(folder + "/fine.trk"), ReadTextFile(folder + "/direct.trk"));
  EXPECT_EQ(ReadTextFile(folder + "/fine.trk").size(), 8u + 16u * 64u);

  std::vector<TModPattern> patterns(1);
  patterns[0].Note(0, 2, 428);
  patterns[0].Effect(1, 0, 0xd, 0);
  WriteBytes(folder + "/tiny.mod", ModFileBytes(patterns, {0}));
  run = Track(folder, {"from-module", "tiny.mod", "-o", "tiny.trk", "--bpm", "100"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find("bpm: 100\nmusic bpm: 125\n"), std::string::npos) << run.Stdout;

  run = Track(folder, {"from-midi", "kicks.mid"});
  EXPECT_EQ(run.ExitStatus, 2);  // -o is required
}

TEST(TrackTool, ByInstrumentGathersEachSamplesNotesFromAllChannelsUnderItsName) {
  const std::string folder = MakeTempFolder();
  WriteBytes(folder + "/named.mod", NamedSamplesModule());
  // Module rows are demotrack rows at 125 BPM; of the two Kicks on row 8 the lower stays.
  TRunResult run = Track(folder, {"to-text", "named.mod", "--by-instrument"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_EQ(run.Stdout,
            "# bpm: 125\n# 0: Kick\n# 1: Snare\n# 2: Hat\n"
            "# 3 channels, 10 rows; one line per row, '.' for 0\n"
            "  61   .   .\n   .   .   .\n   .  61   .\n   .  65   .\n  61   .   .\n"
            "   .  61   .\n   .   .  73\n   .   .   .\n  49   .   .\n   .   .   .\n");
  run = Track(folder, {"info", "named.mod", "--by-instrument"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  for (const char* line : {"channel 0: 3 events (Kick)\n", "channel 1: 3 events (Snare)\n",
                           "channel 2: 1 event (Hat)\n"})
    EXPECT_NE(run.Stdout.find(line), std::string::npos) << line << " in\n" << run.Stdout;
  run = Track(folder, {"from-module", "named.mod", "--by-instrument", "-o", "drums.trk"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  EXPECT_NE(run.Stdout.find("3 channels, 10 rows, 1.20 s\nchannel 0: Kick\n"), std::string::npos)
      << run.Stdout;
  // Per channel, as TRACKER makes it, the same notes stay on the module's four channels.
  run = Track(folder, {"info", "named.mod"});
  EXPECT_NE(run.Stdout.find("channel 3: 2 events\n"), std::string::npos) << run.Stdout;
  run = Track(folder, {"info", "drums.trk", "--by-instrument"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_NE(run.Stderr.find("--by-instrument takes a module; this file is read as a demotrack"),
            std::string::npos) << run.Stderr;
}

TEST(TrackTool, ThePlayerFlashesOnTheKicksOfAMidiFileWithoutABpmLine) {
  const std::string folder = MakeTempFolder();
  std::vector<uint8_t> tempo, notes;
  AppendMidiTempo(tempo, 0, 400000);  // 150 BPM: a kick every 0.4 s, ten rows a second
  AppendMidiEnd(tempo, 0);
  for (int beat = 0; beat < 8; ++beat) AppendMidiEvent(notes, beat ? 96 : 0, {0x99, 36, 100});
  AppendMidiEnd(notes, 96);
  WriteBytes(folder + "/kicks.mid", MidiFileBytes(1, 96, {tempo, notes}));
  WriteTextFile(folder, "moltrax.vrp",
                "RESOLUTIONX 800\nRESOLUTIONY 600\nCOLORDEPTH 32\nINIT\n"
                "TRACKER kicks.mid\n"
                "LOAD flash 3\nW 800\nH 600\nE 255\nF 255\nG 255\n"
                "BAR kicks\nMOUNT 0\nLENGTH 1\nEFFECT 3\nINPUT 0 9 36 100 0\n");
  const TRunResult run =
      RunVorpaneIn(folder, {"--capture", "cap", "--fps", "10", "--from", "0.6", "--to", "1.0"},
                   120, {"XDG_CACHE_HOME=" + folder + "/cache"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  // Frames at 0.6, 0.7, 0.8 and 0.9 s: only the one on the kick at 0.8 s is lit.
  const int expected[] = {0, 0, 255, 0};
  for (int i = 0; i < 4; ++i) {
    TFrame frame;
    ASSERT_TRUE(ReadPng(folder + "/cap" + FrameName("", i), frame)) << i;
    EXPECT_NEAR(frame.At(400, 300)[0], expected[i], 2) << i;
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/cache/vorpane"));
}

TEST(TrackTool, DamagedAndHostileFilesEndInOneLine) {
  const std::string folder = MakeTempFolder();
  std::mt19937 random(7);
  std::vector<uint8_t> noise(16u << 20);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  // A module header over 16 MiB of noise: random patterns, effects and sample data.
  std::vector<uint8_t> module = ModFileBytes({TModPattern()}, {0});
  std::vector<uint8_t> hostileModule = noise;
  std::copy(module.begin(), module.begin() + 1080, hostileModule.begin());
  for (size_t i = 0; i < 128; ++i) hostileModule[952 + i] = static_cast<uint8_t>(i % 64);
  hostileModule[950] = 128;
  std::copy(module.begin() + 1080, module.begin() + 1084, hostileModule.begin() + 1080);
  WriteBytes(folder + "/noise.mod", hostileModule);
  // A MIDI track of 16 MiB of note-ons in running status.
  std::vector<uint8_t> track = {0x00, 0x90, 60, 100};
  while (track.size() < (16u << 20)) track.insert(track.end(), {0x00, 61, 100});
  WriteBytes(folder + "/notes.mid", MidiFileBytes(0, 96, {track}));
  std::vector<uint8_t> cut = MidiFileBytes(0, 96, {track});
  cut.resize(cut.size() / 2);
  WriteBytes(folder + "/cut.mid", cut);
  WriteBytes(folder + "/noise.xm", std::vector<uint8_t>(noise.begin(), noise.begin() + 4096));

  struct Case {
    const char* command;
    const char* file;
    int status;
    const char* message;
  };
  for (const Case& c : {Case{"from-module", "noise.mod", -1, ""},
                        Case{"from-midi", "notes.mid", 0, ""},
                        Case{"from-midi", "cut.mid", 1, "claims"},
                        Case{"from-module", "noise.xm", 1, "not a module libopenmpt can read"},
                        Case{"from-midi", "noise.xm", 1, "not a MIDI file"},
                        Case{"from-text", "noise.xm", 1, "is not a value 0..255"}}) {
    const TRunResult run = Track(folder, {c.command, c.file, "-o", "out.trk"});
    SCOPED_TRACE(std::string(c.command) + " " + c.file + ": " + run.Stderr);
    if (c.status >= 0) EXPECT_EQ(run.ExitStatus, c.status);
    else EXPECT_TRUE(run.ExitStatus == 0 || run.ExitStatus == 1);
    if (run.ExitStatus == 1) {
      EXPECT_EQ(run.Stderr.rfind(std::string("vorpane-track: ") + c.file + ": ", 0), 0u);
      EXPECT_NE(run.Stderr.find(c.message), std::string::npos);
      EXPECT_EQ(run.Stderr.find('\n'), run.Stderr.size() - 1);
    }
    EXPECT_LT(run.Seconds, kSecondsLimit);
    EXPECT_LT(run.PeakKilobytes, kKilobytesLimit);
  }
}

TEST(TrackTool, CheckShowsTheAnalysisAndRemakesADamagedCacheEntryWithOneLine) {
  const std::string folder = MakeTempFolder();
  std::string error;
  ASSERT_TRUE(WriteAudioFile(folder + "/beat.wav", MakeClickTrack(22050, 1, 8.0, 0.5),
                             TAudioFormat::Wav, error)) << error;
  WriteTextFile(folder, "rec.vrp", "TRACKER beat.wav\n");
  const std::vector<std::string> cache = {"XDG_CACHE_HOME=" + folder + "/cache"};
  const TRunResult first = RunVorpaneIn(folder, {"--check", "rec.vrp"}, 60, cache);
  EXPECT_EQ(first.ExitStatus, 0) << first.Stderr;
  EXPECT_EQ(first.Stderr.rfind("analysing beat.wav for beats and onsets\nanalysed beat.wav in ", 0),
            0u) << first.Stderr;
  ASSERT_NE(first.Stdout.find("own tempo"), std::string::npos) << first.Stdout;

  // The written BPM changed in the entry: made again, with one line, and the same tempo noted.
  std::filesystem::path entry;
  for (const auto& file : std::filesystem::directory_iterator(folder + "/cache/vorpane"))
    entry = file.path();
  std::fstream(entry, std::ios::in | std::ios::out | std::ios::binary).seekp(12).put('\x7f');
  const TRunResult again = RunVorpaneIn(folder, {"--check", "rec.vrp"}, 60, cache);
  EXPECT_EQ(again.Stdout, first.Stdout);
  EXPECT_EQ(again.Stderr.rfind("beat.wav: the cached demotrack " + entry.string() +
                                   " is damaged; it is made again\nanalysing beat.wav",
                               0),
            0u) << again.Stderr;
  EXPECT_EQ(RunVorpaneIn(folder, {"--check", "rec.vrp"}, 60, cache).Stderr, "");  // kept again
}
