#include "platform/AudioDecode.h"

#include "platform/Files.h"
#include "platform/ModuleDecode.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

constexpr sf_count_t kChunkFrames = 4096;

// Normalised float to 16-bit: ×32768 makes 16-bit sources round-trip exactly; louder floats clip.
int16_t FloatToSample(float value) {
  const float scaled = std::nearbyint(value * 32768.0f);
  if (!(scaled > -32768.0f)) return -32768;  // also NaN
  if (scaled > 32767.0f) return 32767;
  return static_cast<int16_t>(scaled);
}

// What a file that opens but does not decode is reported as.
constexpr const char* kNotMusic =
    "it is not music the player can read (WAV, FLAC, Ogg Vorbis, Opus, MP3 or a tracker module)";

// The MP3 decoder inside libsndfile writes its own notes ("Note: Illegal Audio-MPEG-Header",
// "Trying to resync") to stderr and offers no way to silence them. While one of these exists,
// the process's stderr goes to /dev/null; the player reports a failure in its own words. Only
// the opening is quietened: the decoding runs on a background thread, and silencing the
// process's stderr then would swallow the messages of the main thread.
class TQuietStderr {
 public:
  TQuietStderr() {
    std::fflush(stderr);
    saved_ = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) ::dup2(null, 2);
    if (null >= 0) ::close(null);
  }
  ~TQuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      ::dup2(saved_, 2);
      ::close(saved_);
    }
  }
  TQuietStderr(const TQuietStderr&) = delete;
  TQuietStderr& operator=(const TQuietStderr&) = delete;

 private:
  int saved_ = -1;
};

// Why a file that exists cannot be opened for reading (empty when it can).
std::string OpenFailure(const std::string& name) {
  FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return std::strerror(errno);
  std::fclose(file);
  return "";
}

// libsndfile's virtual I/O over bytes in memory.
struct MemoryFile {
  const uint8_t* data;
  sf_count_t size;
  sf_count_t at;
};

sf_count_t MemoryLength(void* user) { return static_cast<MemoryFile*>(user)->size; }

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  MemoryFile& file = *static_cast<MemoryFile*>(user);
  sf_count_t base = whence == SEEK_CUR ? file.at : whence == SEEK_END ? file.size : 0;
  if (offset < -base || offset > file.size - base) return -1;
  file.at = base + offset;
  return file.at;
}

sf_count_t MemoryRead(void* out, sf_count_t count, void* user) {
  MemoryFile& file = *static_cast<MemoryFile*>(user);
  const sf_count_t n = std::max<sf_count_t>(0, std::min(count, file.size - file.at));
  if (n > 0) std::memcpy(out, file.data + file.at, static_cast<size_t>(n));
  file.at += n;
  return n;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t MemoryTell(void* user) { return static_cast<MemoryFile*>(user)->at; }

std::string TooLong() {
  return "it holds more than " + std::to_string(static_cast<int>(kMaxMusicSeconds / 60)) +
         " minutes of 48 kHz stereo";
}

// What can be known of an opened file before decoding it: its channels, rate and length.
bool CheckOpened(const SF_INFO& info, std::string& reason) {
  if (info.channels < 1 || info.channels > 2) {
    reason = "it has " + std::to_string(info.channels) +
             " channels; only mono and stereo music can be played";
    return false;
  }
  if (info.samplerate < 1000 || info.samplerate > 192000) {
    reason = "unsupported sample rate " + std::to_string(info.samplerate) + " Hz";
    return false;
  }
  const int64_t maxFrames = kMaxMusicSamples / info.channels;
  if (info.frames > maxFrames) {
    reason = TooLong();
    return false;
  }
  return true;
}

// Decodes an opened file of sourceBytes bytes.
bool DecodeOpened(SNDFILE* file, const SF_INFO& info, int64_t sourceBytes, TPcm16& pcm,
                  std::string& reason) {
  if (!CheckOpened(info, reason)) return false;
  const int64_t maxFrames = kMaxMusicSamples / info.channels;
  pcm.SampleRate = info.samplerate;
  pcm.Channels = info.channels;
  // The header's frame count saves the regrowing, but a header may lie: it is trusted only as
  // far as the file's size can back it (no codec packs music 64 times).
  const int64_t promised = info.frames * info.channels;
  if (promised > 0 && promised * 2 <= sourceBytes * 64)
    pcm.Samples.reserve(static_cast<size_t>(promised));

  std::vector<float> chunk(static_cast<size_t>(kChunkFrames) * info.channels);
  for (;;) {
    const sf_count_t got = sf_readf_float(file, chunk.data(), kChunkFrames);
    if (got <= 0) break;
    if (pcm.FrameCount() + got > maxFrames) {
      reason = TooLong();
      pcm = TPcm16();
      return false;
    }
    const size_t count = static_cast<size_t>(got) * info.channels;
    for (size_t i = 0; i < count; ++i) pcm.Samples.push_back(FloatToSample(chunk[i]));
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    reason = std::string("decoding failed: ") + sf_strerror(file);
    pcm = TPcm16();
    return false;
  }
  if (pcm.Samples.empty()) {
    reason = "it holds no audio";
    pcm = TPcm16();
    return false;
  }
  // A header that promised more frames than came leaves spare room; give it back.
  if (pcm.Samples.capacity() > pcm.Samples.size() + pcm.Samples.size() / 8) pcm.Samples.shrink_to_fit();
  return true;
}

// Finds a music file by name: its resolved path and size. False with the reason when it does
// not exist, cannot be read or is not a regular file.
bool FindMusicFile(const std::string& fileName, std::string& path, int64_t& sourceBytes,
                   std::string& reason) {
  path = ResolveFileName(fileName);
  if (!FileExists(path)) {
    reason = std::strerror(ENOENT);
    return false;
  }
  reason = OpenFailure(path);
  if (!reason.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = "not a regular file";
    return false;
  }
  sourceBytes = static_cast<int64_t>(st.st_size);
  return true;
}

// How a music file is read.
enum class TMusicKind {
  Stream,        // libsndfile
  Module,        // libopenmpt: its first bytes are a module's
  StreamOrModule // libsndfile, and when it cannot, libopenmpt (a module's name, no known start)
};

TMusicKind MusicKind(const std::string& path, int64_t sourceBytes) {
  std::vector<uint8_t> head(ModuleHeadSize());
  size_t got = 0;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    got = std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);
  }
  if (LooksLikeModule(head.data(), got, static_cast<uint64_t>(sourceBytes)))
    return TMusicKind::Module;
  return HasModuleExtension(path) ? TMusicKind::StreamOrModule : TMusicKind::Stream;
}

