// The entry: vorpane [OPTIONS] [SCRIPT]. Creates the demo, runs it, frees it.
#include "app/CommandLine.h"

#include "platform/KestoGL2.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const int status = RunVorpane(arguments);
  // The window, context and audio are left to the end of the process, as everything else the
  // demo created; only a fullscreen mode is undone so the desktop gets its mode back.
  LeaveFullscreen();
  return status;
}
