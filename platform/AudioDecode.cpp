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
#ifdef _WIN32
    const int null = ::open("NUL", O_WRONLY);
#else
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
#endif
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

// The header's frame count when the file's size can back it (no codec packs music 64 times: 32
// frames of a mono 16-bit sample per byte), else -1. A cut Ogg stream reports an unknown length
// (SF_COUNT_MAX), and a header may lie.
int64_t CredibleFrames(const SF_INFO& info, int64_t sourceBytes) {
  if (info.frames <= 0 || info.frames == SF_COUNT_MAX || info.channels < 1) return -1;
  return info.frames <= sourceBytes * 32 / info.channels ? info.frames : -1;
}

// What can be known of an opened file before decoding it: its channels, rate and length (when
// its header gives a credible one; otherwise the decode finds out).
bool CheckOpened(const SF_INFO& info, int64_t sourceBytes, std::string& reason) {
  if (info.channels < 1 || info.channels > 2) {
    reason = "it has " + std::to_string(info.channels) +
             " channels; only mono and stereo music can be played";
    return false;
  }
  if (info.samplerate < 1000 || info.samplerate > 192000) {
    reason = "unsupported sample rate " + std::to_string(info.samplerate) + " Hz";
    return false;
  }
  if (CredibleFrames(info, sourceBytes) > kMaxMusicSamples / info.channels) {
    reason = TooLong();
    return false;
  }
  return true;
}

std::string SecondsText(int64_t frames, int32_t rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(frames) / rate);
  return text;
}

// What the first bytes of a music file show beyond what libsndfile reads.
struct THeadFacts {
  const char* Format = nullptr;  // the stream format its first bytes show ("an Ogg"), if any
  bool Midi = false;           // a Standard MIDI File, bare or in RIFF
  int64_t DeclaredBytes = -1;  // a RIFF or AIFF file's own size, when its header gives one
};

THeadFacts ReadHeadFacts(const uint8_t* head, size_t size) {
  THeadFacts facts;
  auto is = [&](size_t at, const char* magic) {
    return size >= at + 4 && std::memcmp(head + at, magic, 4) == 0;
  };
  const bool wave = is(0, "RIFF") && is(8, "WAVE");
  const bool aiff = is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC"));
  facts.Midi = is(0, "MThd") || (is(0, "RIFF") && is(8, "RMID"));
  if (is(0, "OggS")) facts.Format = "an Ogg";
  if (is(0, "fLaC")) facts.Format = "a FLAC";
  if (wave) facts.Format = "a WAV";
  if (aiff) facts.Format = "an AIFF";
  if (size >= 3 && std::memcmp(head, "ID3", 3) == 0) facts.Format = "an MP3";
  uint32_t declared = 0;
  if (wave)
    for (int i = 3; i >= 0; --i) declared = declared << 8 | head[4 + i];  // little-endian
  else if (aiff)
    for (int i = 0; i < 4; ++i) declared = declared << 8 | head[4 + i];  // big-endian
  // Writers that stream leave 0 or all ones there.
  if (declared != 0 && declared < 0xfffffff0u) facts.DeclaredBytes = int64_t{declared} + 8;
  return facts;
}

// What a MIDI file given as music is told.
constexpr const char* kMidiIsNotMusic =
    "it is a MIDI file, which the player does not play (TRACKER makes a demotrack of it)";

// Why a file libsndfile cannot open is refused: what its first bytes show it is.
std::string NotOpenedReason(const THeadFacts& facts) {
  if (facts.Midi) return kMidiIsNotMusic;
  if (facts.Format)
    return std::string("it is ") + facts.Format + " file whose start is damaged or cut short";
  return kNotMusic;
}

// True when the end of the file is gone for sure: its header gives more bytes than there are,
// or an Ogg stream lost its last page (its length is unknown).
bool EndIsMissing(const SF_INFO& info, int64_t sourceBytes, const THeadFacts& facts) {
  return facts.DeclaredBytes > sourceBytes || info.frames == SF_COUNT_MAX;
}

// How a decode that ended early is described, or "" when it did not: the header promised more
// frames than came (an MP3 header's count may be an estimate: 2 % or a tenth of a second less
// is no loss), a RIFF or AIFF header more bytes than the file has, an Ogg stream lost its last
// page, or the decoder stopped on damaged data.
std::string DamageNote(const SF_INFO& info, int64_t sourceBytes, const THeadFacts& facts,
                       int64_t decoded, const std::string& decoderError) {
  std::vector<std::string> causes;
  const int64_t promised = CredibleFrames(info, sourceBytes);
  if (promised > 0 && decoded + std::max<int64_t>(promised / 50, info.samplerate / 10) < promised)
    causes.push_back("its header promises " + SecondsText(promised, info.samplerate));
  if (facts.DeclaredBytes > sourceBytes)
    causes.push_back("its header gives " + std::to_string(facts.DeclaredBytes) +
                     " bytes, the file has " + std::to_string(sourceBytes));
  if (info.frames == SF_COUNT_MAX) causes.push_back("its end is missing");
  if (!decoderError.empty()) causes.push_back("decoding stopped: " + decoderError);
  if (causes.empty()) return "";
  std::string note = EndIsMissing(info, sourceBytes, facts) ? "music is cut short ("
                                                            : "music is cut short or damaged (";
  for (size_t i = 0; i < causes.size(); ++i) note += (i ? "; " : "") + causes[i];
  return note + "): the " + SecondsText(decoded, info.samplerate) + " that decode play";
}

