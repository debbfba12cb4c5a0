// Capture to a video file: frames go as raw RGB through a pipe to an ffmpeg process that encodes
// them (codec, quality and colour tags from the video options) into a temporary NUT file next to
// the target (NUT keeps the frame rate's own time base, so every frame lasts exactly 1/fps); when
// the run is over a second, quick ffmpeg pass puts that video and the audio of the range into the
// target container without encoding the video again, under a temporary name that is renamed to
// the target only once it is complete. Each ffmpeg runs with -xerror: without it, a write that
// fails while the file is closed (a full disk) still ends with status 0. On failure or
// interrupt every temporary file is removed.
#include "demo/Capture.h"
#include "demo/VideoOptions.h"

#include "platform/ChildProgram.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/Interrupts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The encoder lines of `ffmpeg -encoders`, each name with a space on both sides.
std::string EncoderList(const std::string& ffmpeg) {
  std::string text;
  RunForOutput(ffmpeg, {"-hide_banner", "-nostdin", "-encoders"}, text);
  std::string list;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    // " V....D libx264   libx264 H.264 ...": the name is the second word.
    const std::string line = text.substr(start, end - start);
    const size_t flags = line.find_first_not_of(' ');
    const size_t name = flags == std::string::npos ? flags : line.find(' ', flags);
    if (name != std::string::npos) {
      const size_t first = line.find_first_not_of(' ', name);
      const size_t last = first == std::string::npos ? first : line.find(' ', first);
      if (first != std::string::npos) list += " " + line.substr(first, last - first) + " ";
    }
    start = end + 1;
  }
  return list;
}

// The name a file is written under until it is complete: beside it, with the same ending, so
// that ffmpeg writes the same container.
std::string PartialName(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  const size_t dot = fileName.rfind('.');
  const bool hasEnding = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return fileName + ".partial" + (hasEnding ? fileName.substr(dot) : std::string());
}

// True when ffmpeg did its part; otherwise says why (nothing on an interrupt, which the run
// reports itself: Ctrl-C on a terminal reaches ffmpeg too, which then fails).
bool ReportOutcome(TChildOutcome outcome, const std::string& fileName,
                   const std::string& failure) {
  if (outcome == TChildOutcome::Succeeded) return true;
  if (PendingInterrupt()) return false;
  if (outcome == TChildOutcome::Stalled)
    std::fprintf(stderr, "Cannot capture to %s: ffmpeg stalled (nothing done for %.0f s) and was "
                 "stopped\n", fileName.c_str(), kChildStallSeconds);
  else if (outcome == TChildOutcome::Failed)
    std::fprintf(stderr, "Cannot capture to %s: %s\n", fileName.c_str(), failure.c_str());
  return false;
}

class VideoFileSink : public TFrameSink {
 public:
  VideoFileSink(std::string fileName, bool overwrite, std::string ffmpeg, double fps,
                TVideoOptions options, std::string videoEncoder, std::string audioEncoder)
      : fileName_(std::move(fileName)), overwrite_(overwrite), ffmpeg_(std::move(ffmpeg)),
        fps_(fps), options_(std::move(options)), videoEncoder_(std::move(videoEncoder)),
        audioEncoder_(std::move(audioEncoder)), videoPart_(fileName_ + ".video.nut"),
        audioPart_(fileName_ + ".audio.wav"), partial_(PartialName(fileName_)) {
    std::remove(audioPart_.c_str());
  }

  ~VideoFileSink() override {
    // Not finished: a failed or interrupted run, whose frames are not wanted any more.
    if (pipe_ >= 0) ClosePipe(pipe_);
    EndChild(encoder_);
    std::remove(videoPart_.c_str());
    std::remove(audioPart_.c_str());
    std::remove(partial_.c_str());
  }

  std::string AudioFileName() const override { return audioPart_; }

  bool WriteFrame(int64_t /*index*/, const uint8_t* rgb, int32_t width, int32_t height) override {
    if (encoder_ <= 0 && !StartEncoder(width, height)) return false;
    if (width != width_ || height != height_) {
      std::fprintf(stderr, "Cannot capture to %s: the frame size changed during the run\n",
                   fileName_.c_str());
      return false;
    }
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    const TChildOutcome outcome = WriteToChild(encoder_, pipe_, rgb, size);
    const std::string reason = std::string("ffmpeg stopped taking frames (") +
                               std::strerror(errno) + ")";
    if (outcome == TChildOutcome::Stalled || outcome == TChildOutcome::Interrupted)
      encoder_ = -1;  // ended by WriteToChild
    return ReportOutcome(outcome, fileName_, reason);
  }

