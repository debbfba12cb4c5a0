// The entry: vorpane [OPTIONS] [SCRIPT]. Creates the demo, runs it, frees it.
#include "app/CommandLine.h"

#include <SDL2/SDL.h>

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const int status = RunVorpane(arguments);
  SDL_Quit();
  return status;
}
