#include "demo/VideoOptions.h"

#include <algorithm>
#include <cctype>

#include "platform/Text.h"

namespace {

// Lists of up to three names; unused places are null.
using TNames = const char* [3];

struct TVideoCodec {
  const char* Name;
  TNames Encoders;    // in order of preference
  TNames Containers;  // endings that hold it
  int DefaultCrf;     // -1: no constant-quality setting
  int MaxCrf;
  const char* DefaultPreset;  // "": no preset
  TNames PixFmts;             // the first is the default
};

constexpr TVideoCodec kVideoCodecs[] = {
    {"h264", {"libx264"}, {"mp4", "mkv", "mov"}, 18, 51, "medium",
     {"yuv420p", "yuv422p", "yuv444p"}},
    {"h265", {"libx265"}, {"mp4", "mkv", "mov"}, 20, 51, "medium",
     {"yuv420p", "yuv422p", "yuv444p"}},
    {"vp9", {"libvpx-vp9"}, {"webm", "mkv", "mp4"}, 31, 63, "", {"yuv420p", "yuv444p"}},
    {"av1", {"libsvtav1", "libaom-av1"}, {"webm", "mkv", "mp4"}, 30, 63, "8", {"yuv420p"}},
    {"ffv1", {"ffv1"}, {"mkv"}, -1, 0, "", {"rgb", "yuv420p", "yuv444p"}},
    {"prores", {"prores_ks"}, {"mov", "mkv"}, -1, 0, "", {"yuv422p", "yuv444p"}},
};

struct TAudioCodec {
  const char* Name;
  TNames Encoders;
  TNames Containers;
  const char* DefaultBitrate;  // "": lossless, no bitrate
};

constexpr TAudioCodec kAudioCodecs[] = {
    {"aac", {"aac"}, {"mp4", "mkv", "mov"}, "192k"},
    {"opus", {"libopus", "opus"}, {"webm", "mkv", "mp4"}, "160k"},
    {"flac", {"flac"}, {"mkv", "mp4"}, ""},
    {"pcm", {"pcm_s16le"}, {"mkv", "mov"}, ""},
};

constexpr const char* kX26xPresets[] = {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                                        "medium",    "slow",      "slower",   "veryslow"};

template <size_t N>
std::vector<std::string> Names(const char* const (&list)[N]) {
  std::vector<std::string> names;
  for (const char* name : list)
    if (name) names.push_back(name);
  return names;
}

// The ending after the last dot, lower case ("" when there is none).
std::string Container(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || fileName.find('/', dot) != std::string::npos) return "";
  return LowerCase(fileName.substr(dot + 1));
}

template <size_t N>
bool Contains(const char* const (&list)[N], const std::string& item) {
  for (const char* name : list)
    if (name && item == name) return true;
  return false;
}

std::string Join(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& item : list) text += (text.empty() ? "" : ", ") + item;
  return text;
}

// ".a, .b or .c"
std::string Endings(const std::vector<std::string>& list) {
  std::string text;
  for (size_t i = 0; i < list.size(); ++i)
    text += (i == 0 ? "." : i + 1 == list.size() ? " or ." : ", .") + list[i];
  return text;
}

// The codec of the table named `chosen`, else the container's default; null when unknown.
template <class Codec, size_t N>
const Codec* FindCodec(const Codec (&codecs)[N], const std::string& chosen,
                       const std::string& fileName, const char* webmDefault,
                       const char* otherDefault) {
  const std::string name = !chosen.empty()                 ? chosen
                           : Container(fileName) == "webm" ? webmDefault
                                                           : otherDefault;
  for (const Codec& codec : codecs)
    if (name == codec.Name) return &codec;
  return nullptr;
}

const TVideoCodec* FindVideoCodec(const std::string& fileName, const TVideoOptions& options) {
  return FindCodec(kVideoCodecs, options.VideoCodec, fileName, "vp9", "h264");
}

const TAudioCodec* FindAudioCodec(const std::string& fileName, const TVideoOptions& options) {
  return FindCodec(kAudioCodecs, options.AudioCodec, fileName, "opus", "aac");
}

// "OPTION NAME: unknown; use one of a, b, c"
template <class Codec, size_t N>
std::string UnknownCodec(const std::string& option, const std::string& name,
                         const Codec (&codecs)[N]) {
  std::vector<std::string> names;
  for (const Codec& codec : codecs) names.push_back(codec.Name);
  return option + " " + PrintableText(name) + ": unknown; use one of " + Join(names);
}

