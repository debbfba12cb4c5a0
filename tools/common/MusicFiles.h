// Small tracker modules and MIDI files with events the caller places, for the tests and the
// fuzz seeds of the demotrack makers.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// A four-channel ProTracker ("M.K.") pattern: 64 rows of cells (period, sample, effect, param).
struct TModPattern {
  std::vector<uint8_t> Cells = std::vector<uint8_t>(64 * 4 * 4, 0);
  // Puts a note (Amiga period, e.g. 428 for C) with a sample (0: the channel's last one) and an
  // effect into a cell.
  void Note(int row, int channel, uint16_t period, uint8_t effect = 0, uint8_t param = 0,
            uint8_t sample = 1);
  // An effect without a note.
  void Effect(int row, int channel, uint8_t effect, uint8_t param);
};
// The module: the patterns, the order list (pattern numbers) and a short looping sample for
// each name (up to 31).
std::vector<uint8_t> ModFileBytes(const std::vector<TModPattern>& patterns,
                                  const std::vector<uint8_t>& orders,
                                  const std::vector<std::string>& sampleNames = {"square"});
// A module of samples Kick, Snare and Hat at speed 6, tempo 125 (rows 120 ms): Kick on channels
// 0 and 2 (rows 0, 4 and, on both channels, 8), Snare on 1 and 3 (rows 2, 3, 5; on row 5 with no
// sample number), Hat on 3 (row 6); it ends after row 9.
std::vector<uint8_t> NamedSamplesModule();

// A Standard MIDI File of the given format and division whose tracks hold the given event bytes.
std::vector<uint8_t> MidiFileBytes(uint16_t format, uint16_t division,
                                   const std::vector<std::vector<uint8_t>>& tracks);
// Appends an event to a track: the delta time as a variable-length quantity, then the bytes as
// given (leave out the status byte for running status).
void AppendMidiEvent(std::vector<uint8_t>& track, uint32_t delta,
                     std::initializer_list<uint8_t> bytes);
// A tempo meta event (microseconds per quarter note) and the end-of-track event.
void AppendMidiTempo(std::vector<uint8_t>& track, uint32_t delta, uint32_t microseconds);
void AppendMidiEnd(std::vector<uint8_t>& track, uint32_t delta);