// Reads a whole module file of sourceBytes bytes.
bool ReadModuleFile(const std::string& path, int64_t sourceBytes, std::vector<uint8_t>& bytes,
                    std::string& reason) {
  if (static_cast<uint64_t>(sourceBytes) > kMaxModuleBytes) {
    reason = "the module file is larger than " + std::to_string(kMaxModuleBytes >> 20) + " MB";
    return false;
  }
  if (!ReadWholeFile(path, bytes)) {
    reason = "it cannot be read";
    return false;
  }
  return true;
}

// Opens a found music file for libsndfile.
SndfilePtr OpenAudioFile(const std::string& path, SF_INFO& info, std::string& reason) {
  SndfilePtr file;
  {
    TQuietStderr quiet;
    file.reset(sf_open(path.c_str(), SFM_READ, &info));
  }
  if (!file) reason = kNotMusic;
  return file;
}

// Reads a music file as a module: probing only (pcm gets rate and channels) or decoding whole.
bool ReadAsModule(const std::string& path, int64_t sourceBytes, bool decode, TPcm16& pcm,
                  std::string& reason) {
  std::vector<uint8_t> bytes;
  if (!ReadModuleFile(path, sourceBytes, bytes, reason)) return false;
  return decode ? DecodeModule(bytes.data(), bytes.size(), pcm, reason)
                : ProbeModule(bytes.data(), bytes.size(), pcm, reason);
}

// Decodes a music file whole, or only probes it (pcm then gets its rate and channels).
bool ReadMusicFile(const std::string& fileName, bool decode, TPcm16& pcm, std::string& reason) {
  pcm = TPcm16();
  std::string path;
  int64_t sourceBytes = 0;
  if (!FindMusicFile(fileName, path, sourceBytes, reason)) return false;
  const TMusicKind kind = MusicKind(path, sourceBytes);
  if (kind == TMusicKind::Module) return ReadAsModule(path, sourceBytes, decode, pcm, reason);
  SF_INFO info{};
  SndfilePtr file = OpenAudioFile(path, info, reason);
  if (!file && kind == TMusicKind::StreamOrModule)
    return ReadAsModule(path, sourceBytes, decode, pcm, reason);
  if (!file) return false;
  if (decode) return DecodeOpened(file.get(), info, sourceBytes, pcm, reason);
  if (!CheckOpened(info, reason)) return false;
  if (info.frames == 0) {
    reason = "it holds no audio";
    return false;
  }
  pcm.SampleRate = info.samplerate;
  pcm.Channels = info.channels;
  return true;
}

}  // namespace

bool DecodeAudioFile(const std::string& fileName, TPcm16& pcm, std::string& reason) {
  return ReadMusicFile(fileName, true, pcm, reason);
}

bool ProbeAudioFile(const std::string& fileName, TPcm16& header, std::string& reason) {
  return ReadMusicFile(fileName, false, header, reason);
}

bool DecodeAudioBytes(const uint8_t* data, size_t size, TPcm16& pcm, std::string& reason) {
  pcm = TPcm16();
  if (LooksLikeModule(data, std::min(size, ModuleHeadSize()), size))
    return DecodeModule(data, size, pcm, reason);
  MemoryFile memory{data, static_cast<sf_count_t>(size), 0};
  SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
  SF_INFO info{};
  SndfilePtr file(sf_open_virtual(&io, SFM_READ, &info, &memory));
  if (!file) {
    reason = kNotMusic;
    return false;
  }
  return DecodeOpened(file.get(), info, static_cast<int64_t>(size), pcm, reason);
}
