#pragma once
// Work handed from any thread to the window's thread: queued, and announced to the window with a
// posted message that runs it there. Work queued once the window is gone is dropped.

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace win32window {

// Posted to the window whose queue holds work.
inline constexpr UINT kMsgRunQueued = WM_APP + 2;

class UiQueue {
 public:
  // The window that runs the work; null drops everything queued and everything to come.
  void Bind(HWND window) {
    std::lock_guard<std::mutex> guard(lock_);
    window_ = window;
    if (!window) work_.clear();
  }
  bool OnUiThread() const { return GetCurrentThreadId() == uiThread_; }

  void Post(std::function<void()> work) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!window_) return;
    work_.push_back(std::move(work));
    PostMessageW(window_, kMsgRunQueued, 0, 0);
  }

  // The window's kMsgRunQueued: runs what is queued now. Window thread.
  void RunQueued() {
    for (;;) {
      std::function<void()> work;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (work_.empty()) return;
        work = std::move(work_.front());
        work_.pop_front();
      }
      work();
    }
  }

 private:
  const DWORD uiThread_ = GetCurrentThreadId();
  std::mutex lock_;
  HWND window_ = nullptr;
  std::deque<std::function<void()>> work_;
};

}  // namespace win32window
