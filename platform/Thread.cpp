#include "platform/Thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/SignalStack.h"

namespace platform {

struct Thread::State {
  std::function<void()> body;
  std::atomic<ThreadPriority> priority{ThreadPriority::Normal};
  std::mutex lock;
  std::condition_variable resumed;
  std::condition_variable ended;
  bool go = false;
  bool abandon = false;
  std::atomic<bool> running{false};
  std::atomic<bool> finished{false};
  std::thread thread;
};

Thread::Thread(std::function<void()> body) : state_(std::make_shared<State>()) {
  state_->body = std::move(body);
  std::shared_ptr<State> state = state_;
  state_->thread = std::thread([state] {
    {
      std::unique_lock<std::mutex> guard(state->lock);
      state->resumed.wait(guard, [&] { return state->go || state->abandon; });
      if (state->abandon) {
        state->finished = true;
        return;
      }
    }
    ApplyThreadPriority(state->priority);
    GiveThreadSignalStack();  // a crash report even of this thread's stack overflow
    state->body();
    {
      std::lock_guard<std::mutex> guard(state->lock);
      state->running = false;
      state->finished = true;
    }
    state->ended.notify_all();
  });
}

Thread::~Thread() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->go) state_->abandon = true;
  }
  state_->resumed.notify_all();
  if (state_->thread.joinable()) {
    if (state_->thread.get_id() == std::this_thread::get_id())
      state_->thread.detach();
    else
      state_->thread.join();
  }
}

void Thread::SetPriority(ThreadPriority priority) { state_->priority = priority; }

void Thread::Resume() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (state_->go) return;
    state_->go = true;
    state_->running = true;
  }
  state_->resumed.notify_all();
}

void Thread::Wait() {
  if (IsCurrent()) return;
  std::unique_lock<std::mutex> guard(state_->lock);
  state_->ended.wait(guard, [&] { return !state_->running; });
}

bool Thread::WaitFor(uint32_t milliseconds) {
  if (IsCurrent()) return !state_->running;
  std::unique_lock<std::mutex> guard(state_->lock);
  return state_->ended.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return !state_->running; });
}

bool Thread::IsRunning() const { return state_->running; }

bool Thread::IsCurrent() const { return state_->thread.get_id() == std::this_thread::get_id(); }

}  // namespace platform
