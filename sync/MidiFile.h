// A Standard MIDI File reader: note-ons with their times through the file's tempo map.
// Internal to sync/.
#pragma once
#include "sync/NoteEvents.h"

// True when the bytes are a RIFF MIDI file (RMID): a Standard MIDI File in a RIFF "data" chunk.
bool LooksLikeRiffMidi(const std::vector<uint8_t>& bytes);
// Reads a format 0 or 1 file, bare or in RIFF (pulses per quarter note or SMPTE division,
// running status, also across meta and system exclusive events, meta tempo events). One
// demotrack channel per MIDI channel (16); a note-on with velocity above 0 gives its note number,
// 0 written as 128. The music's tempo is the one that lasts longest (120 when the file has none).
// False with a message on a damaged file or one that plays longer than decoded music may (30
// minutes); every length is checked against the bytes there are.
bool ReadMidiNotes(const std::vector<uint8_t>& bytes, TNoteEvents& out, std::string& error);
