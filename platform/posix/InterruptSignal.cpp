#include "platform/InterruptSignal.h"

#include <signal.h>

#include <atomic>
#include <cstring>

namespace platform {

namespace {

// Only a lock-free increment is safe inside a signal handler.
std::atomic<unsigned> interrupts{0};
static_assert(std::atomic<unsigned>::is_always_lock_free);

extern "C" void CountInterrupt(int) { interrupts.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

InterruptCatcher::InterruptCatcher() {
  auto* previous = new struct sigaction;
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = CountInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking wait returns early, so the interrupt is seen at once.
  action.sa_flags = 0;
  if (sigaction(SIGINT, &action, previous) == 0) {
    installed_ = true;
    previous_ = previous;
  } else {
    delete previous;
  }
}

InterruptCatcher::~InterruptCatcher() {
  if (!installed_) return;
  auto* previous = static_cast<struct sigaction*>(previous_);
  sigaction(SIGINT, previous, nullptr);
  delete previous;
}

unsigned InterruptCount() { return interrupts.load(std::memory_order_relaxed); }

}  // namespace platform
