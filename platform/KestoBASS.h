// The music module: seven operations over 32-bit stream handles (0 means no stream).
// Files are decoded whole into 16-bit samples when opened (AudioDecode.h); SDL's audio device
// plays them, resampled to the device rate at the stream's playback frequency, so a frequency
// of twice the sample rate plays twice as fast and an octave higher. Positions are in seconds
// of the source material. Without a sound device a stream plays silently on the performance
// counter, so its position and spectrum still advance. Positions before the start or past the
// end of the music are silence; the position keeps running past the end.
// Every operation runs on the main thread; the device's callback runs on SDL's audio thread, and
// a stream's decode on a thread of its own.
#pragma once
#include "platform/AudioDecode.h"
#include "platform/ReadContext.h"

#include <SDL2/SDL.h>

#include <cstdint>
#include <string>
#include <vector>

// Opens the default audio device at 44100 Hz stereo and starts it. Only the first call opens
// it; later calls return the first result. False (one line on stderr) when there is no device:
// streams then play silently on the clock. The window is not needed by SDL.
bool InitAudio(SDL_Window* window);
// Closes the audio device and drops every stream: the next InitAudio tries the device again
// and handles start from 1 again (the state of a fresh process, for tests).
void ResetAudio();
// Opens a music file as a new stream, positioned at 0 and not playing. 0 on failure, with the
// reason in *reason when given. The file is checked at once and decoded on a background thread;
// the first operation on the stream waits for the decode. Data that fails to decode after a
// sound header leaves the stream silent, and a file cut short plays what decodes, each with one
// line on stderr. The name resolves by `files`.
uint32_t OpenStream(const std::string& fileName, std::string* reason = nullptr,
                    const TReadContext& files = TReadContext());
// Starts decoding a music file on a background thread ahead of its OpenStream, which then
// takes that decode (matched by the file's absolute path) instead of starting its own. A file
// that OpenStream would refuse is left alone, so OpenStream still says why. The name resolves by
// `files`.
void PrefetchStream(const std::string& fileName, const TReadContext& files = TReadContext());
// The absolute paths of prefetched decodes that no OpenStream has taken yet.
std::vector<std::string> PrefetchedMusic();
// Stops a stream and frees its samples; its handle becomes unknown. False for an unknown handle.
bool FreeStream(uint32_t handle);
// Starts (or restarts) playback from the current position. False for an unknown handle.
bool PlayStream(uint32_t handle);
// Stops playback where it is heard; the position stays until PlayStream or SetStreamPosition.
// False for an unknown handle.
bool PauseStream(uint32_t handle);
// The position being heard, in seconds of the source. While playing it runs on the performance
// counter, leaning (by at most 2 %) towards the audio the device takes, so it is smooth, never
// steps back (except after SetStreamPosition) and stays within about a device buffer of what
// is heard; it waits for the device's first buffer (at most half a second). 0 for an unknown
// handle.
float StreamPosition(uint32_t handle);
// Moves the stream to a time (rounded to the nearest sample frame). False for an unknown handle
// or a time that is not finite.
bool SetStreamPosition(uint32_t handle, float seconds);
// Multiplies the playback frequency by a factor (rounded to whole Hz): tempo and pitch change
// together. False, and no change, for an unknown handle or a factor whose result is not a
// frequency from 1 Hz to 4 MHz.
bool SetStreamSpeed(uint32_t handle, float factor);
// The spectrum of the sound being heard (Spectrum.h) into buffer[0..255]. False, and nothing
// written, for an unknown handle.
bool FetchSpectrum(uint32_t handle, float* buffer);

// The spectrum at a given source time rather than the playing position (fixed-step runs).
bool FetchSpectrumAt(uint32_t handle, double seconds, float* buffer);
// The audio of source times [fromSeconds, toSeconds) as 16-bit PCM at the stream's sample rate
// and channel count; the part outside the music is silence. False for an unknown handle.
bool StreamAudioRange(uint32_t handle, double fromSeconds, double toSeconds, TPcm16& range);
// What the device callback does for one buffer: mixes every playing stream, resampled to
// 44100 Hz stereo, into out (frameCount frames) and advances them. Lets tests hear the output.
void RenderDeviceAudio(int16_t* out, int frameCount);
// The playback frequency in Hz (the sample rate until SetStreamSpeed changes it); 0 if unknown.
uint32_t StreamFrequency(uint32_t handle);
