// Parsing the command line (CLI11). Kept apart from running the program, which needs the demo
// object and the authoring tools: this file compiles slowly and changes seldom.
#include "app/CommandLine.h"

#include "authoring/SyncLink.h"
#include "demo/Capture.h"
#include "platform/Text.h"
#include "platform/Version.h"

#include "app/CliParse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// "WxH" into its sides; true when the text is given but is not a size in range.
bool ParseFrameSize(const std::string& text, int& width, int& height) {
  if (text.empty()) return false;
  unsigned long w = 0, h = 0;
  char x = 0, rest = 0;
  if (std::sscanf(text.c_str(), "%lu%c%lu%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X') ||
      w < 1 || h < 1 || w > 16384 || h > 16384 || text.find_first_of("+- ") != std::string::npos)
    return true;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return false;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  TCommandLine result;
  CLI::App app("Vorpane: plays a demo production described by a script.", "vorpane");
  app.set_version_flag("--version", std::string("Vorpane Demoengine ") + VorpaneVersion());
  app.add_option("script", result.Script, "The demo script (default: moltrax.vrp)");
  app.add_flag("--no-dialogs", result.NoDialogs, "Error boxes go to stderr only");
  auto* checkFlag = app.add_flag(
      "--check", result.Check,
      "Check the script without playing it: print each problem as FILE:LINE: error|warning: "
      "text and a summary to stdout; exit 1 when there is an error");
  bool windowed = false, fullscreen = false;
  auto* windowedFlag = app.add_flag("--windowed", windowed, "Play in a window");
  app.add_flag("--fullscreen", fullscreen, "Play fullscreen")->excludes(windowedFlag);
  std::string capture;
  auto* captureOption = app.add_option(
      "--capture", capture,
      "Capture a fixed-step run: to DIR/frame_NNNNNN.png (a name without an ending, or "
      "ending in /), or to a video file NAME.mp4, .mkv, .mov or .webm (needs ffmpeg)");
  auto* overwriteFlag = app.add_flag("--overwrite", result.Options.Overwrite,
                                     "Let --capture replace a video file of that name, or the frames already in "
                                     "its folder; let --pack replace its archive");
  TVideoOptions& video = result.Options.Video;
  const std::vector<CLI::Option*> videoOptions = {
      app.add_option("--video-codec", video.VideoCodec,
                     "Video codec of a video capture: h264 (default), h265, vp9 (default in "
                     ".webm), av1, ffv1 (lossless), prores"),
      app.add_option("--crf", video.Crf, "Constant quality of the video (lower is better)")
          ->check(CLI::NonNegativeNumber),
      app.add_option("--preset", video.Preset,
                     "Encoder speed: ultrafast ... veryslow for h264 and h265 (default medium), "
                     "0 to 13 for av1"),
      app.add_option("--pix-fmt", video.PixFmt,
                     "Pixel format of the video: yuv420p (default), yuv422p, yuv444p; rgb for ffv1"),
      app.add_option("--audio-codec", video.AudioCodec,
                     "Audio codec of a video capture: aac (default), opus (default in .webm), "
                     "flac, pcm"),
      app.add_option("--audio-bitrate", video.AudioBitrate,
                     "Audio bit rate for aac and opus, such as 192k")};
  auto* encodeOption = app.add_option(
      "--encode", result.EncodeInput,
      "Encode FILE (a lossless video, such as the joined segments of scripts/capture-split.sh) "
      "into the --capture video file with the codec options; nothing is rendered");
  bool benchmark = false;
  app.add_flag("--benchmark", benchmark, "Run with a fixed-step clock and print frame times")
      ->excludes(captureOption)
      ->excludes(checkFlag);
  captureOption->excludes(checkFlag);
  auto* fpsOption = app.add_option("--fps", result.Options.Fps, "Frames per second of a capture or benchmark (default 60)")
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            double value = 0.0;
            if (CLI::detail::lexical_cast(text, value) && value > 0.0 && value <= 1000.0)
              return std::string();
            return "frames per second go from more than 0 up to 1000, not " + text;
          },
          "(0, 1000]"));
  auto* fromOption = app.add_option("--from", result.Options.From, "Start of the range in seconds");
  auto* toOption = app.add_option("--to", result.Options.To, "End of the range in seconds");
  app.add_flag("--edit", result.Edit,
               "Play with the authoring keys: pause, seek, loop, screenshot (see README)");
  std::string sync;
  auto* syncOption = app.add_option(
      "--sync", sync,
      "With --edit: follow a sync editor at [HOST:]PORT (localhost, 1338 by default): its keys, "
      "seeks, pauses and save requests")
      ->type_name("[HOST:]PORT");
  auto* startOption = app.add_option("--start", result.Options.Start,
                                     "Start a real-time run at this demo time in seconds");
  app.add_flag("--no-vsync", result.Options.NoVsync,
               "Draw as fast as possible instead of syncing to the display");
  app.add_flag("--quiet", result.Options.Quiet,
               "No progress line or summary on stderr during a capture or benchmark");
  std::string size, fit = "pad";
  auto* sizeOption = app.add_option(
      "--size", size,
      "Capture frames of WxH pixels: the production drawn at that size in its own coordinates");
  auto* fitOption =
      app.add_option("--fit", fit, "Another aspect ratio at --size: pad (default) or stretch")
          ->check(CLI::IsMember({"pad", "stretch"}));
  auto* ssaaOption = app.add_option("--ssaa", result.Options.Supersample,
                                    "Draw each frame at N (2 to 4) times its size and filter "
                                    "it down")
                         ->check(CLI::Range(2, 4));
  auto* blurOption = app.add_option("--motion-blur", result.Options.MotionBlur,
                                    "Average N (2 to 64) sub-frames into each captured frame")
                         ->check(CLI::Range(2, 64));
  auto* shutterOption =
      app.add_option("--shutter", result.Options.Shutter,
                     "The part of a frame the motion blur's sub-frames spread over (default "
                     "0.5; above 0, at most 1)")
          ->check(CLI::Range(0.0, 1.0));
  auto* timelineOption =
      app.add_option("--timeline", result.TimelineFile,
                     "Draw the script's timeline into an SVG file (no window, no sound) and exit")
          ->excludes(captureOption)
          ->excludes(checkFlag);
  app.add_option("--pack", result.Pack,
                 "Pack the production into one archive that plays where it is unpacked: win64 "
                 "(NAME-win64.zip with vorpane.exe) or linux (NAME-linux.tar.gz), then exit")
      ->check(CLI::IsMember({"win64", "linux"}))
      ->excludes(captureOption)
      ->excludes(checkFlag)
      ->excludes(timelineOption);
  app.add_option("--pack-player", result.PackPlayer,
                 "The player a --pack archive holds (default: vorpane.exe beside this program "
                 "for win64, this program for linux)");

  if (!ParseOrStop(app, arguments, "vorpane", result.ExitStatus, result.Message)) return result;
  result.Options.WindowMode = windowed ? 1 : fullscreen ? 2 : 0;
  result.Options.FixedStep = !capture.empty() || benchmark;
  result.Options.CaptureDir = capture;
  result.Options.Benchmark = benchmark;
  result.Options.HasFrom = fromOption->count() > 0;
  result.Options.HasTo = toOption->count() > 0;
  if (!result.TimelineFile.empty() && benchmark) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --timeline cannot be combined with --benchmark\n";
  }
  if ((result.Options.HasFrom || result.Options.HasTo || fpsOption->count() > 0) &&
      !result.Options.FixedStep) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --fps, --from and --to need --capture or --benchmark\n";
  }
  if (ParseFrameSize(size, result.Options.OutputWidth, result.Options.OutputHeight)) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --size needs WIDTHxHEIGHT, each side 1 to 16384 pixels\n";
  }
  result.Options.Stretch = fit == "stretch";
  if (shutterOption->count() > 0 && !(result.Options.Shutter > 0.0f)) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --shutter needs a part of a frame above 0, at most 1\n";
  }
  result.Options = ResolveDemoOptions(result.Options);
  const int ssaa = result.Options.Supersample;
  if (result.Options.OutputWidth * ssaa > 16384 || result.Options.OutputHeight * ssaa > 16384) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --size times --ssaa must stay within 16384 pixels a side\n";
  }
  if ((sizeOption->count() || fitOption->count() || ssaaOption->count() || blurOption->count() ||
       shutterOption->count()) &&
      !result.Options.FixedStep) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --size, --fit, --ssaa, --motion-blur and --shutter need --capture "
                     "or --benchmark\n";
  }
  result.Options.HasStart = startOption->count() > 0;
  if (result.Options.HasStart && !std::isfinite(result.Options.Start)) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --start needs a number of seconds\n";
  }
  if (overwriteFlag->count() > 0 && capture.empty() && result.Pack.empty()) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --overwrite needs --capture or --pack\n";
  }
  if (!result.PackPlayer.empty() && result.Pack.empty()) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --pack-player needs --pack\n";
  }
  if (!result.Pack.empty() && benchmark) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --pack cannot be combined with --benchmark\n";
  }
  if (!capture.empty() && !IsCaptureFolderName(capture) && !IsVideoFileName(capture)) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --capture " + PrintableText(capture) +
                     ": unknown ending; use .mp4, .mkv, .mov or .webm for a video, or a name "
                     "without an ending (or ending in /) for a folder of PNG frames\n";
  }
  if (encodeOption->count() > 0 && !IsVideoFileName(capture)) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --encode needs --capture with a video file\n";
  }
  const bool videoOptionGiven = std::any_of(videoOptions.begin(), videoOptions.end(),
                                            [](CLI::Option* option) { return option->count() > 0; });
  if (videoOptionGiven && !IsVideoFileName(capture)) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --video-codec, --crf, --preset, --pix-fmt, --audio-codec and "
                     "--audio-bitrate need --capture with a video file\n";
  } else if (IsVideoFileName(capture)) {
    const std::string problem = CheckVideoOptions(capture, video);
    if (!problem.empty()) {
      result.ExitStatus = 2;
      result.Message = "vorpane: " + problem + "\n";
    }
  }
  if ((result.Edit || result.Options.HasStart) && result.Options.FixedStep) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --edit and --start are for real-time play, not with --capture or "
                     "--benchmark (use --from)\n";
  }
  if (syncOption->count() > 0) {
    std::string error;
    if (!result.Edit) {
      result.ExitStatus = 2;
      result.Message = "vorpane: --sync needs --edit\n";
    } else if (!ParseSyncAddress(sync, result.SyncHost, result.SyncPort, error)) {
      result.ExitStatus = 2;
      result.Message = "vorpane: " + PrintableText(error) + "\n";
    }
  }
  if (result.Options.HasFrom && result.Options.HasTo && result.Options.To <= result.Options.From) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --to must be later than --from\n";
  }
  return result;
}
