// Tracker modules (MOD, XM, S3M, IT, MPTM and the other formats libopenmpt reads): the notes of
// each channel with the times the song plays them. Internal to sync/.
#pragma once
#include "sync/NoteEvents.h"

// True when libopenmpt recognises the start of a file as a module.
bool LooksLikeModule(const std::vector<uint8_t>& bytes);
// Plays the song once through (speed and tempo changes, pattern jumps and loops as they play;
// the song ends where it would start over) and records, for every row reached, the note of each
// channel (note-off, note-cut and fade are not notes). One demotrack channel per module channel,
// or with `byInstrument` one per instrument (per sample in modules without instruments), named,
// channel N for instrument N+1 up to the last one played: a note goes to the instrument its cell
// names, or the one last named on its module channel;
// the music's tempo is libopenmpt's estimate that most rows play at (a few long held rows do
// not outweigh the song). False with a message on a file libopenmpt cannot read or a song too
// long for a demotrack.
bool ReadModuleNotes(const std::vector<uint8_t>& bytes, TNoteEvents& out, std::string& error,
                     bool byInstrument = false);
