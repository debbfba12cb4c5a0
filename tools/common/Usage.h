// The usage line of a generator program: asked for with --help or -h it goes to stdout and the
// program ends well; after a wrong call it goes to stderr and the program ends with status 2.
#pragma once
#include <cstdio>

// True when an argument is --help or -h.
bool AskedForHelp(int argc, char** argv);
// Writes the usage text: to stdout when asked for help, else to stderr. Returns the exit status
// (0 for help, 2 for a wrong call).
int PrintUsage(const char* usage, bool help);
