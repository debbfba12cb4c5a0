// Capture to a video file: frames go as raw RGB through a pipe to an ffmpeg process that encodes
// them (H.264, yuv420p) into a temporary Matroska file next to the target; when the run is over
// a second, quick ffmpeg pass puts that video and the audio of the range (AAC) into the target
// container without encoding the video again.
#include "demo/Capture.h"

#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/Text.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

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
                   int* stdinPipe) {
  // The argument vector is built before fork: the child of a process with threads (audio,
  // llvmpipe) may only make async-signal-safe calls, and allocating is not one of them.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int fds[2] = {-1, -1};
  if (stdinPipe && ::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (stdinPipe) {
      ::dup2(fds[0], 0);
      ::close(fds[0]);
      ::close(fds[1]);
    }
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
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

class VideoFileSink : public TFrameSink {
 public:
  VideoFileSink(std::string fileName, std::string ffmpeg, double fps)
      : fileName_(std::move(fileName)), ffmpeg_(std::move(ffmpeg)), fps_(fps),
        videoPart_(fileName_ + ".video.mkv"), audioPart_(fileName_ + ".audio.wav") {
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
    // Second pass: the encoded video as it is, the audio (when there is some) as AAC.
    std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                          "-i", videoPart_};
    const bool withAudio = FileExists(audioPart_);
    if (withAudio) arguments.insert(arguments.end(), {"-i", audioPart_});
    arguments.insert(arguments.end(), {"-map", "0:v", "-c:v", "copy"});
    if (withAudio)
      arguments.insert(arguments.end(), {"-map", "1:a", "-c:a", "aac", "-b:a", "192k", "-shortest"});
    if (EndsWith(LowerCase(fileName_), ".mp4"))
      arguments.insert(arguments.end(), {"-movflags", "+faststart"});
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
    // yuv420p needs even sides: an odd one gets a black line.
    const std::vector<std::string> arguments = {
        "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", size, "-framerate", rate, "-i", "pipe:0",
        "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-preset", "veryfast",
        "-crf", "18", "-pix_fmt", "yuv420p", videoPart_};
    encoder_ = StartProgram(ffmpeg_, arguments, &pipe_);
    if (encoder_ > 0) return true;
    std::fprintf(stderr, "Cannot capture to %s: ffmpeg could not be started\n", fileName_.c_str());
    return false;
  }

  std::string fileName_, ffmpeg_;
  double fps_;
  std::string videoPart_, audioPart_;
  pid_t encoder_ = -1;
  int pipe_ = -1;
  int32_t width_ = 0, height_ = 0;
};

}  // namespace

bool IsVideoFileName(const std::string& name) {
  const std::string lower = LowerCase(name);
  return EndsWith(lower, ".mp4") || EndsWith(lower, ".mkv");
}

std::unique_ptr<TFrameSink> MakeVideoFileSink(const std::string& fileName, double fps) {
  const std::string ffmpeg = FindOnPath("ffmpeg");
  if (ffmpeg.empty())
    throw FatalError("Cannot capture to " + fileName +
                     ": ffmpeg was not found on the PATH. Install it (bash scripts/install-deps.sh "
                     "or apt-get install ffmpeg), or capture PNG frames with --capture DIR");
  return std::make_unique<VideoFileSink>(fileName, ffmpeg, fps);
}