// libsndfile's message for a failed decode, without its "Error : " and final full stop.
std::string DecoderError(SNDFILE* file) {
  if (sf_error(file) == SF_ERR_NO_ERROR) return "";
  std::string text = sf_strerror(file);
  if (text.rfind("Error : ", 0) == 0) text.erase(0, 8);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

// Decodes an opened file of sourceBytes bytes. A decode that stops early keeps what came, and
// *damage says so.
bool DecodeOpened(SNDFILE* file, const SF_INFO& info, int64_t sourceBytes,
                  const THeadFacts& facts, TPcm16& pcm, std::string& reason,
                  std::string* damage) {
  if (!CheckOpened(info, sourceBytes, reason)) return false;
  const int64_t maxFrames = kMaxMusicSamples / info.channels;
  pcm.SampleRate = info.samplerate;
  pcm.Channels = info.channels;
  // The header's frame count saves the regrowing, as far as the file's size backs it.
  const int64_t promised = CredibleFrames(info, sourceBytes);
  if (promised > 0) pcm.Samples.reserve(static_cast<size_t>(promised * info.channels));

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
  const std::string decoderError = DecoderError(file);
  if (pcm.Samples.empty()) {
    reason = !decoderError.empty()                      ? "decoding failed: " + decoderError
             : EndIsMissing(info, sourceBytes, facts) ? "it is cut short before its first sound"
                                                      : "it holds no audio";
    pcm = TPcm16();
    return false;
  }
  const std::string note = DamageNote(info, sourceBytes, facts, pcm.FrameCount(), decoderError);
  if (damage) *damage = note;
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

// How a file is read, from its first bytes (head) and its name.
TMusicKind MusicKind(const std::string& path, const std::vector<uint8_t>& head,
                     int64_t sourceBytes) {
  if (LooksLikeModule(head.data(), head.size(), static_cast<uint64_t>(sourceBytes)))
    return TMusicKind::Module;
  return HasModuleExtension(path) ? TMusicKind::StreamOrModule : TMusicKind::Stream;
}

// The first bytes of a file, as many as the module probe wants.
std::vector<uint8_t> ReadHead(const std::string& path) {
  std::vector<uint8_t> head(std::max<size_t>(ModuleHeadSize(), 12));
  size_t got = 0;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    got = std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);
  }
  head.resize(got);
  return head;
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
bool ReadMusicFile(const std::string& fileName, bool decode, TPcm16& pcm, std::string& reason,
                   std::string* damage) {
  pcm = TPcm16();
  if (damage) damage->clear();
  std::string path;
  int64_t sourceBytes = 0;
  if (!FindMusicFile(fileName, path, sourceBytes, reason)) return false;
  const std::vector<uint8_t> head = ReadHead(path);
  const TMusicKind kind = MusicKind(path, head, sourceBytes);
  if (kind == TMusicKind::Module) return ReadAsModule(path, sourceBytes, decode, pcm, reason);
  const THeadFacts facts = ReadHeadFacts(head.data(), head.size());
  SF_INFO info{};
  SndfilePtr file = OpenAudioFile(path, info, reason);
  if (!file && kind == TMusicKind::StreamOrModule)
    return ReadAsModule(path, sourceBytes, decode, pcm, reason);
  if (!file) reason = NotOpenedReason(facts);
  if (!file) return false;
  if (decode) return DecodeOpened(file.get(), info, sourceBytes, facts, pcm, reason, damage);
  if (!CheckOpened(info, sourceBytes, reason)) return false;
  if (info.frames == 0) {
    reason = "it holds no audio";
    return false;
  }
  pcm.SampleRate = info.samplerate;
  pcm.Channels = info.channels;
  return true;
}

}  // namespace

bool DecodeAudioFile(const std::string& fileName, TPcm16& pcm, std::string& reason,
                     std::string* damage) {
  return ReadMusicFile(fileName, true, pcm, reason, damage);
}

bool ProbeAudioFile(const std::string& fileName, TPcm16& header, std::string& reason) {
  return ReadMusicFile(fileName, false, header, reason, nullptr);
}

bool DecodeAudioBytes(const uint8_t* data, size_t size, TPcm16& pcm, std::string& reason,
                      std::string* damage) {
  pcm = TPcm16();
  if (damage) damage->clear();
  if (LooksLikeModule(data, std::min(size, ModuleHeadSize()), size))
    return DecodeModule(data, size, pcm, reason);
  const THeadFacts facts = ReadHeadFacts(data, size);
  MemoryFile memory{data, static_cast<sf_count_t>(size), 0};
  SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
  SF_INFO info{};
  SndfilePtr file(sf_open_virtual(&io, SFM_READ, &info, &memory));
  if (!file) {
    reason = NotOpenedReason(facts);
    return false;
  }
  return DecodeOpened(file.get(), info, static_cast<int64_t>(size), facts, pcm, reason, damage);
}
