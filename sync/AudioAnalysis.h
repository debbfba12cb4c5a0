// Demotracks from recordings: tempo, beats and bars, onsets (whole band and low / mid / high
// bands) and loudness, placed on a row grid.
//
// Channels written: 0 beats (1, or 2 on the first beat of a bar when the bars were found),
// 1 onsets, 2 low-band onsets (below 150 Hz: kicks), 3 mid-band onsets (150 Hz to 4 kHz:
// snares, voices), 4 high-band onsets (above 6 kHz: hats, cymbals), 5 loudness (RMS level of
// the row, -60 dBFS .. 0 dBFS quantised to 1 .. 255). An event lands on the row whose start is
// nearest its time, round(t * bpm * 4 / 60) at the written BPM; row 0 starts at the start of
// the audio. Onsets and beats are timed to where the sound rises.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "sync/Demotrack.h"

enum : int {
  kAudioBeatChannel = 0,
  kAudioOnsetChannel,
  kAudioLowChannel,
  kAudioMidChannel,
  kAudioHighChannel,
  kAudioLoudnessChannel,
  kAudioChannelCount
};

// What the analysis finds, in seconds from the start of the audio.
struct TAudioEvents {
  double Bpm = 0.0;                     // tempo of the beats, 0 when none were found
  std::vector<double> Beats;            // beat times, rising
  std::vector<bool> Downbeats;          // per beat: first of a bar (all false: no bars found)
  std::vector<double> Onsets;           // whole band
  std::vector<double> BandOnsets[3];    // low, mid, high
  double LoudnessStep = 0.0;            // seconds per value of Loudness
  std::vector<float> Loudness;          // mean square of the mono signal per step
  double Seconds = 0.0;                 // length of the audio
};

// Finds the events of a mono signal. forcedBpm > 0 makes the beat tracker look for that tempo.
// False with a message when the rate is not usable.
bool DetectAudioEvents(const float* mono, size_t frames, int rate, double forcedBpm,
                       TAudioEvents& events, std::string& error);

// Places events on the grid (grid.Bpm, or the events' own tempo when it is 0). bpm receives the
// BPM the demotrack is written for. False with a message when there is no tempo to use.
bool BuildAudioDemotrack(const TAudioEvents& events, const TTrackGrid& grid, TDemotrackData& out,
                         double& bpm, std::string& error);

// DetectAudioEvents then BuildAudioDemotrack.
bool AnalyseAudio(const float* mono, size_t frames, int rate, const TTrackGrid& grid,
                  TDemotrackData& out, double& bpm, std::string& error);

// Decodes a music file (WAV, FLAC, Ogg Vorbis, Opus, MP3), mixes it to mono and analyses it.
// False with one message (without the file name) when the file cannot be read or holds no
// usable audio.
bool AnalyseAudioFile(const std::string& path, const TTrackGrid& grid, TDemotrackData& out,
                      double& bpm, std::string& error);
