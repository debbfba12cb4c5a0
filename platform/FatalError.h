// A run-time error that ends the program: the entry catches it, shows its text (stderr and,
// with dialogs on, a box) and exits with status 1. Examples: "Cannot open file moltrax.vrp",
// "'12abc' is not a valid integer value".
#pragma once
#include <stdexcept>
#include <string>

struct FatalError : std::runtime_error {
  explicit FatalError(const std::string& message) : std::runtime_error(message) {}
  // Where in a script it was raised, as "FILE:LINE" (empty: not on a script line). Only the
  // stderr text shows it; the box keeps the message alone.
  std::string Where;
};

// A request the production cannot serve, found only once it is loaded (a range past its end):
// the entry says it on one line and exits with status 2, as for a bad command line.
struct UsageError : FatalError {
  explicit UsageError(const std::string& message) : FatalError(message) {}
};
