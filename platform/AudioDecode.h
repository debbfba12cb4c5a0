// Decoding a music file into memory. WAV, FLAC, Ogg Vorbis, Ogg Opus and MP3 are read through
// libsndfile; tracker modules, told by their first bytes (or, when those say nothing, by their
// name), are rendered through libopenmpt as 44.1 kHz stereo, played once to the song's end.
// MP3 is decoded gaplessly (the encoder delay and padding recorded in the file's LAME/Xing
// header are trimmed), so sample n of the decoded data is sample n of the source.
// Decoded data is kept as 16-bit samples: five minutes of 44.1 kHz stereo cost about 53 MB.
#pragma once
#include "platform/Pcm.h"

#include <cstdint>
#include <string>

// Decodes a whole mono or stereo file. False with a short reason ("No such file or directory",
// "it is not music the player can read (...)", ...) when it cannot be opened or nothing of it
// decodes. A file cut short, or damaged past some point, gives what decodes, and *damage (when
// given; else empty) says so in a few words ("music is cut short (its end is missing): the
// 5.05 s that decode play").
// The decoder's own notes on a damaged file do not reach stderr.
bool DecodeAudioFile(const std::string& fileName, TPcm16& pcm, std::string& reason,
                     std::string* damage = nullptr);
// The same for a file's bytes in memory.
bool DecodeAudioBytes(const uint8_t* data, size_t size, TPcm16& pcm, std::string& reason,
                      std::string* damage = nullptr);
// Opens a file and checks, without decoding it, what DecodeAudioFile checks first: it exists,
// its format is known, it is mono or stereo at a playable rate and its header promises some
// audio but not too much (as far as the file's size backs what the header says).
// Fills only header's SampleRate and Channels.
bool ProbeAudioFile(const std::string& fileName, TPcm16& header, std::string& reason);
