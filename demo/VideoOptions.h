// How a capture to a video file is encoded: container from the file's ending, video and audio
// codec, quality, pixel format and colour tags, and the ffmpeg arguments that say so.
#pragma once
#include <string>
#include <vector>

// Empty or negative fields mean the default of the codec and container.
struct TVideoOptions {
  std::string VideoCodec;    // h264, h265, vp9, av1, ffv1, prores (h264; vp9 in .webm)
  int Crf = -1;              // constant quality (lower is better)
  std::string Preset;        // encoder speed: x264/x265 names, a number for av1
  std::string PixFmt;        // yuv420p, yuv422p, yuv444p; rgb for ffv1
  std::string AudioCodec;    // aac, opus, flac, pcm (aac; opus in .webm)
  std::string AudioBitrate;  // e.g. 192k, for aac and opus
};

// True when the name ends in .mp4, .mkv, .mov or .webm (any letter case).
bool IsVideoContainerName(const std::string& fileName);
// Empty when the options suit the file's container; otherwise one line saying what does not.
std::string CheckVideoOptions(const std::string& fileName, const TVideoOptions& options);
// The encoders ffmpeg needs for the options, each as alternatives in order of preference (for
// example {"libsvtav1", "libaom-av1"}); the first is video, the second audio.
std::vector<std::vector<std::string>> NeededEncoders(const std::string& fileName,
                                                     const TVideoOptions& options);
// ffmpeg output arguments encoding rgb24 frames of the height with the video encoder: filters
// (even sides for subsampled chroma, the colour matrix), codec, quality and colour tags
// (BT.709 from 720 lines up, BT.601 below).
std::vector<std::string> VideoEncodeArguments(const std::string& fileName,
                                              const TVideoOptions& options,
                                              const std::string& encoder, int height);
// ffmpeg output arguments encoding the audio with the encoder (and the bit rate).
std::vector<std::string> AudioEncodeArguments(const std::string& fileName,
                                              const TVideoOptions& options,
                                              const std::string& encoder);
// ffmpeg output arguments the file's container needs (stream tags, index at the front, a time
// scale fine enough for every audio sample).
std::vector<std::string> ContainerArguments(const std::string& fileName,
                                            const TVideoOptions& options);
// ffmpeg output arguments putting the encoded video (input 0) and the audio (input 1) into the
// file's container.
std::vector<std::string> MuxArguments(const std::string& fileName, const TVideoOptions& options,
                                      const std::string& audioEncoder, bool withAudio);
