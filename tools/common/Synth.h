// A small synthesiser that renders a song description (common/Song.h) to stereo samples:
// a pitch-swept kick, a noise-and-tone snare, closed and open hats, a crash, a filtered saw bass,
// a detuned saw pad and a pulse lead with a ping-pong echo. The pad, bass and lead duck under the
// kick. Rendering is deterministic: the same song gives the same samples on every machine.
// Each event starts exactly at the first sample of its row (SongRowSample).
#pragma once
#include "common/Song.h"

#include <cstdint>
#include <string>
#include <vector>

struct TStereoAudio {
  int32_t SampleRate = 44100;
  std::vector<float> Left, Right;  // same length, values within -1..1
};

// The bit of one instrument in a part mask.
constexpr uint32_t SongPartBit(TSongPart part) { return 1u << static_cast<uint32_t>(part); }
constexpr uint32_t kAllSongParts = 0xFFFFFFFFu;

// Seconds of silence and ringing out after the last row of the song.
constexpr double kSongTailSeconds = 1.5;

// The first sample of a row at the sample rate (the row's time, rounded to the nearest sample).
int64_t SongRowSample(const TSong& song, int32_t row, int32_t sampleRate);
// Renders the instruments of the mask (all by default). The result lasts the song's rows plus
// kSongTailSeconds and peaks at 0.9 when anything sounds.
TStereoAudio RenderSong(const TSong& song, int32_t sampleRate = 44100,
                        uint32_t parts = kAllSongParts);
