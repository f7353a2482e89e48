#include "platform/InterruptSignal.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<unsigned> interrupts{0};

// Runs on a thread of the system's own; only Ctrl-C and Ctrl-Break are taken, closing the
// console still ends the program.
BOOL WINAPI CountInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupts.fetch_add(1, std::memory_order_relaxed);
  return TRUE;
}

}  // namespace

InterruptCatcher::InterruptCatcher() { installed_ = SetConsoleCtrlHandler(CountInterrupt, TRUE) != 0; }

InterruptCatcher::~InterruptCatcher() {
  if (installed_) SetConsoleCtrlHandler(CountInterrupt, FALSE);
}

unsigned InterruptCount() { return interrupts.load(std::memory_order_relaxed); }

}  // namespace platform
