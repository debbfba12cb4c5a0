#include "demo/Capture.h"

#include "platform/FatalError.h"
#include "platform/Files.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// True for the names a folder capture writes: frame_ and six or more digits then .png, and
// audio.wav.
bool IsCaptureOutputName(const std::string& name) {
  if (name == "audio.wav") return true;
  const std::string prefix = "frame_", suffix = ".png";
  if (name.size() < prefix.size() + 6 + suffix.size()) return false;
  if (name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size() - suffix.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// The names of the folder's entries that a capture writes (none when it cannot be read).
std::vector<std::string> CaptureOutputsIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& name : FolderEntryNames(folder))
    if (IsCaptureOutputName(name)) names.push_back(name);
  return names;
}

class PngFolderSink : public TFrameSink {
 public:
  explicit PngFolderSink(std::string folder) : folder_(std::move(folder)) {}

  bool WriteFrame(int64_t index, const uint8_t* rgb, int32_t width, int32_t height) override {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(index));
    const std::string path = folder_ + name;
    if (WritePngRGB(path, rgb, width, height)) return true;
    std::fprintf(stderr, "Cannot write frame %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }

  std::string AudioFileName() const override { return folder_ + "/audio.wav"; }

 private:
  std::string folder_;
};

}  // namespace

std::unique_ptr<TFrameSink> MakePngFolderSink(const std::string& folder) {
  if (!MakeFolders(folder)) throw FatalError("Cannot create capture folder " + folder);
  // Frames of an earlier, longer capture would otherwise stay behind the new ones.
  for (const std::string& name : CaptureOutputsIn(folder))
    if (!RemoveFile(folder + "/" + name) && errno != ENOENT)
      throw FatalError("Cannot remove " + folder + "/" + name + " of an earlier capture: " +
                       std::strerror(errno));
  return std::make_unique<PngFolderSink>(folder);
}

bool IsCaptureFolderName(const std::string& name) {
  if (name.empty() || name.back() == '/') return !name.empty();
  if (FolderExists(name)) return true;  // a folder that is there, whatever dots its name has
  const std::string last = name.substr(name.rfind('/') + 1);
  const size_t dot = last.rfind('.');
  return dot == std::string::npos || dot == 0 || last == "..";
}

bool FolderHoldsCapture(const std::string& folder) { return !CaptureOutputsIn(folder).empty(); }

namespace {

// libpng's error handler: no message of its own (the caller says what failed, with errno), back
// to the setjmp point.
[[noreturn]] void PngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Closes a file whose writing failed or completed; on failure the file is removed and errno
// keeps the first reason. True when everything was written.
bool CloseWritten(FILE* file, const std::string& fileName, bool written) {
  int error = written ? 0 : (errno ? errno : EIO);
  if (std::fclose(file) != 0 && written) error = errno;
  if (error == 0) return true;
  std::remove(fileName.c_str());
  errno = error;
  return false;
}

}  // namespace

bool WritePngRGB(const std::string& fileName, const uint8_t* rgb, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) {
    errno = EINVAL;
    return false;
  }
  FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) return false;
  errno = 0;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    errno = ENOMEM;
    return CloseWritten(file, fileName, false);
  }
  if (setjmp(png_jmpbuf(png))) {
    const int error = errno;
    png_destroy_write_struct(&png, &info);
    errno = error;
    return CloseWritten(file, fileName, false);
  }
  png_init_io(png, file);
  // Frames are written at the speed of the fastest compression: captures are large and many.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int32_t y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(y) * stride));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return CloseWritten(file, fileName, true);
}

bool WriteWav16(const std::string& fileName, const TPcm16& pcm) {
  const uint64_t dataBytes = static_cast<uint64_t>(pcm.Samples.size()) * 2;
  // A RIFF size is 32 bits.
  if (pcm.Channels < 1 || pcm.SampleRate < 1 || dataBytes > 0xFFFFFFFFull - 36) {
    errno = EINVAL;
    return false;
  }
  // The canonical 44-byte header, all fields little-endian.
  uint8_t header[44];
  auto put16 = [&](size_t at, uint32_t v) { header[at] = v & 0xFF; header[at + 1] = (v >> 8) & 0xFF; };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
  const uint32_t blockAlign = static_cast<uint32_t>(pcm.Channels) * 2;
  std::memcpy(header, "RIFF", 4);
  put32(4, static_cast<uint32_t>(36 + dataBytes));
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(16, 16);  // size of the format chunk
  put16(20, 1);   // integer PCM
  put16(22, static_cast<uint32_t>(pcm.Channels));
  put32(24, static_cast<uint32_t>(pcm.SampleRate));
  put32(28, static_cast<uint32_t>(pcm.SampleRate) * blockAlign);
  put16(32, blockAlign);
  put16(34, 16);  // bits per sample
  std::memcpy(header + 36, "data", 4);
  put32(40, static_cast<uint32_t>(dataBytes));

  FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
  std::vector<uint8_t> bytes(static_cast<size_t>(dataBytes));
  for (size_t i = 0; i < pcm.Samples.size(); ++i) {
    const uint16_t v = static_cast<uint16_t>(pcm.Samples[i]);
    bytes[2 * i] = v & 0xFF;
    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return CloseWritten(file, fileName, ok);
}

TFrameStats ComputeFrameStats(std::vector<double> milliseconds) {
  TFrameStats stats;
  stats.Count = milliseconds.size();
  if (milliseconds.empty()) return stats;
  std::sort(milliseconds.begin(), milliseconds.end());
  const size_t n = milliseconds.size();
  auto rank = [&](double fraction) {
    size_t index = static_cast<size_t>(std::ceil(fraction * static_cast<double>(n)));
    return milliseconds[std::min(n, std::max<size_t>(index, 1)) - 1];
  };
  stats.Median = n % 2 ? milliseconds[n / 2]
                       : (milliseconds[n / 2 - 1] + milliseconds[n / 2]) / 2.0;
  stats.P90 = rank(0.90);
  stats.P99 = rank(0.99);
  stats.Max = milliseconds.back();
  return stats;
}

std::string FormatFrameStats(const TFrameStats& stats) {
  char text[256];
  std::snprintf(text, sizeof text,
                "frames: %zu\nmedian: %.3f ms\np90: %.3f ms\np99: %.3f ms\nmax: %.3f ms\n",
                stats.Count, stats.Median, stats.P90, stats.P99, stats.Max);
  return text;
}
