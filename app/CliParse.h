// Runs a CLI11 parser over a program's arguments, the same way for every program of the tree.
#pragma once
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

// Parses the arguments (argv[0] excluded). True when the run goes on; otherwise status and
// message say how to stop: help and version with status 0 and their text, a bad command line
// with status 2 and "program: what is wrong" plus a hint.
inline bool ParseOrStop(CLI::App& app, const std::vector<std::string>& arguments,
                        const char* program, int& status, std::string& message) {
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
    return true;
  } catch (const CLI::CallForHelp&) {
    status = 0;
    message = app.help();
  } catch (const CLI::CallForVersion&) {
    status = 0;
    message = app.version() + "\n";
  } catch (const CLI::ParseError& error) {
    status = 2;
    message = std::string(program) + ": " + error.what() + "\nRun with --help for usage.\n";
  }
  return false;
}
