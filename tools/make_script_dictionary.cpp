// Writes the script fuzz target's libFuzzer dictionary (-dict) from the command table:
// make_script_dictionary FILE.
#include "demo/CommandTable.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_script_dictionary FILE\n");
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << ScriptFuzzDictionary();
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_script_dictionary: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
