// Tracker modules (MOD, XM, S3M, IT, MPTM and the other formats libopenmpt reads) rendered
// into memory as 44.1 kHz stereo. The song plays once: no repeat, and at its end the playback
// stops rather than looping or fading, so its length is finite and known before rendering.
#pragma once
#include "platform/Pcm.h"

#include <cstddef>
#include <cstdint>
#include <string>

// How many bytes from the start of a file LooksLikeModule wants to see.
size_t ModuleHeadSize();
// True when the first bytes of a file of fileSize bytes are those of a module format.
bool LooksLikeModule(const uint8_t* head, size_t headSize, uint64_t fileSize);
// True when the name ends in the extension of a module format ("song.XM", "a.mod", ...).
bool HasModuleExtension(const std::string& fileName);

// The largest module file read: the biggest real modules are tens of megabytes.
constexpr uint64_t kMaxModuleBytes = 256ull << 20;

// Loads a module from its bytes and checks it can be rendered (some music, not longer than
// kMaxMusicSeconds), without rendering. Fills only header's SampleRate and Channels. False with
// a short reason otherwise.
bool ProbeModule(const uint8_t* data, size_t size, TPcm16& header, std::string& reason);
// Loads and renders a whole module. False with a short reason when it cannot be read.
bool DecodeModule(const uint8_t* data, size_t size, TPcm16& pcm, std::string& reason);
