// Running the program as its command line says: --check, --timeline, or a demo (real time,
// edit session, capture or benchmark), and the messages of a run that ends in an error.
#include "app/CommandLine.h"

#include "authoring/EditSession.h"
#include "authoring/ProductionPack.h"
#include "authoring/ScriptCheck.h"
#include "authoring/TimelinePicture.h"
#include "demo/Capture.h"
#include "demo/Vorpane.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "platform/Files.h"
#include "platform/Interrupts.h"
#include "platform/Text.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// Where the sample production is, for the line after "Cannot open file moltrax.vrp": the
// installed copy beside this executable (<prefix>/bin/../share/vorpane/production, under any
// prefix), else the build folder's copy beside a built executable, else where an install of
// this build would put it.
std::string SampleProductionFolder() {
  const std::string executable = ProgramPath();
  if (!executable.empty()) {
    const std::string folder = executable.substr(0, executable.rfind('/'));
    const std::string prefix = folder.substr(0, folder.rfind('/'));
    for (const std::string& candidate :
         {prefix + "/" VORPANE_PRODUCTION_SUBDIR, folder + "/production"}) {
      if (FileReadable(candidate + "/moltrax.vrp")) return candidate;
    }
  }
  return VORPANE_PRODUCTION_INSTALLED;
}

// --timeline: the picture needs no window, no sound and no dialog; script errors go to stderr.
int RunTimeline(const TCommandLine& commandLine) {
  SetDialogsEnabled(false);
  std::string target = commandLine.TimelineFile;
  // Named from where the program was started; reading the script moves to its folder.
  target = FromCurrentDirectory(target);
  try {
    WriteTimelinePicture(commandLine.Script, target);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vorpane: %s\n", error.what());
    return 1;
  }
  return 0;
}

// The capture target made absolute: it is named from where the program was started, and reading
// the script moves to its folder (and DATADIR on from there) before the capture begins.
void MakeAbsolute(std::string& capture) {
  capture = FromCurrentDirectory(capture);
}

// Refuses a capture that would replace what is there (status 2, before anything is written):
// a video file, or a folder holding frames, unless --overwrite. -1 when the target is free.
int RefuseTakenTarget(const TCommandLine& commandLine) {
  const std::string& capture = commandLine.Options.CaptureDir;
  if (capture.empty() || commandLine.Options.Overwrite) return -1;
  if (IsVideoFileName(capture) && EntryExists(capture)) {
    std::fprintf(stderr,
                 "vorpane: --capture %s: the file already exists; use --overwrite to replace it\n",
                 PrintableText(capture).c_str());
    return 2;
  }
  // Old frames mixed with new ones would make a wrong video.
  if (IsCaptureFolderName(capture) && FolderHoldsCapture(capture)) {
    std::fprintf(stderr,
                 "vorpane: --capture %s: the folder already holds frames; use --overwrite to "
                 "replace them\n",
                 PrintableText(capture).c_str());
    return 2;
  }
  return -1;
}

// The status of a run ended by a signal, after saying where it stopped.
int ReportInterrupted(const Interrupted& interrupt) {
  if (*interrupt.what()) std::fprintf(stderr, "vorpane: %s\n", interrupt.what());
  return 128 + interrupt.Signal;
}

}  // namespace

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
  if (!commandLine.Pack.empty()) {
    SetDialogsEnabled(false);
    TPackDesc pack;
    pack.Script = commandLine.Script;
    pack.Target = commandLine.Pack;
    pack.Player = commandLine.PackPlayer;
    pack.Overwrite = commandLine.Options.Overwrite;
    return PackProduction(pack, stderr);
  }
  // Before SDL starts, which installs handlers of its own only where none is set.
  CatchInterrupts();
  MakeAbsolute(commandLine.Options.CaptureDir);
  const int refused = RefuseTakenTarget(commandLine);
  if (refused >= 0) return refused;
  if (!commandLine.EncodeInput.empty()) {
    TDeferredInterrupts deferred;
    try {
      EncodeVideoFile(commandLine.EncodeInput, commandLine.Options.CaptureDir,
                      commandLine.Options.Video, commandLine.Options.Overwrite);
    } catch (const Interrupted& interrupt) {
      return ReportInterrupted(interrupt);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "vorpane: %s\n", error.what());
      return 1;
    }
    return 0;
  }
  const std::string displayProblem = DisplayProblem();
  if (!displayProblem.empty()) {
    // Real-time play nobody can see is no use: say what to do instead.
    if (!commandLine.Options.FixedStep) {
      std::fprintf(stderr,
                   "vorpane: %s; play it on a desktop, or make a video with --capture "
                   "demo.mp4\n",
                   displayProblem.c_str());
      return 1;
    }
    // A capture or benchmark renders offscreen through EGL.
    UseOffscreenVideo();
  }
  // An edit run reports on stderr and on the screen: a modal box would take its keys.
  if (commandLine.NoDialogs || commandLine.Options.FixedStep || commandLine.Edit)
    SetDialogsEnabled(false);
  // Screenshots of an edit run go where the program was started, wherever the script is.
  std::string screenshotFolder;
  if (commandLine.Edit) {
    screenshotFolder = CurrentDirectory();
  }
  // Checked before the script is read: reading it changes the current folder.
  const bool defaultScriptMissing =
      commandLine.Script == "moltrax.vrp" && !FileExists("moltrax.vrp");
  try {
    TVDemo demo(commandLine.Script, commandLine.Options);
    std::unique_ptr<TEditSession> edit;
    if (commandLine.Edit && !commandLine.Options.FixedStep)
      edit = std::make_unique<TEditSession>(demo, screenshotFolder);
    if (edit && commandLine.SyncPort != 0)
      edit->ConnectSync(commandLine.SyncHost, commandLine.SyncPort);
    demo.Run();
  } catch (const Interrupted& interrupt) {
    return ReportInterrupted(interrupt);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "vorpane: %s\n", error.what());
    return 2;
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
  // A signal after the last check: the run is complete, but it was still asked to stop.
  if (const int signal = PendingInterrupt()) return 128 + signal;
  return 0;
}
