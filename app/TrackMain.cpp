// The entry of vorpane-track: vorpane-track SUBCOMMAND INPUT [OPTIONS].
#include "app/TrackCommandLine.h"

int main(int argc, char** argv) {
  return RunVorpaneTrack(std::vector<std::string>(argv + 1, argv + argc));
}
