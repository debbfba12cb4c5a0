// Interrupts on Windows: Ctrl+C and Ctrl+Break arrive as SIGINT, closing the console or ending
// the session as SIGTERM; the console handler runs on a thread of its own.
#include "platform/Interrupts.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<int> deferring{0};
std::atomic<int> pending{0};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
  if (!deferring || pending) {
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(128 + signal));
  }
  pending = signal;
  // Closing the console ends the process when the handler returns: give the run its time to
  // stop and clean up first.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    ::Sleep(4000);
  return TRUE;
}

}  // namespace

void CatchInterrupts() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void DeferInterrupts(bool defer) { deferring = defer ? 1 : 0; }

int PendingInterrupt() { return pending; }

void ResetInterrupts() {
  deferring = 0;
  pending = 0;
}
