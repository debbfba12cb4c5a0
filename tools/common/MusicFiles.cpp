#include "common/MusicFiles.h"

#include <algorithm>
#include <cstring>

namespace {

void PutBig(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

constexpr int kSampleWords = 64;  // each sample: 128 bytes of a square wave, looped

}  // namespace

void TModPattern::Note(int row, int channel, uint16_t period, uint8_t effect, uint8_t param,
                       uint8_t sample) {
  uint8_t* cell = &Cells[static_cast<size_t>((row * 4 + channel) * 4)];
  cell[0] = static_cast<uint8_t>((sample & 0xf0) | ((period >> 8) & 0x0f));
  cell[1] = static_cast<uint8_t>(period & 0xff);
  cell[2] = static_cast<uint8_t>(((sample & 0x0f) << 4) | (effect & 0x0f));
  cell[3] = param;
}

void TModPattern::Effect(int row, int channel, uint8_t effect, uint8_t param) {
  uint8_t* cell = &Cells[static_cast<size_t>((row * 4 + channel) * 4)];
  cell[2] = static_cast<uint8_t>((cell[2] & 0xf0) | (effect & 0x0f));
  cell[3] = param;
}

std::vector<uint8_t> ModFileBytes(const std::vector<TModPattern>& patterns,
                                  const std::vector<uint8_t>& orders,
                                  const std::vector<std::string>& sampleNames) {
  const size_t samples = std::min<size_t>(sampleNames.size(), 31);
  std::vector<uint8_t> out(20, 0);
  std::memcpy(out.data(), "vorpane test", 12);
  for (int s = 0; s < 31; ++s) {
    std::vector<uint8_t> header(30, 0);
    if (static_cast<size_t>(s) < samples) {
      const std::string& name = sampleNames[static_cast<size_t>(s)];
      std::memcpy(header.data(), name.data(), std::min<size_t>(name.size(), 22));
      header[22] = kSampleWords >> 8;
      header[23] = kSampleWords & 0xff;
      header[25] = 64;  // volume
      header[29] = kSampleWords;  // loop the whole sample
    }
    out.insert(out.end(), header.begin(), header.end());
  }
  out.push_back(static_cast<uint8_t>(orders.size()));
  out.push_back(127);
  for (size_t i = 0; i < 128; ++i) out.push_back(i < orders.size() ? orders[i] : 0);
  out.insert(out.end(), {'M', '.', 'K', '.'});
  for (const TModPattern& pattern : patterns)
    out.insert(out.end(), pattern.Cells.begin(), pattern.Cells.end());
  for (size_t s = 0; s < samples; ++s)
    for (int i = 0; i < kSampleWords * 2; ++i) out.push_back(i < kSampleWords ? 0x40 : 0xc0);
  return out;
}

std::vector<uint8_t> NamedSamplesModule() {
  std::vector<TModPattern> patterns(1);
  patterns[0].Note(0, 0, 428, 0, 0, 1);
  patterns[0].Note(4, 2, 428, 0, 0, 1);
  patterns[0].Note(2, 1, 428, 0, 0, 2);
  patterns[0].Note(3, 3, 339, 0, 0, 2);
  patterns[0].Note(5, 1, 428, 0, 0, 0);
  patterns[0].Note(6, 3, 214, 0, 0, 3);
  patterns[0].Note(8, 0, 856, 0, 0, 1);
  patterns[0].Note(8, 2, 214, 0, 0, 1);
  patterns[0].Effect(9, 0, 0xd, 0);  // break: the song ends
  return ModFileBytes(patterns, {0}, {"Kick", "Snare", "Hat"});
}

std::vector<uint8_t> MidiFileBytes(uint16_t format, uint16_t division,
                                   const std::vector<std::vector<uint8_t>>& tracks) {
  std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
  PutBig(out, 6, 4);
  PutBig(out, format, 2);
  PutBig(out, static_cast<uint32_t>(tracks.size()), 2);
  PutBig(out, division, 2);
  for (const std::vector<uint8_t>& track : tracks) {
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    PutBig(out, static_cast<uint32_t>(track.size()), 4);
    out.insert(out.end(), track.begin(), track.end());
  }
  return out;
}

void AppendMidiEvent(std::vector<uint8_t>& track, uint32_t delta,
                     std::initializer_list<uint8_t> bytes) {
  uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = delta & 0x7f;
    delta >>= 7;
  } while (delta && count < 5);
  for (int i = count - 1; i >= 0; --i)
    track.push_back(static_cast<uint8_t>(groups[i] | (i > 0 ? 0x80 : 0)));
  track.insert(track.end(), bytes);
}

void AppendMidiTempo(std::vector<uint8_t>& track, uint32_t delta, uint32_t microseconds) {
  AppendMidiEvent(track, delta,
                  {0xff, 0x51, 0x03, static_cast<uint8_t>(microseconds >> 16),
                   static_cast<uint8_t>(microseconds >> 8), static_cast<uint8_t>(microseconds)});
}

void AppendMidiEnd(std::vector<uint8_t>& track, uint32_t delta) {
  AppendMidiEvent(track, delta, {0xff, 0x2f, 0x00});
}