  bool Finish() override {
    if (encoder_ <= 0) {
      std::fprintf(stderr, "Cannot capture to %s: no frame was rendered\n", fileName_.c_str());
      return false;
    }
    ClosePipe(pipe_);
    pipe_ = -1;
    const TChildOutcome encoded = WaitForChild(encoder_);
    encoder_ = -1;
    if (!ReportOutcome(encoded, fileName_, "ffmpeg could not encode the frames")) return false;
    // Second pass: the encoded video as it is, the audio (when there is some) encoded.
    std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                          "-i", videoPart_};
    const bool withAudio = FileExists(audioPart_);
    if (withAudio) arguments.insert(arguments.end(), {"-i", audioPart_});
    const std::vector<std::string> mux =
        MuxArguments(fileName_, options_, audioEncoder_, withAudio);
    arguments.insert(arguments.end(), mux.begin(), mux.end());
    arguments.insert(arguments.end(), {"-xerror", partial_});
    const pid_t muxer = StartProgram(ffmpeg_, arguments, nullptr);
    const TChildOutcome muxed = muxer > 0 ? WaitForChild(muxer) : TChildOutcome::Failed;
    if (!ReportOutcome(muxed, fileName_, "ffmpeg could not write the file")) return false;
    // An interrupt up to here still leaves the target as it was.
    if (PendingInterrupt()) return false;
    if (!MoveIntoPlace(partial_, fileName_, overwrite_)) {
      std::fprintf(stderr, "Cannot capture to %s: %s\n", fileName_.c_str(),
                   errno == EEXIST ? "a file of that name appeared during the capture"
                                   : std::strerror(errno));
      return false;
    }
    return true;
  }

 private:
  bool StartEncoder(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    char size[32], rate[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    std::snprintf(rate, sizeof rate, "%.6g", fps_);
    std::vector<std::string> arguments = {
        "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", size, "-framerate", rate, "-i", "pipe:0"};
    const std::vector<std::string> encode =
        VideoEncodeArguments(fileName_, options_, videoEncoder_, height);
    arguments.insert(arguments.end(), encode.begin(), encode.end());
    arguments.insert(arguments.end(), {"-xerror", videoPart_});
    encoder_ = StartProgram(ffmpeg_, arguments, &pipe_);
    if (encoder_ > 0) {
      // Room for two whole frames in the pipe, so the player draws the next frame while the
      // encoder is still reading this one (a default pipe holds 64 KiB). Where the system
      // allows less, the pipe stays as it is: only the overlap is lost.
      EnlargePipe(pipe_, 2 * static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
      return true;
    }
    std::fprintf(stderr, "Cannot capture to %s: ffmpeg could not be started\n", fileName_.c_str());
    return false;
  }

  std::string fileName_;
  bool overwrite_;
  std::string ffmpeg_;
  double fps_;
  TVideoOptions options_;
  std::string videoEncoder_, audioEncoder_;
  std::string videoPart_, audioPart_, partial_;
  pid_t encoder_ = -1;
  int pipe_ = -1;
  int32_t width_ = 0, height_ = 0;
};

}  // namespace

bool IsVideoFileName(const std::string& name) {
  return IsVideoContainerName(name) && !FolderExists(name);
}

