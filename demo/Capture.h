// Where the frames of a fixed-step run go: PNG files in a folder or a video file (a capture), or
// nowhere (a benchmark, which only measures); the music of a captured range goes beside them as a
// WAV file. Frame times are collected for the benchmark report.
#pragma once
#include "demo/VideoOptions.h"
#include "platform/AudioDecode.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Receives each finished frame as RGB rows, top row first.
class TFrameSink {
 public:
  virtual ~TFrameSink() = default;
  // Writes frame n; false (after reporting why) when it could not be written.
  virtual bool WriteFrame(int64_t index, const uint8_t* rgb, int32_t width, int32_t height) = 0;
  // Called once after the last frame (and after the audio was written); false when finishing
  // failed.
  virtual bool Finish() { return true; }
  // Where the audio of the captured range is to be written before Finish (empty: no audio).
  virtual std::string AudioFileName() const { return ""; }
};

// A sink writing DIR/frame_NNNNNN.png; the folder is created when missing, and the frames and
// audio of an earlier capture in it are removed. Throws FatalError when the folder cannot be
// made or cleared.
std::unique_ptr<TFrameSink> MakePngFolderSink(const std::string& folder);
// True when a capture target names a video file: it ends in .mp4, .mkv, .mov or .webm (any
// letter case) and is not a folder that exists.
bool IsVideoFileName(const std::string& name);
// True when a capture target names a folder of frames: a folder that exists (as mktemp -d
// makes, "tmp.Ab12"), a name ending in '/', or one whose last part has no ending (a leading
// dot, as in ".frames", is not one).
bool IsCaptureFolderName(const std::string& name);
// True when the folder holds what a capture writes (frame_NNNNNN.png files or audio.wav).
bool FolderHoldsCapture(const std::string& folder);
// A sink piping the frames to ffmpeg, which writes the video file as the options say (the audio
// file, when written, too); the file appears only when complete, and replaces one of that name
// only with `overwrite`. Throws FatalError when ffmpeg is not on the PATH or has no encoder for
// the options.
std::unique_ptr<TFrameSink> MakeVideoFileSink(const std::string& fileName, double fps,
                                              const TVideoOptions& options, bool overwrite);
// Encodes a video file (its frames and its sound) into the file as the options say, as a capture
// to that file would (complete or not at all). Throws FatalError when ffmpeg is missing or fails,
// Interrupted when the run was interrupted.
void EncodeVideoFile(const std::string& input, const std::string& fileName,
                     const TVideoOptions& options, bool overwrite);
// Writes one RGB picture as an 8-bit PNG. False on failure (with errno; a partly written file
// is removed).
bool WritePngRGB(const std::string& fileName, const uint8_t* rgb, int32_t width, int32_t height);

// Writes 16-bit PCM as a WAV file (the audio of a capture). False on failure (with errno; a
// partly written file is removed).
bool WriteWav16(const std::string& fileName, const TPcm16& pcm);

// Frame time statistics of a benchmark, in milliseconds.
struct TFrameStats {
  size_t Count = 0;
  double Median = 0, P90 = 0, P99 = 0, Max = 0;
};
// Median, 90th and 99th percentile (nearest rank) and maximum of the frame times.
TFrameStats ComputeFrameStats(std::vector<double> milliseconds);
// The benchmark report: frame count, then median, p90, p99 and max, one line each.
std::string FormatFrameStats(const TFrameStats& stats);
