#include "sync/MidiFile.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 BPM

struct TTempoChange {
  uint64_t Tick = 0;
  uint32_t MicrosecondsPerQuarter = kDefaultTempo;
};

// Reads the file's bytes front to back; every read is checked against the end.
class TByteReader {
 public:
  TByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Left() const { return size_ - at_; }
  size_t Offset() const { return at_; }
  bool Byte(uint8_t& value) {
    if (at_ >= size_) return false;
    value = data_[at_++];
    return true;
  }
  bool Peek(uint8_t& value) const {
    if (at_ >= size_) return false;
    value = data_[at_];
    return true;
  }
  bool Big(size_t count, uint32_t& value) {
    if (Left() < count) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) value = value << 8 | data_[at_++];
    return true;
  }
  // A variable-length quantity: at most four bytes of seven bits.
  bool Quantity(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = 0;
      if (!Byte(b)) return false;
      value = value << 7 | (b & 0x7f);
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  bool Skip(size_t count) {
    if (Left() < count) return false;
    at_ += count;
    return true;
  }
  const uint8_t* Here() const { return data_ + at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// One track chunk's events: note-ons (with their tick in Seconds, exact in a double up to 2^53),
// tempo changes and the tick of its last event.
bool ReadTrack(TByteReader& track, int number, std::vector<TTimedNote>& notes,
               std::vector<TTempoChange>& tempos, uint64_t& endTick, std::string& error) {
  const std::string where = "track " + std::to_string(number) + ": ";
  uint64_t tick = 0;
  uint8_t running = 0;
  while (track.Left() > 0) {
    const size_t at = track.Offset();
    uint32_t delta = 0;
    if (!track.Quantity(delta)) {
      error = where + "bad or cut-off delta time at byte " + std::to_string(at);
      return false;
    }
    tick += delta;
    uint8_t status = 0;
    if (!track.Peek(status)) {
      error = where + "an event is cut off at the end of the track";
      return false;
    }
    if (status & 0x80) {
      track.Skip(1);
    } else if (running) {
      status = running;  // running status: the data byte belongs to the last channel message
    } else {
      error = where + "data byte without a status at byte " + std::to_string(at);
      return false;
    }
    // Meta and system exclusive events leave the running status as it was: files written that
    // way are common, and other readers take them.
    if (status == 0xff) {
      uint8_t type = 0;
      uint32_t length = 0;
      if (!track.Byte(type) || !track.Quantity(length) || length > track.Left()) {
        error = where + "a meta event runs past the end of the track";
        return false;
      }
      if (type == 0x51 && length == 3) {
        const uint8_t* p = track.Here();
        const uint32_t tempo = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
        if (tempo > 0) tempos.push_back({tick, tempo});
      }
      track.Skip(length);
      if (type == 0x2f) break;  // end of track
    } else if (status == 0xf0 || status == 0xf7) {
      uint32_t length = 0;
      if (!track.Quantity(length) || !track.Skip(length)) {
        error = where + "a system exclusive message runs past the end of the track";
        return false;
      }
    } else if (status >= 0xf1) {
      error = where + "system message " + std::to_string(status) + " inside a file";
      return false;
    } else {
      running = status;
      const int kind = status >> 4;
      const size_t count = (kind == 0xc || kind == 0xd) ? 1 : 2;
      uint8_t data[2] = {0, 0};
      for (size_t i = 0; i < count; ++i) {
        if (!track.Byte(data[i])) {
          error = where + "a channel message is cut off at the end of the track";
          return false;
        }
        if (data[i] & 0x80) {
          error = where + "a channel message is missing data at byte " + std::to_string(at);
          return false;
        }
      }
      if (kind == 0x9 && data[1] > 0 && notes.size() >= kMostNotes) {
        error = where + "more than " + std::to_string(kMostNotes) + " notes";
        return false;
      }
      if (kind == 0x9 && data[1] > 0)
        notes.push_back({static_cast<double>(tick), static_cast<uint16_t>(status & 0x0f),
                         static_cast<uint8_t>(data[0] == 0 ? 128 : data[0])});
    }
  }
  endTick = std::max(endTick, tick);
  return true;
}

// The Standard MIDI File inside a RIFF MIDI file ("RIFF" size "RMID", then chunks, one of them
// "data"): its bytes, or the whole of a file that is not one. False with a message when the
// wrapper is damaged.
bool UnwrapRiffMidi(const std::vector<uint8_t>& bytes, TByteReader& midi, std::string& error) {
  if (!LooksLikeRiffMidi(bytes)) {
    midi = TByteReader(bytes.data(), bytes.size());
    return true;
  }
  TByteReader riff(bytes.data(), bytes.size());
  riff.Skip(12);
  while (riff.Left() >= 8) {
    const uint8_t* id = riff.Here();
    riff.Skip(4);
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {  // little-endian, unlike the MIDI data inside
      uint8_t b = 0;
      riff.Byte(b);
      size |= static_cast<uint32_t>(b) << (8 * i);
    }
    if (size > riff.Left()) {
      error = "MIDI in RIFF: a chunk claims " + std::to_string(size) + " bytes but only " +
              std::to_string(riff.Left()) + " remain";
      return false;
    }
    if (std::memcmp(id, "data", 4) == 0) {
      midi = TByteReader(riff.Here(), size);
      return true;
    }
    riff.Skip(size);
    riff.Skip(size & 1);  // chunks are padded to an even size; the last one may not be
  }
  error = "MIDI in RIFF without a data chunk";
  return false;
}

}  // namespace

bool LooksLikeRiffMidi(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
         std::memcmp(bytes.data() + 8, "RMID", 4) == 0;
}

bool ReadMidiNotes(const std::vector<uint8_t>& bytes, TNoteEvents& out, std::string& error) {
  out = TNoteEvents();
  TByteReader file(nullptr, 0);
  if (!UnwrapRiffMidi(bytes, file, error)) return false;
  uint32_t id = 0, length = 0, format = 0, trackCount = 0, division = 0;
  if (!file.Big(4, id) || id != 0x4d546864 /* MThd */) {
    error = "not a MIDI file (no MThd header)";
    return false;
  }
  if (!file.Big(4, length) || length < 6 || length > file.Left() || !file.Big(2, format) ||
      !file.Big(2, trackCount) || !file.Big(2, division) || !file.Skip(length - 6)) {
    error = "the MIDI header is cut off or has a bad length";
    return false;
  }
  if (format > 1) {
    error = "MIDI format " + std::to_string(format) +
            " (independent sequences) is not supported; formats 0 and 1 are";
    return false;
  }
  if (division == 0 || ((division & 0x8000) && (division & 0xff) == 0)) {
    error = "the MIDI header has a time division of 0";
    return false;
  }
  std::vector<TTimedNote>& notes = out.Notes;
  std::vector<TTempoChange> tempos;
  uint64_t endTick = 0;
  int tracks = 0;
  while (file.Left() >= 8) {
    uint32_t chunk = 0, size = 0;
    file.Big(4, chunk);
    file.Big(4, size);
    if (size > file.Left()) {
      error = "chunk " + std::to_string(tracks + 1) + " claims " + std::to_string(size) +
              " bytes but only " + std::to_string(file.Left()) + " remain";
      return false;
    }
    if (chunk == 0x4d54726b /* MTrk */) {
      TByteReader track(file.Here(), size);
      if (!ReadTrack(track, tracks, notes, tempos, endTick, error)) return false;
      ++tracks;
    }
    file.Skip(size);  // unknown chunks are skipped
  }
  if (tracks == 0) {
    error = "the MIDI file has no tracks";
    return false;
  }

  // The tempo map: each change holds until the next; the first one counts from tick 0.
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const TTempoChange& a, const TTempoChange& b) { return a.Tick < b.Tick; });
  if (tempos.empty() || tempos[0].Tick > 0) tempos.insert(tempos.begin(), {0, kDefaultTempo});
  const bool smpte = (division & 0x8000) != 0;
  double ticksPerSecondSmpte = 0.0;
  if (smpte) {
    const int frames = -static_cast<int8_t>(division >> 8);
    const double fps = frames == 29 ? 30000.0 / 1001.0 : frames;
    ticksPerSecondSmpte = fps * (division & 0xff);
    if (!(ticksPerSecondSmpte > 0.0)) {
      error = "the MIDI header has a bad SMPTE division";
      return false;
    }
  }
  // Start time of each tempo change in seconds.
  std::vector<double> starts(tempos.size(), 0.0);
  for (size_t i = 1; i < tempos.size(); ++i)
    starts[i] = starts[i - 1] + static_cast<double>(tempos[i].Tick - tempos[i - 1].Tick) *
                                    tempos[i - 1].MicrosecondsPerQuarter / 1e6 / division;
  auto seconds = [&](uint64_t tick) {
    if (smpte) return static_cast<double>(tick) / ticksPerSecondSmpte;
    const size_t i = static_cast<size_t>(
        std::upper_bound(tempos.begin(), tempos.end(), tick,
                         [](uint64_t t, const TTempoChange& c) { return t < c.Tick; }) -
        tempos.begin() - 1);
    return starts[i] +
           static_cast<double>(tick - tempos[i].Tick) * tempos[i].MicrosecondsPerQuarter / 1e6 /
               division;
  };

  // The music's tempo: the one that lasts longest up to the last event.
  std::map<uint32_t, double> lasting;
  for (size_t i = 0; i < tempos.size(); ++i) {
    const uint64_t from = std::min(tempos[i].Tick, endTick);
    const uint64_t to = i + 1 < tempos.size() ? std::min(tempos[i + 1].Tick, endTick) : endTick;
    lasting[tempos[i].MicrosecondsPerQuarter] += seconds(to) - seconds(from);
  }
  uint32_t main = tempos[0].MicrosecondsPerQuarter;
  double longest = 0.0;
  for (const auto& [tempo, time] : lasting)
    if (time > longest) {
      longest = time;
      main = tempo;
    }
  out.MusicBpm = 60e6 / main;
  out.ChannelCount = 16;
  out.Seconds = seconds(endTick);
  if (!MusicLengthFits(out.Seconds, error)) return false;
  for (TTimedNote& note : notes) note.Seconds = seconds(static_cast<uint64_t>(note.Seconds));
  return true;
}
