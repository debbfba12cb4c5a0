// Test and sample audio: generated signals and files encoded through libsndfile (WAV, FLAC,
// Ogg Vorbis, Ogg Opus, and MP3 through its LAME encoder).
#pragma once
#include "platform/AudioDecode.h"

#include <cstdint>
#include <string>

enum class TAudioFormat { Wav, Flac, Ogg, Opus, Mp3 };

// Clicks: 2 ms Hann-shaped bursts of 3 kHz at full scale, starting at firstClick and then every
// whole second after it, over silence.
TPcm16 MakeClickTrack(int32_t rate, int32_t channels, double seconds, double firstClick = 1.0);
// A sine of the given frequency and amplitude (0..1). Mono, or, when opposed, stereo with the
// right channel the negative of the left (they cancel when mixed).
TPcm16 MakeSine(int32_t rate, double frequency, double seconds, double amplitude, bool opposed);
// What a beat track plays on each beat.
enum class TBeatSound {
  Kick,   // a sine falling from 150 to 45 Hz over 0.25 s, with a 20 ms noise burst on its attack
  Click,  // a 10 ms burst of 2 kHz, like a metronome's
};
// One hit on every beat at `bpm`, the first at firstBeat seconds, over silence. Mono. The noise
// is the same on every call.
TPcm16 MakeBeatTrack(int32_t rate, double bpm, double seconds, TBeatSound sound,
                     double firstBeat);
// Every sample the same value (DC, or silence with 0).
TPcm16 MakeConstant(int32_t rate, int32_t channels, double seconds, int16_t value);

// The frame where a click starts, searched within ±searchSeconds of expectedSeconds by
// correlating the channel mix with the click's shape. -1 when the range is outside the audio.
int64_t FindClick(const TPcm16& pcm, double expectedSeconds, double searchSeconds = 0.05);

// The format named by a file extension or word ("wav", "flac", "ogg", "opus", "mp3").
bool AudioFormatFromName(const std::string& name, TAudioFormat& format);
// The file extension of a format, without the dot.
const char* AudioFormatExtension(TAudioFormat format);
// Encodes pcm to a file. Opus needs 8, 12, 16, 24 or 48 kHz. False with a reason on failure.
bool WriteAudioFile(const std::string& fileName, const TPcm16& pcm, TAudioFormat format,
                    std::string& error);
