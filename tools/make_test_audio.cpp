// Writes test or sample audio: make_test_audio KIND FORMAT SECONDS FILE [RATE]
// KIND: clicks (clicks every second from 1 s), sine8 (a full-scale sine centred on spectrum bin
// 8), opposed (the same sine, right channel negated), kicks=BPM or metronome=BPM (a kick or a
// 10 ms click on every beat, the first one beat in, so each lands on a row start at that tempo;
// for timing recordings' analysis), repeat=SOURCE (any music file, decoded and repeated to the
// length; for timing real music). FORMAT: wav, flac, ogg, opus, mp3. RATE defaults to 44100
// (48000 for opus).
#include "common/TestAudio.h"
#include "common/Usage.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const bool help = AskedForHelp(argc, argv);
  if (help || argc < 5 || argc > 6)
    return PrintUsage("usage: make_test_audio clicks|sine8|opposed|kicks=BPM|metronome=BPM|"
                      "repeat=SOURCE "
                      "wav|flac|ogg|opus|mp3 SECONDS FILE [RATE]\n", help);
  const std::string kind = argv[1];
  TAudioFormat format;
  if (!AudioFormatFromName(argv[2], format)) {
    std::fprintf(stderr, "make_test_audio: unknown format %s\n", argv[2]);
    return 2;
  }
  const double seconds = std::atof(argv[3]);
  const int32_t rate = argc == 6 ? std::atoi(argv[5]) : (format == TAudioFormat::Opus ? 48000 : 44100);
  if (!(seconds > 0.0 && seconds <= 3600.0) || rate < 8000 || rate > 192000) {
    std::fprintf(stderr, "make_test_audio: seconds must be 0..3600 and the rate 8000..192000\n");
    return 2;
  }
  const double bin8 = 8.0 * rate / 512.0;
  TPcm16 pcm;
  if (kind == "clicks") pcm = MakeClickTrack(rate, 2, seconds);
  else if (kind == "sine8") pcm = MakeSine(rate, bin8, seconds, 1.0, false);
  else if (kind == "opposed") pcm = MakeSine(rate, bin8, seconds, 1.0, true);
  else if (kind.rfind("kicks=", 0) == 0 || kind.rfind("metronome=", 0) == 0) {
    const bool kicks = kind[0] == 'k';
    const double bpm = std::atof(kind.c_str() + (kicks ? 6 : 10));
    if (!(bpm >= 10.0 && bpm <= 1000.0)) {
      std::fprintf(stderr, "make_test_audio: the tempo must be 10..1000 BPM\n");
      return 2;
    }
    pcm = MakeBeatTrack(rate, bpm, seconds, kicks ? TBeatSound::Kick : TBeatSound::Click,
                        60.0 / bpm);
  } else if (kind.rfind("repeat=", 0) == 0) {
    TPcm16 source;
    std::string reason;
    if (!DecodeAudioFile(kind.substr(7), source, reason)) {
      std::fprintf(stderr, "make_test_audio: %s: %s\n", kind.c_str() + 7, reason.c_str());
      return 1;
    }
    pcm.SampleRate = source.SampleRate;
    pcm.Channels = source.Channels;
    pcm.Samples.resize(static_cast<size_t>(seconds * source.SampleRate) * source.Channels);
    for (size_t i = 0; i < pcm.Samples.size(); ++i)
      pcm.Samples[i] = source.Samples[i % source.Samples.size()];
  } else {
    std::fprintf(stderr, "make_test_audio: unknown kind %s\n", kind.c_str());
    return 2;
  }
  std::string error;
  if (!WriteAudioFile(argv[4], pcm, format, error)) {
    std::fprintf(stderr, "make_test_audio: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
