// Reading and writing sound files through libsndfile: the production's music is written as Ogg
// Vorbis, and the tests read it back to check what was written.
#pragma once
#include "common/Synth.h"

#include <string>

// Writes stereo audio as Ogg Vorbis at a quality from 0 (smallest) to 1 (best); the same audio
// always gives the same bytes. False when the file cannot be written or the channels differ in
// length.
bool WriteOggVorbis(const std::string& fileName, const TStereoAudio& audio, double quality = 0.6);
// Reads any file libsndfile decodes. A mono file gives the same samples on both sides; files
// with more than two channels give their first two. False when it cannot be read.
bool ReadAudioFile(const std::string& fileName, TStereoAudio& audio);
