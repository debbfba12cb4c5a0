// make_demotrack TEXT OUTPUT: turns the text form of a demotrack (one line per row, one value
// per channel, '.' for 0, '#' comments) into the binary demotrack file.
#include "common/Demotrack.h"
#include "common/Usage.h"

#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
  const bool help = AskedForHelp(argc, argv);
  if (help || argc != 3) return PrintUsage("usage: make_demotrack TEXT OUTPUT\n", help);
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "make_demotrack: cannot open %s\n", argv[1]);
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TDemotrackGrid channels;
  std::string error;
  if (!ParseDemotrackText(text, channels, error)) {
    std::fprintf(stderr, "make_demotrack: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (!WriteDemotrack(argv[2], channels)) {
    std::fprintf(stderr, "make_demotrack: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