// The pixel format the encoder is given for the chosen one: prores is 10-bit, ffv1's rgb is
// lossless 8-bit RGB.
std::string EncoderPixFmt(const TVideoCodec& codec, const std::string& chosen) {
  if (std::string(codec.Name) == "prores") return chosen + "10le";
  if (chosen == "rgb") return "bgr0";
  return chosen;
}

bool IsBitrate(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  return digits > 0 && (digits == text.size() || (digits + 1 == text.size() &&
                                                  (text[digits] == 'k' || text[digits] == 'M')));
}

}  // namespace

bool IsVideoContainerName(const std::string& fileName) {
  const std::string ending = Container(fileName);
  return ending == "mp4" || ending == "mkv" || ending == "mov" || ending == "webm";
}

std::string CheckVideoOptions(const std::string& fileName, const TVideoOptions& options) {
  const std::string container = Container(fileName);
  const TVideoCodec* video = FindVideoCodec(fileName, options);
  if (!video) return UnknownCodec("--video-codec", options.VideoCodec, kVideoCodecs);
  if (!Contains(video->Containers, container))
    return std::string(video->Name) + " video cannot go into ." + container + "; use " +
           Endings(Names(video->Containers));
  if (options.Crf >= 0 && video->DefaultCrf < 0)
    return std::string("--crf does not apply to ") + video->Name +
           (std::string(video->Name) == "ffv1" ? ", which is lossless" : ", which has profiles");
  if (options.Crf > video->MaxCrf)
    return "--crf for " + std::string(video->Name) + " goes from 0 to " +
           std::to_string(video->MaxCrf);
  if (!options.Preset.empty()) {
    const std::string name = video->Name;
    if (name == "h264" || name == "h265") {
      if (!Contains(kX26xPresets, options.Preset))
        return "--preset " + PrintableText(options.Preset) + ": use one of " +
               Join(Names(kX26xPresets));
    } else if (name == "av1") {
      const std::string& p = options.Preset;
      if (p.empty() || p.size() > 2 || !std::all_of(p.begin(), p.end(), ::isdigit) ||
          std::stoi(p) > 13)
        return "--preset for av1 is a number from 0 (slowest) to 13 (fastest)";
    } else {
      return "--preset does not apply to " + name;
    }
  }
  if (!options.PixFmt.empty() && !Contains(video->PixFmts, options.PixFmt))
    return "--pix-fmt " + PrintableText(options.PixFmt) + " is not one " + video->Name +
           " takes here: use " + Join(Names(video->PixFmts));
  const TAudioCodec* audio = FindAudioCodec(fileName, options);
  if (!audio) return UnknownCodec("--audio-codec", options.AudioCodec, kAudioCodecs);
  if (!Contains(audio->Containers, container))
    return std::string(audio->Name) + " audio cannot go into ." + container + "; use " +
           Endings(Names(audio->Containers)) + ", or another --audio-codec";
  if (!options.AudioBitrate.empty()) {
    if (!*audio->DefaultBitrate)
      return std::string("--audio-bitrate does not apply to ") + audio->Name +
             ", which is lossless";
    if (!IsBitrate(options.AudioBitrate))
      return "--audio-bitrate " + PrintableText(options.AudioBitrate) +
             ": give bits per second, such as 192k";
  }
  return "";
}

std::vector<std::vector<std::string>> NeededEncoders(const std::string& fileName,
                                                     const TVideoOptions& options) {
  const TVideoCodec* video = FindVideoCodec(fileName, options);
  const TAudioCodec* audio = FindAudioCodec(fileName, options);
  return {video ? Names(video->Encoders) : std::vector<std::string>{},
          audio ? Names(audio->Encoders) : std::vector<std::string>{}};
}

