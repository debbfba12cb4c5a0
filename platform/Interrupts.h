// SIGINT and SIGTERM. While a run defers them (a capture, a benchmark, play), a signal only marks
// the run as interrupted, and the run stops on its next check, removes what it had not finished
// and exits with 128 + the signal's number; at any other time, and at a second signal, the
// program ends at once with that status.
#pragma once
#include <stdexcept>
#include <string>

// Installs the handlers (before SDL starts, which then leaves them alone). SIGXFSZ is ignored
// too: a write past the file size limit fails with EFBIG instead of ending the program.
void CatchInterrupts();
// Starts or ends deferring the signals (see above); a signal already received stays pending.
void DeferInterrupts(bool defer);
// The signal received while deferring, or 0.
int PendingInterrupt();
// Stops deferring and forgets a received signal (process reset).
void ResetInterrupts();

// Thrown to end a run that was interrupted; the entry prints the text (when there is one) and
// exits with 128 + Signal.
struct Interrupted : std::runtime_error {
  Interrupted(int signal, const std::string& message)
      : std::runtime_error(message), Signal(signal) {}
  int Signal;
};

// Defers the signals for its lifetime.
class TDeferredInterrupts {
 public:
  TDeferredInterrupts() { DeferInterrupts(true); }
  ~TDeferredInterrupts() { DeferInterrupts(false); }
  TDeferredInterrupts(const TDeferredInterrupts&) = delete;
  TDeferredInterrupts& operator=(const TDeferredInterrupts&) = delete;
};
