// Capture to a video file: frames go as raw RGB through a pipe to an ffmpeg process that encodes
// them (codec, quality and colour tags from the video options) into a temporary Matroska file
// next to the target; when the run is over a second, quick ffmpeg pass puts that video and the
// audio of the range into the target container without encoding the video again.
#include "demo/Capture.h"
#include "demo/VideoOptions.h"

#include "platform/FatalError.h"
#include "platform/Files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The full path of a program found on PATH, or empty.
std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return "";
  const std::string folders = path;
  size_t start = 0;
  for (;;) {
    const size_t colon = folders.find(':', start);
    std::string folder = folders.substr(start, colon == std::string::npos ? colon : colon - start);
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string::npos) return "";
    start = colon + 1;
  }
}

// Starts a program; when stdinPipe is given, the program's standard input is the read end of a
// new pipe whose write end is returned there. Returns the process id, or -1.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   int* stdinPipe, int* stdoutPipe = nullptr) {
  // The argument vector is built before fork: the child of a process with threads (audio,
  // llvmpipe) may only make async-signal-safe calls, and allocating is not one of them.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int fds[2] = {-1, -1}, outFds[2] = {-1, -1};
  if (stdinPipe && ::pipe(fds) != 0) return -1;
  if (stdoutPipe && ::pipe(outFds) != 0) {
    if (stdinPipe) {
      ::close(fds[0]);
      ::close(fds[1]);
    }
    return -1;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (stdinPipe) {
      ::dup2(fds[0], 0);
      ::close(fds[0]);
      ::close(fds[1]);
    }
    if (stdoutPipe) {
      ::dup2(outFds[1], 1);
      ::close(outFds[0]);
      ::close(outFds[1]);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  if (stdoutPipe) {
    ::close(outFds[1]);
    if (pid < 0) ::close(outFds[0]);
    else *stdoutPipe = outFds[0];
  }
  if (stdinPipe) {
    ::close(fds[0]);
    if (pid < 0) {
      ::close(fds[1]);
      return -1;
    }
    *stdinPipe = fds[1];
  }
  return pid;
}

// Waits for a process; true when it exited with status 0.
bool WaitForSuccess(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The encoder lines of `ffmpeg -encoders`, each name with a space on both sides.
std::string EncoderList(const std::string& ffmpeg) {
  int out = -1;
  const pid_t pid = StartProgram(ffmpeg, {"-hide_banner", "-nostdin", "-encoders"}, nullptr, &out);
  if (pid <= 0) return "";
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(out, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(out);
  WaitForSuccess(pid);
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

class VideoFileSink : public TFrameSink {
 public:
  VideoFileSink(std::string fileName, std::string ffmpeg, double fps, TVideoOptions options,
                std::string videoEncoder, std::string audioEncoder)
      : fileName_(std::move(fileName)), ffmpeg_(std::move(ffmpeg)), fps_(fps),
        options_(std::move(options)), videoEncoder_(std::move(videoEncoder)),
        audioEncoder_(std::move(audioEncoder)), videoPart_(fileName_ + ".video.mkv"),
        audioPart_(fileName_ + ".audio.wav") {
    std::remove(audioPart_.c_str());
  }

  ~VideoFileSink() override {
    if (encoder_ > 0) {
      ::close(pipe_);
      WaitForSuccess(encoder_);
    }
    std::remove(videoPart_.c_str());
    std::remove(audioPart_.c_str());
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
    // A dying encoder must show up as a failed write, not end the player: SIGPIPE is ignored
    // while writing and given back its previous handling afterwards.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &previous);
    const bool complete = WriteAll(rgb, size);
    ::sigaction(SIGPIPE, &previous, nullptr);
    return complete;
  }

 private:
  // Writes the whole buffer to the encoder's pipe; false (after saying why) when it stops.
  bool WriteAll(const uint8_t* rgb, size_t size) {
    size_t written = 0;
    while (written < size) {
      const ssize_t n = ::write(pipe_, rgb + written, size - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::fprintf(stderr, "Cannot capture to %s: ffmpeg stopped taking frames (%s)\n",
                     fileName_.c_str(), std::strerror(errno));
        return false;
      }
      written += static_cast<size_t>(n);
    }
    return true;
  }

 public:
  bool Finish() override {
    if (encoder_ <= 0) {
      std::fprintf(stderr, "Cannot capture to %s: no frame was rendered\n", fileName_.c_str());
      return false;
    }
    ::close(pipe_);
    const bool encoded = WaitForSuccess(encoder_);
    encoder_ = -1;
    if (!encoded) {
      std::fprintf(stderr, "Cannot capture to %s: ffmpeg could not encode the frames\n",
                   fileName_.c_str());
      return false;
    }
    // Second pass: the encoded video as it is, the audio (when there is some) encoded.
    std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                          "-i", videoPart_};
    const bool withAudio = FileExists(audioPart_);
    if (withAudio) arguments.insert(arguments.end(), {"-i", audioPart_});
    const std::vector<std::string> mux =
        MuxArguments(fileName_, options_, audioEncoder_, withAudio);
    arguments.insert(arguments.end(), mux.begin(), mux.end());
    arguments.push_back(fileName_);
    const pid_t muxer = StartProgram(ffmpeg_, arguments, nullptr);
    const bool muxed = muxer > 0 && WaitForSuccess(muxer);
    if (!muxed)
      std::fprintf(stderr, "Cannot capture to %s: ffmpeg could not write the file\n",
                   fileName_.c_str());
    return muxed;
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
    arguments.push_back(videoPart_);
    encoder_ = StartProgram(ffmpeg_, arguments, &pipe_);
    if (encoder_ > 0) {
      // Room for two whole frames in the pipe, so the player draws the next frame while the
      // encoder is still reading this one (a default pipe holds 64 KiB). Where the system
      // allows less, the pipe stays as it is: only the overlap is lost.
      const long frameBytes = static_cast<long>(width) * height * 3;
      ::fcntl(pipe_, F_SETPIPE_SZ, static_cast<int>(std::min<long>(2 * frameBytes, 64L << 20)));
      return true;
    }
    std::fprintf(stderr, "Cannot capture to %s: ffmpeg could not be started\n", fileName_.c_str());
    return false;
  }

  std::string fileName_, ffmpeg_;
  double fps_;
  TVideoOptions options_;
  std::string videoEncoder_, audioEncoder_;
  std::string videoPart_, audioPart_;
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
  int out = -1;
  const pid_t pid = StartProgram(ffprobe,
                                 {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                  "stream=height", "-of", "csv=p=0", fileName},
                                 nullptr, &out);
  if (pid <= 0) return 0;
  char text[64] = {};
  size_t used = 0;
  for (;;) {
    const ssize_t n = ::read(out, text + used, sizeof text - 1 - used);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    used += static_cast<size_t>(n);
  }
  ::close(out);
  return WaitForSuccess(pid) ? std::atoi(text) : 0;
}

}  // namespace

std::unique_ptr<TFrameSink> MakeVideoFileSink(const std::string& fileName, double fps,
                                              const TVideoOptions& options) {
  const TEncoders encoders = FindEncoders(fileName, options);
  return std::make_unique<VideoFileSink>(fileName, encoders.Ffmpeg, fps, options, encoders.Video,
                                         encoders.Audio);
}

void EncodeVideoFile(const std::string& input, const std::string& fileName,
                     const TVideoOptions& options) {
  const TEncoders encoders = FindEncoders(fileName, options);
  const int height = VideoHeight(input);
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
  arguments.push_back(fileName);
  const pid_t encoder = StartProgram(encoders.Ffmpeg, arguments, nullptr);
  if (encoder <= 0 || !WaitForSuccess(encoder))
    throw FatalError("Cannot encode " + input + " into " + fileName + ": ffmpeg failed");
}
