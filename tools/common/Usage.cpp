#include "common/Usage.h"

#include <cstring>

bool AskedForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  return false;
}

int PrintUsage(const char* usage, bool help) {
  std::fputs(usage, help ? stdout : stderr);
  return help ? 0 : 2;
}
