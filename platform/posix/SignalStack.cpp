#include "platform/SignalStack.h"

#include <signal.h>
#include <sys/mman.h>

namespace platform {

namespace {

constexpr size_t kStackSize = 64 * 1024;

class ThreadSignalStack {
 public:
  ThreadSignalStack() {
    void* memory = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) return;
    stack_t alternate{};
    alternate.ss_sp = memory;
    alternate.ss_size = kStackSize;
    if (sigaltstack(&alternate, nullptr) == 0) memory_ = memory;
    else munmap(memory, kStackSize);
  }
  ~ThreadSignalStack() {
    if (!memory_) return;
    stack_t disabled{};
    disabled.ss_flags = SS_DISABLE;
    sigaltstack(&disabled, nullptr);
    munmap(memory_, kStackSize);
  }
  ThreadSignalStack(const ThreadSignalStack&) = delete;
  ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

 private:
  void* memory_ = nullptr;
};

}  // namespace

void GiveThreadSignalStack() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size >= kStackSize) return;
  static thread_local ThreadSignalStack stack;
}

}  // namespace platform