namespace {

// ffmpeg's path and the video and audio encoders it offers for the options; throws FatalError
// naming what is missing.
struct TEncoders {
  std::string Ffmpeg, Video, Audio;
};

TEncoders FindEncoders(const std::string& fileName, const TVideoOptions& options) {
  TEncoders found;
  found.Ffmpeg = FindOnPath("ffmpeg");
  if (found.Ffmpeg.empty())
    throw FatalError("Cannot capture to " + fileName +
                     ": ffmpeg was not found on the PATH. Install it (bash scripts/install-deps.sh "
                     "or apt-get install ffmpeg), or capture PNG frames with --capture DIR");
  const std::string offered = EncoderList(found.Ffmpeg);
  // An interrupt cut the list short: the run stops on it, not on a missing encoder.
  if (PendingInterrupt()) return found;
  const std::vector<std::vector<std::string>> needed = NeededEncoders(fileName, options);
  std::string* chosen[2] = {&found.Video, &found.Audio};
  for (size_t i = 0; i < 2; ++i) {
    for (const std::string& encoder : needed[i])
      if (offered.find(" " + encoder + " ") != std::string::npos) {
        *chosen[i] = encoder;
        break;
      }
    if (chosen[i]->empty()) {
      std::string names;
      for (const std::string& encoder : needed[i]) names += (names.empty() ? "" : " or ") + encoder;
      throw FatalError("Cannot capture to " + fileName + ": the installed ffmpeg has no " +
                       names + " encoder");
    }
  }
  return found;
}

// The height of the first video stream of a file (ffprobe), or 0.
int VideoHeight(const std::string& fileName) {
  const std::string ffprobe = FindOnPath("ffprobe");
  if (ffprobe.empty()) return 0;
  std::string text;
  const TChildOutcome outcome = RunForOutput(
      ffprobe,
      {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=height", "-of", "csv=p=0",
       fileName},
      text);
  return outcome == TChildOutcome::Succeeded ? std::atoi(text.c_str()) : 0;
}

}  // namespace

std::unique_ptr<TFrameSink> MakeVideoFileSink(const std::string& fileName, double fps,
                                              const TVideoOptions& options, bool overwrite) {
  const TEncoders encoders = FindEncoders(fileName, options);
  return std::make_unique<VideoFileSink>(fileName, overwrite, encoders.Ffmpeg, fps, options, encoders.Video,
                                         encoders.Audio);
}

void EncodeVideoFile(const std::string& input, const std::string& fileName,
                     const TVideoOptions& options, bool overwrite) {
  const TEncoders encoders = FindEncoders(fileName, options);
  const int height = VideoHeight(input);
  if (const int signal = PendingInterrupt()) throw Interrupted(signal, "interrupted");
  if (height <= 0) throw FatalError("Cannot encode " + input + ": no video found in it");
  std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                        "-i", input, "-map", "0:v", "-map", "0:a?"};
  std::vector<std::string> video = VideoEncodeArguments(fileName, options, encoders.Video, height);
  // The frames reach the filters as a capture's do, as rgb24: the same conversion, the same
  // picture.
  for (size_t i = 0; i + 1 < video.size(); ++i)
    if (video[i] == "-vf") video[i + 1] = "format=rgb24," + video[i + 1];
  arguments.insert(arguments.end(), video.begin(), video.end());
  const std::vector<std::string> audio = AudioEncodeArguments(fileName, options, encoders.Audio);
  arguments.insert(arguments.end(), audio.begin(), audio.end());
  // The samples run on without a gap; the times a joined Matroska file gives its audio
  // packets are rounded to milliseconds.
  arguments.insert(arguments.end(), {"-af", "asetpts=N/SR/TB"});
  const std::vector<std::string> container = ContainerArguments(fileName, options);
  arguments.insert(arguments.end(), container.begin(), container.end());
  const std::string partial = PartialName(fileName);
  arguments.insert(arguments.end(), {"-xerror", partial});
  const pid_t encoder = StartProgram(encoders.Ffmpeg, arguments, nullptr);
  const TChildOutcome outcome = encoder > 0 ? WaitForChild(encoder) : TChildOutcome::Failed;
  const int interrupt = PendingInterrupt();
  const bool moved = outcome == TChildOutcome::Succeeded && !interrupt &&
                     MoveIntoPlace(partial, fileName, overwrite);
  const int error = errno;
  if (moved) return;
  std::remove(partial.c_str());
  if (interrupt) throw Interrupted(interrupt, "interrupted");
  if (outcome == TChildOutcome::Stalled)
    throw FatalError("Cannot encode " + input + " into " + fileName + ": ffmpeg stalled");
  if (outcome != TChildOutcome::Succeeded)
    throw FatalError("Cannot encode " + input + " into " + fileName + ": ffmpeg failed");
  throw FatalError("Cannot encode " + input + " into " + fileName + ": " +
                   (error == EEXIST ? "a file of that name appeared meanwhile"
                                    : std::strerror(error)));
}
