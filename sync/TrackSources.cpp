#include "sync/TrackSources.h"

#include "sync/MidiFile.h"
#include "sync/ModuleNotes.h"
#include "sync/TrackReports.h"

#if __has_include("sync/AudioAnalysis.h")
#include "sync/AudioAnalysis.h"
#define VORPANE_AUDIO_ANALYSIS 1
#endif

#include <cstring>

namespace {

bool StartsWith(const std::vector<uint8_t>& bytes, size_t offset, const char* magic) {
  const size_t length = std::strlen(magic);
  return bytes.size() >= offset + length && std::memcmp(&bytes[offset], magic, length) == 0;
}

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  for (size_t i = 0; i < end.size(); ++i) {
    char c = text[text.size() - end.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != end[i]) return false;
  }
  return true;
}

bool LooksLikeAudio(const std::vector<uint8_t>& bytes) {
  if (StartsWith(bytes, 0, "RIFF") && (StartsWith(bytes, 8, "WAVE"))) return true;
  if (StartsWith(bytes, 0, "FORM") && (StartsWith(bytes, 8, "AIFF") || StartsWith(bytes, 8, "AIFC")))
    return true;
  if (StartsWith(bytes, 0, "fLaC") || StartsWith(bytes, 0, "OggS") || StartsWith(bytes, 0, "ID3"))
    return true;
  // An MPEG audio frame header: eleven sync bits, a layer and a bit rate that are not reserved.
  return bytes.size() >= 4 && bytes[0] == 0xff && (bytes[1] & 0xe0) == 0xe0 &&
         (bytes[1] & 0x06) != 0 && (bytes[2] & 0xf0) != 0xf0;
}

bool FromNotes(bool read, const TNoteEvents& events, const TTrackGrid& grid, TTrackBuild& out,
               std::string& error) {
  if (!read) return false;
  out.MusicBpm = events.MusicBpm;
  out.ChannelNames = events.ChannelNames;
  return PlaceNotes(events, grid, out.Data, out.Bpm, error);
}

}  // namespace

TTrackSource DetectTrackSource(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  if (EndsWith(fileName, ".trk")) return TTrackSource::Demotrack;
  if (StartsWith(bytes, 0, "MThd") || LooksLikeRiffMidi(bytes)) return TTrackSource::Midi;
  if (LooksLikeAudio(bytes)) return TTrackSource::Audio;
  if (LooksLikeModule(bytes)) return TTrackSource::Module;
  return TTrackSource::Demotrack;
}

const char* TrackSourceName(TTrackSource source) {
  switch (source) {
    case TTrackSource::Module: return "module";
    case TTrackSource::Midi: return "MIDI file";
    case TTrackSource::Audio: return "audio file";
    case TTrackSource::Demotrack: break;
  }
  return "demotrack";
}

bool DemotrackFromModule(const std::vector<uint8_t>& bytes, const TTrackGrid& grid,
                         TTrackBuild& out, std::string& error, bool byInstrument) {
  TNoteEvents events;
  return FromNotes(ReadModuleNotes(bytes, events, error, byInstrument), events, grid, out, error);
}

bool DemotrackFromMidi(const std::vector<uint8_t>& bytes, const TTrackGrid& grid,
                       TTrackBuild& out, std::string& error) {
  TNoteEvents events;
  return FromNotes(ReadMidiNotes(bytes, events, error), events, grid, out, error);
}

bool DemotrackFromAudio(const std::string& fileName, const TTrackGrid& grid, TTrackBuild& out,
                        std::string& error, const TReadContext& files) {
#ifdef VORPANE_AUDIO_ANALYSIS
  double bpm = 0.0;
  TAnalysisProgress progress(fileName);
  const bool analysed = AnalyseAudioFile(files.PathOf(fileName), grid, out.Data, bpm, error);
  progress.Done(analysed);
  if (!analysed) return false;
  out.Bpm = bpm;
  // The tempo found is the music's own when no tempo was forced.
  out.MusicBpm = grid.Bpm > 0.0 ? 0.0 : bpm * 4.0 / grid.RowsPerBeat;
  return true;
#else
  (void)fileName, (void)grid, (void)out, (void)files;
  error = "this build cannot analyse recordings yet; make the demotrack from a module or MIDI file";
  return false;
#endif
}

bool DemotrackFromMusic(const std::string& fileName, const std::vector<uint8_t>& bytes,
                        TTrackSource source, const TTrackGrid& grid, TTrackBuild& out,
                        std::string& error, const TReadContext& files) {
  switch (source) {
    case TTrackSource::Module: return DemotrackFromModule(bytes, grid, out, error);
    case TTrackSource::Midi: return DemotrackFromMidi(bytes, grid, out, error);
    case TTrackSource::Audio: return DemotrackFromAudio(fileName, grid, out, error, files);
    case TTrackSource::Demotrack: break;
  }
  error = "not a module, MIDI file or recording";
  return false;
}
