#pragma once
// Work handed from any thread to the main thread on behalf of a window that may be gone by the
// time the work runs: the work is then dropped. Only the main thread touches GTK.

#include <wx/app.h>

#include <atomic>
#include <memory>
#include <utility>

class MainThreadLink {
 public:
  MainThreadLink() = default;
  // Runs on the main thread, in the owner's destruction: queued work is dropped from now on.
  ~MainThreadLink() { *alive_ = false; }
  MainThreadLink(const MainThreadLink&) = delete;
  MainThreadLink& operator=(const MainThreadLink&) = delete;

  // Queues `work` for the main thread. Any thread may call this while the owner lives.
  template <typename Work>
  void Post(Work work) const {
    if (!wxTheApp) return;
    wxTheApp->CallAfter([alive = alive_, work = std::move(work)]() mutable {
      if (*alive) work();
    });
  }

 private:
  // Read and written on the main thread only; the pointer itself is shared with queued work.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// At most one repaint of a control waits in the main thread's queue: a worker that reports
// progress faster than the screen is drawn queues nothing more until that repaint has run.
class RepaintRequest {
 public:
  template <typename Repaint>
  void Queue(const MainThreadLink& link, Repaint repaint) {
    if (queued_.exchange(true)) return;
    link.Post([this, repaint = std::move(repaint)]() mutable {
      queued_ = false;
      repaint();
    });
  }

 private:
  std::atomic<bool> queued_{false};
};
