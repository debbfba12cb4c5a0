// Writes small music files with known events, for trying vorpane-track and seeding its fuzzers:
// make_test_music KIND FILE. KIND: mod (a four-channel module with a speed change and a pattern
// jump), named-mod (samples Kick, Snare and Hat, the first two played on two channels each),
// long-mod (128 orders of busy patterns at tempo 126, about 16 minutes), midi (format 1 with a
// tempo change and running status), midi-smpte (format 0, 25 fps division).
#include "common/MusicFiles.h"

#include <cstdio>
#include <string>

namespace {

std::vector<uint8_t> ShortModule() {
  std::vector<TModPattern> patterns(3);
  patterns[0].Note(0, 0, 428);
  patterns[0].Note(4, 1, 856);
  patterns[0].Effect(8, 3, 0xf, 3);  // speed 3 from row 8
  patterns[0].Note(10, 2, 214);
  patterns[0].Effect(15, 3, 0xb, 2);  // jump to order 2
  patterns[2].Note(2, 3, 428);
  patterns[2].Effect(3, 3, 0xd, 0);  // break: the song ends
  patterns[1].Note(0, 0, 113);  // order 1 is jumped over
  return ModFileBytes(patterns, {0, 1, 2});
}

std::vector<uint8_t> LongModule() {
  std::vector<TModPattern> patterns(4);
  const uint16_t periods[] = {428, 381, 339, 320, 285, 254, 226, 214};
  for (int p = 0; p < 4; ++p)
    for (int row = 0; row < 64; ++row)
      for (int c = 0; c < 4; ++c)
        if ((row + c + p) % 2 == 0) patterns[static_cast<size_t>(p)].Note(row, c, periods[(row + c) % 8]);
  patterns[0].Effect(0, 3, 0xf, 126);  // a tempo whose ticks are no whole number of samples
  std::vector<uint8_t> orders;
  for (int i = 0; i < 128; ++i) orders.push_back(static_cast<uint8_t>(i % 4));
  return ModFileBytes(patterns, orders);
}

std::vector<uint8_t> Midi() {
  std::vector<uint8_t> tempo, notes;
  AppendMidiTempo(tempo, 0, 500000);
  AppendMidiTempo(tempo, 384, 250000);
  AppendMidiEnd(tempo, 0);
  AppendMidiEvent(notes, 0, {0x99, 36, 100});
  AppendMidiEvent(notes, 96, {36, 0});  // running status, velocity 0: a note-off
  AppendMidiEvent(notes, 96, {36, 90});
  AppendMidiEvent(notes, 0, {0x90, 0, 80});
  AppendMidiEvent(notes, 192, {0x99, 38, 100});
  AppendMidiEvent(notes, 96, {36, 100});
  AppendMidiEnd(notes, 96);
  return MidiFileBytes(1, 96, {tempo, notes});
}

std::vector<uint8_t> SmpteMidi() {
  std::vector<uint8_t> track;
  AppendMidiEvent(track, 500, {0x90, 60, 100});
  AppendMidiEvent(track, 250, {0x80, 60, 0});
  AppendMidiEnd(track, 250);
  return MidiFileBytes(0, 0xe728, {track});  // 25 frames of 40 ticks: 1000 ticks a second
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_test_music mod|named-mod|long-mod|midi|midi-smpte FILE\n");
    return 2;
  }
  const std::string kind = argv[1];
  std::vector<uint8_t> bytes;
  if (kind == "mod") bytes = ShortModule();
  else if (kind == "named-mod") bytes = NamedSamplesModule();
  else if (kind == "long-mod") bytes = LongModule();
  else if (kind == "midi") bytes = Midi();
  else if (kind == "midi-smpte") bytes = SmpteMidi();
  else {
    std::fprintf(stderr, "make_test_music: unknown kind %s\n", argv[1]);
    return 2;
  }
  FILE* file = std::fopen(argv[2], "wb");
  const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (!file || std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "make_test_music: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
