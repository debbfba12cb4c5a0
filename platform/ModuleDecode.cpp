#include "platform/ModuleDecode.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

namespace {

constexpr int32_t kModuleRate = 44100;
constexpr size_t kChunkFrames = 4096;

struct ModuleCloser {
  void operator()(openmpt_module* module) const { openmpt_module_destroy(module); }
};
using ModulePtr = std::unique_ptr<openmpt_module, ModuleCloser>;

// A string libopenmpt allocated, copied and freed.
std::string TakeString(const char* text) {
  std::string copy = text ? text : "";
  if (text) openmpt_free_string(text);
  return copy;
}

// Loads a module quietly (libopenmpt's own log would go to stderr), set to play the song once
// and stop at its end, without dither (its noise is random: two renders would differ, and so
// would two captures). Null with the loader's reason.
ModulePtr LoadModule(const uint8_t* data, size_t size, std::string& reason) {
  const openmpt_module_initial_ctl ctls[] = {
      {"play.at_end", "stop"}, {"dither", "0"}, {nullptr, nullptr}};
  int error = OPENMPT_ERROR_OK;
  const char* message = nullptr;
  ModulePtr module(openmpt_module_create_from_memory2(data, size, openmpt_log_func_silent,
                                                      nullptr, openmpt_error_func_store, nullptr,
                                                      &error, &message, ctls));
  std::string detail = TakeString(message);
  if (!module) {
    if (detail.empty()) detail = TakeString(openmpt_error_string(error));
    reason = "it is a damaged tracker module";
    if (!detail.empty()) reason += " (" + detail + ")";
    return nullptr;
  }
  openmpt_module_set_repeat_count(module.get(), 0);
  return module;
}

// The song's length in seconds when it can be rendered, else 0 with the reason.
double PlayableSeconds(openmpt_module* module, std::string& reason) {
  const double seconds = openmpt_module_get_duration_seconds(module);
  if (!std::isfinite(seconds) || seconds <= 0.0) {
    reason = "it holds no audio";
    return 0.0;
  }
  if (seconds > kMaxMusicSeconds) {
    reason = "the module plays longer than " +
             std::to_string(static_cast<int>(kMaxMusicSeconds / 60)) + " minutes";
    return 0.0;
  }
  return seconds;
}

}  // namespace

size_t ModuleHeadSize() { return openmpt_probe_file_header_get_recommended_size(); }

bool LooksLikeModule(const uint8_t* head, size_t headSize, uint64_t fileSize) {
  return openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, head, headSize,
                                   fileSize, openmpt_log_func_silent, nullptr,
                                   openmpt_error_func_ignore, nullptr, nullptr,
                                   nullptr) == OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS;
}

bool HasModuleExtension(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  const size_t slash = fileName.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = fileName.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // libopenmpt also knows "wav" (as a one-sample module) and such: stream extensions are not ours.
  static const char* const kStreams[] = {"wav", "flac", "ogg", "oga", "opus", "mp3"};
  for (const char* stream : kStreams)
    if (extension == stream) return false;
  return !extension.empty() && openmpt_is_extension_supported(extension.c_str()) != 0;
}

bool ProbeModule(const uint8_t* data, size_t size, TPcm16& header, std::string& reason) {
  header = TPcm16();
  ModulePtr module = LoadModule(data, size, reason);
  if (!module || PlayableSeconds(module.get(), reason) <= 0.0) return false;
  header.SampleRate = kModuleRate;
  header.Channels = 2;
  return true;
}

bool DecodeModule(const uint8_t* data, size_t size, TPcm16& pcm, std::string& reason) {
  pcm = TPcm16();
  ModulePtr module = LoadModule(data, size, reason);
  if (!module) return false;
  const double seconds = PlayableSeconds(module.get(), reason);
  if (seconds <= 0.0) return false;
  pcm.SampleRate = kModuleRate;
  pcm.Channels = 2;
  // The estimate bounds the rendering too: a song that would play on past it is cut a second
  // after it, so no module renders for ever.
  const int64_t maxFrames = std::min<int64_t>(kMaxMusicSamples / 2,
                                              static_cast<int64_t>((seconds + 1.0) * kModuleRate));
  pcm.Samples.reserve(static_cast<size_t>(seconds * kModuleRate) * 2 + kChunkFrames * 2);
  std::vector<int16_t> chunk(kChunkFrames * 2);
  while (pcm.FrameCount() < maxFrames) {
    const size_t want = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(kChunkFrames), maxFrames - pcm.FrameCount()));
    const size_t got = openmpt_module_read_interleaved_stereo(module.get(), kModuleRate, want,
                                                              chunk.data());
    if (got == 0) break;
    pcm.Samples.insert(pcm.Samples.end(), chunk.begin(),
                       chunk.begin() + static_cast<ptrdiff_t>(got * 2));
  }
  if (pcm.Samples.empty()) {
    reason = "it holds no audio";
    pcm = TPcm16();
    return false;
  }
  return true;
}
