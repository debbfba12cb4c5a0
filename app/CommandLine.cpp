#include "app/CommandLine.h"

#include "authoring/EditSession.h"
#include "authoring/ScriptCheck.h"
#include "authoring/TimelinePicture.h"
#include "demo/Vorpane.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/Version.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include <unistd.h>

namespace {

// Where the sample production is, for the line after "Cannot open file moltrax.vrp": the
// installed copy beside this executable (<prefix>/bin/../share/vorpane/production, under any
// prefix), else the build folder's copy beside a built executable, else where an install of
// this build would put it.
std::string SampleProductionFolder() {
  std::string executable(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", &executable[0], executable.size() - 1);
  if (length > 0) {
    executable.resize(static_cast<size_t>(length));
    const std::string folder = executable.substr(0, executable.rfind('/'));
    const std::string prefix = folder.substr(0, folder.rfind('/'));
    for (const std::string& candidate :
         {prefix + "/" VORPANE_PRODUCTION_SUBDIR, folder + "/production"}) {
      if (::access((candidate + "/moltrax.vrp").c_str(), R_OK) == 0) return candidate;
    }
  }
  return VORPANE_PRODUCTION_INSTALLED;
}

// --timeline: the picture needs no window, no sound and no dialog; script errors go to stderr.
int RunTimeline(const TCommandLine& commandLine) {
  SetDialogsEnabled(false);
  std::string target = commandLine.TimelineFile;
  // Named from where the program was started; the script's DATADIR changes the folder.
  if (target[0] != '/') {
    char here[4096];
    if (::getcwd(here, sizeof here)) target = std::string(here) + "/" + target;
  }
  try {
    WriteTimelinePicture(commandLine.Script, target);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vorpane: %s\n", error.what());
    return 1;
  }
  return 0;
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
      "Capture a fixed-step run: to DIR/frame_NNNNNN.png, or to a video file NAME.mp4 or "
      "NAME.mkv (needs ffmpeg)");
  bool benchmark = false;
  app.add_flag("--benchmark", benchmark, "Run with a fixed-step clock and print frame times")
      ->excludes(captureOption)
      ->excludes(checkFlag);
  captureOption->excludes(checkFlag);
  float fps = 60.0f;
  auto* fpsOption = app.add_option("--fps", fps, "Frames per second of a capture or benchmark (default 60)")
      ->check(CLI::PositiveNumber);
  auto* fromOption = app.add_option("--from", result.Options.From, "Start of the range in seconds");
  auto* toOption = app.add_option("--to", result.Options.To, "End of the range in seconds");
  app.add_flag("--edit", result.Edit,
               "Play with the authoring keys: pause, seek, loop, screenshot (see README)");
  auto* startOption = app.add_option("--start", result.Options.Start,
                                     "Start a real-time run at this demo time in seconds");
  app.add_flag("--no-vsync", result.Options.NoVsync,
               "Draw as fast as possible instead of syncing to the display");
  app.add_flag("--quiet", result.Options.Quiet,
               "No progress line or summary on stderr during a capture or benchmark");
  app.add_option("--timeline", result.TimelineFile,
                 "Draw the script's timeline into an SVG file (no window, no sound) and exit")
      ->excludes(captureOption);

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    result.ExitStatus = 0;
    result.Message = app.help();
    return result;
  } catch (const CLI::CallForVersion&) {
    result.ExitStatus = 0;
    result.Message = app.version() + "\n";
    return result;
  } catch (const CLI::ParseError& error) {
    result.ExitStatus = 2;
    result.Message = std::string("vorpane: ") + error.what() + "\nRun with --help for usage.\n";
    return result;
  }
  result.Options.WindowMode = windowed ? 1 : fullscreen ? 2 : 0;
  result.Options.FixedStep = !capture.empty() || benchmark;
  result.Options.CaptureDir = capture;
  result.Options.Benchmark = benchmark;
  result.Options.Fps = fps;
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
  result.Options.HasStart = startOption->count() > 0;
  if (result.Options.HasStart && !std::isfinite(result.Options.Start)) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --start needs a number of seconds\n";
  }
  if ((result.Edit || result.Options.HasStart) && result.Options.FixedStep) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --edit and --start are for real-time play, not with --capture or "
                     "--benchmark (use --from)\n";
  }
  if (result.Options.HasFrom && result.Options.HasTo && result.Options.To <= result.Options.From) {
    result.ExitStatus = 2;
    result.Message = "vorpane: --to must be later than --from\n";
  }
  return result;
}

int RunVorpane(const std::vector<std::string>& arguments) {
  TCommandLine commandLine = ParseCommandLine(arguments);
  if (commandLine.ExitStatus >= 0) {
    std::fputs(commandLine.Message.c_str(), commandLine.ExitStatus == 0 ? stdout : stderr);
    return commandLine.ExitStatus;
  }
  if (commandLine.Check) {
    SetDialogsEnabled(false);
    return RunScriptCheck(commandLine.Script, stdout);
  }
  if (!commandLine.TimelineFile.empty()) return RunTimeline(commandLine);
  if (!DisplayPresent() && std::getenv("SDL_VIDEODRIVER") == nullptr) {
    // No display: render offscreen through EGL.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!commandLine.Options.FixedStep)
      std::fprintf(stderr, "vorpane: no display found, playing offscreen (nothing is shown)\n");
  }
  if (commandLine.NoDialogs || commandLine.Options.FixedStep) SetDialogsEnabled(false);
  // The capture target is named from where the program was started; the script's DATADIR
  // changes the current directory before the capture begins.
  std::string& capture = commandLine.Options.CaptureDir;
  if (!capture.empty() && capture[0] != '/') {
    char here[4096];
    if (::getcwd(here, sizeof here)) capture = std::string(here) + "/" + capture;
  }
  // Screenshots of an edit run go where the program was started, whatever DATADIR does.
  std::string screenshotFolder;
  if (commandLine.Edit) {
    char here[4096];
    if (::getcwd(here, sizeof here)) screenshotFolder = here;
  }
  // Checked before the script runs: its DATADIR changes the current folder.
  const bool defaultScriptMissing =
      commandLine.Script == "moltrax.vrp" && ::access("moltrax.vrp", F_OK) != 0;
  try {
    TVDemo demo(commandLine.Script, commandLine.Options);
    std::unique_ptr<TEditSession> edit;
    if (commandLine.Edit && !commandLine.Options.FixedStep)
      edit = std::make_unique<TEditSession>(demo, screenshotFolder);
    demo.Run();
  } catch (const FatalError& error) {
    const std::string text = error.what();
    ShowErrorBox("Error", text,
                 error.Where.empty() ? text : PrefixEachLine(error.Where + ": ", text));
    if (defaultScriptMissing) {
      const std::string sample = SampleProductionFolder();
      std::fprintf(stderr, "vorpane: the sample production is in %s (cd there and run vorpane)\n",
                   sample.c_str());
    }
    return 1;
  } catch (const std::bad_alloc&) {
    ShowErrorBox("Error", "Out of memory: the production needs more memory than this computer "
                          "could give");
    return 1;
  } catch (const std::exception& error) {
    ShowErrorBox("Error", std::string("Unexpected error: ") + error.what());
    return 1;
  } catch (...) {
    ShowErrorBox("Error", "Unexpected error of an unknown kind");
    return 1;
  }
  return 0;
}
