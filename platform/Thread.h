#pragma once
// A worker thread that can be created suspended, given a priority, resumed, waited for and asked
// whether it still runs. The engine's three workers are made this way.

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

enum class ThreadPriority { Lowest, Normal, Highest };

// Gives the calling thread `priority`, as far as the system grants it (lowest is nice 19 on POSIX).
void ApplyThreadPriority(ThreadPriority priority);

class Thread {
 public:
  // Creates the thread suspended: `body` starts only after Resume().
  explicit Thread(std::function<void()> body);
  ~Thread();  // waits for a resumed thread; a never-resumed thread is released without running
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Best effort: lowest is nice 19, highest the most the system grants. Takes effect when the
  // body starts; call before Resume().
  void SetPriority(ThreadPriority priority);
  void Resume();
  void Wait();
  // Waits at most `milliseconds` for the body to return; true when it is not running.
  bool WaitFor(uint32_t milliseconds);
  bool IsRunning() const;  // false before Resume() and after the body has returned
  bool IsCurrent() const;  // true when called from this thread

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
