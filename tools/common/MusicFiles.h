// Small tracker modules and MIDI files with events the caller places, for the tests and the
// fuzz seeds of the demotrack makers.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

// A four-channel ProTracker ("M.K.") pattern: 64 rows of cells (period, sample, effect, param).
struct TModPattern {
  std::vector<uint8_t> Cells = std::vector<uint8_t>(64 * 4 * 4, 0);
  // Puts a note (Amiga period, e.g. 428 for C) with sample 1 and an effect into a cell.
  void Note(int row, int channel, uint16_t period, uint8_t effect = 0, uint8_t param = 0);
  // An effect without a note.
  void Effect(int row, int channel, uint8_t effect, uint8_t param);
};
// The module: the patterns, the order list (pattern numbers) and one short looping sample.
std::vector<uint8_t> ModFileBytes(const std::vector<TModPattern>& patterns,
                                  const std::vector<uint8_t>& orders);

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
