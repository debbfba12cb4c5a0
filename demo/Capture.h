// Where the frames of a fixed-step run go: PNG files in a folder (a capture), or nowhere (a
// benchmark, which only measures). Frame times are collected for the benchmark report.
#pragma once
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
  // Called once after the last frame; false when finishing failed.
  virtual bool Finish() { return true; }
};

// A sink writing DIR/frame_NNNNNN.png; the folder is created when missing. Throws FatalError
// when the folder cannot be made.
std::unique_ptr<TFrameSink> MakePngFolderSink(const std::string& folder);
// Writes one RGB picture as an 8-bit PNG. False on failure.
bool WritePngRGB(const std::string& fileName, const uint8_t* rgb, int32_t width, int32_t height);

// Frame time statistics of a benchmark, in milliseconds.
struct TFrameStats {
  size_t Count = 0;
  double Median = 0, P90 = 0, P99 = 0, Max = 0;
};
// Median, 90th and 99th percentile (nearest rank) and maximum of the frame times.
TFrameStats ComputeFrameStats(std::vector<double> milliseconds);
// The benchmark report: frame count, then median, p90, p99 and max, one line each.
std::string FormatFrameStats(const TFrameStats& stats);