std::vector<std::string> VideoEncodeArguments(const std::string& fileName,
                                              const TVideoOptions& options,
                                              const std::string& encoder, int height) {
  const TVideoCodec* video = FindVideoCodec(fileName, options);
  if (!video) video = &kVideoCodecs[0];
  const std::string chosen = options.PixFmt.empty() ? video->PixFmts[0] : options.PixFmt;
  const std::string pixFmt = EncoderPixFmt(*video, chosen);
  std::vector<std::string> arguments;
  if (chosen == "rgb") {
    arguments = {"-vf", "format=" + pixFmt};
  } else {
    // Subsampled chroma needs even sides (an odd one gets a black line); the matrix of the
    // RGB to YUV conversion is the one the file is tagged with.
    const bool bt709 = height >= 720;
    const std::string space = bt709 ? "bt709" : "smpte170m";
    std::string filters;
    if (chosen == "yuv420p") filters = "pad=ceil(iw/2)*2:ceil(ih/2)*2,";
    if (chosen == "yuv422p") filters = "pad=ceil(iw/2)*2:ih,";
    // The frames carry the tags too: some encoders (prores) take them only from there.
    filters += std::string("scale=out_color_matrix=") + (bt709 ? "bt709" : "bt601") +
               ":out_range=tv,format=" + pixFmt + ",setparams=colorspace=" + space +
               ":color_primaries=" + space + ":color_trc=" + space + ":range=tv";
    arguments = {"-vf", filters,      "-colorspace", space,          "-color_primaries",
                 space, "-color_trc", space,         "-color_range", "tv"};
  }
  arguments.insert(arguments.end(), {"-c:v", encoder});
  const std::string crf = std::to_string(options.Crf >= 0 ? options.Crf : video->DefaultCrf);
  const std::string preset = options.Preset.empty() ? video->DefaultPreset : options.Preset;
  if (encoder == "libx264" || encoder == "libx265") {
    arguments.insert(arguments.end(), {"-preset", preset, "-crf", crf});
    if (encoder == "libx265")
      arguments.insert(arguments.end(), {"-x265-params", "log-level=error"});
  } else if (encoder == "libvpx-vp9") {
    arguments.insert(arguments.end(), {"-crf", crf, "-b:v", "0", "-deadline", "good", "-cpu-used",
                                       "2", "-row-mt", "1"});
  } else if (encoder == "libsvtav1") {
    arguments.insert(arguments.end(), {"-crf", crf, "-preset", preset});
  } else if (encoder == "libaom-av1") {
    // libaom's speed runs from 0 to 8; SVT-AV1's preset numbers are mapped onto it.
    const int speed = std::min(8, std::stoi(preset) * 8 / 13);
    arguments.insert(arguments.end(), {"-crf", crf, "-b:v", "0", "-cpu-used", std::to_string(speed),
                                       "-row-mt", "1"});
  } else if (encoder == "ffv1") {
    arguments.insert(arguments.end(), {"-level", "3", "-g", "1"});
  } else if (encoder == "prores_ks") {
    // HQ for 4:2:2, 4444 for 4:4:4.
    arguments.insert(arguments.end(), {"-profile:v", chosen == "yuv444p" ? "4" : "3"});
  }
  arguments.insert(arguments.end(), {"-pix_fmt", pixFmt});
  return arguments;
}

std::vector<std::string> AudioEncodeArguments(const std::string& fileName,
                                              const TVideoOptions& options,
                                              const std::string& encoder) {
  std::vector<std::string> arguments = {"-c:a", encoder};
  const TAudioCodec* audio = FindAudioCodec(fileName, options);
  if (audio && *audio->DefaultBitrate)
    arguments.insert(
        arguments.end(),
        {"-b:a", options.AudioBitrate.empty() ? audio->DefaultBitrate : options.AudioBitrate});
  return arguments;
}

std::vector<std::string> ContainerArguments(const std::string& fileName,
                                            const TVideoOptions& options) {
  const std::string container = Container(fileName);
  std::vector<std::string> arguments;
  const TVideoCodec* video = FindVideoCodec(fileName, options);
  // Players of .mp4 and .mov look for H.265 under the hvc1 tag.
  if (video && std::string(video->Name) == "h265" && container != "mkv")
    arguments.insert(arguments.end(), {"-tag:v", "hvc1"});
  // The edit lists that trim the audio encoder's padding count in the movie time scale, 1/1000 s
  // by default: one tick for every sample at 44.1 and 48 kHz, and every frame at the usual rates.
  if (container == "mp4" || container == "mov")
    arguments.insert(arguments.end(),
                     {"-movflags", "+faststart", "-movie_timescale", "7056000"});
  return arguments;
}

std::vector<std::string> MuxArguments(const std::string& fileName, const TVideoOptions& options,
                                      const std::string& audioEncoder, bool withAudio) {
  std::vector<std::string> arguments = {"-map", "0:v", "-c:v", "copy"};
  if (withAudio) {
    arguments.insert(arguments.end(), {"-map", "1:a"});
    const std::vector<std::string> audio = AudioEncodeArguments(fileName, options, audioEncoder);
    // All of the range's samples: cutting to the video's length (-shortest) drops the last
    // partial audio frame, up to 1024 samples.
    arguments.insert(arguments.end(), audio.begin(), audio.end());
  }
  const std::vector<std::string> container = ContainerArguments(fileName, options);
  arguments.insert(arguments.end(), container.begin(), container.end());
  return arguments;
}
