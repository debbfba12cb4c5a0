#include "platform/Interrupts.h"

#include <signal.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t deferring = 0;
volatile sig_atomic_t pending = 0;

void OnInterrupt(int signal) {
  if (!deferring || pending) ::_exit(128 + signal);
  pending = signal;
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  ::sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking call (a write to a stalled encoder, a wait) returns EINTR, so the
  // run sees the signal at once.
  action.sa_flags = 0;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

void DeferInterrupts(bool defer) { deferring = defer ? 1 : 0; }

int PendingInterrupt() { return pending; }

void ResetInterrupts() {
  deferring = 0;
  pending = 0;
}
