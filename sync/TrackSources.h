// Making demotracks from music: tracker modules, MIDI files and recordings, recognised by their
// contents. What the player's TRACKER line and vorpane-track share.
#pragma once
#include "platform/ReadContext.h"
#include "sync/Demotrack.h"

#include <cstdint>
#include <string>
#include <vector>

enum class TTrackSource { Demotrack, Module, Midi, Audio };

// What a file holds: a MIDI file (bare or in RIFF), a module libopenmpt recognises or a recording (WAV, FLAC, Ogg,
// MP3, AIFF); a name ending in .trk, and anything else, is a demotrack as it is.
TTrackSource DetectTrackSource(const std::string& fileName, const std::vector<uint8_t>& bytes);
// "demotrack", "module", "MIDI file", "audio file".
const char* TrackSourceName(TTrackSource source);

// A demotrack made from music, with the BPM it is written for and the music's own tempo.
struct TTrackBuild {
  TDemotrackData Data;
  double Bpm = 0.0;
  double MusicBpm = 0.0;
  // What each channel is (a module's instruments); empty when the channels are the music's own.
  // Only a conversion knows them: a demotrack file holds none.
  std::vector<std::string> ChannelNames;
};

// Builds a demotrack from a module's or MIDI file's bytes (one demotrack channel per module
// channel, or MIDI channels 1..16 as channels 0..15). False with a one-line message on a damaged
// file. With `byInstrument`, a module gives one named channel per instrument (or sample) instead.
bool DemotrackFromModule(const std::vector<uint8_t>& bytes, const TTrackGrid& grid,
                         TTrackBuild& out, std::string& error, bool byInstrument = false);
bool DemotrackFromMidi(const std::vector<uint8_t>& bytes, const TTrackGrid& grid,
                       TTrackBuild& out, std::string& error);
// Analyses a recording for beats and onsets; false with a message when this build has no
// audio analysis or the file cannot be decoded. The name resolves by `files`.
bool DemotrackFromAudio(const std::string& fileName, const TTrackGrid& grid, TTrackBuild& out,
                        std::string& error, const TReadContext& files = TReadContext());
// Any of the three by what the file holds (not for a demotrack).
bool DemotrackFromMusic(const std::string& fileName, const std::vector<uint8_t>& bytes,
                        TTrackSource source, const TTrackGrid& grid, TTrackBuild& out,
                        std::string& error, const TReadContext& files = TReadContext());

// The same through the user's cache folder (per-channel demotracks only, as TRACKER plays them) ($XDG_CACHE_HOME/vorpane or ~/.cache/vorpane; %LOCALAPPDATA%\Vorpane on Windows): a
// build of the same contents on the same grid is read back instead of made again, and a new
// one is stored. An entry whose checksum does not match is made again, with one line on stderr;
// a cache that cannot be written costs the time, said once per run on stderr.
bool CachedDemotrackFromMusic(const std::string& fileName, const std::vector<uint8_t>& bytes,
                              TTrackSource source, const TTrackGrid& grid, TTrackBuild& out,
                              std::string& error, const TReadContext& files = TReadContext());
