#include "window/win32/Win32MessageBox.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/win32/WideText.h"
#include "window/WindowFlow.h"

namespace win32window {

namespace {

// The box that the system creates inside MessageBoxIndirectW, caught as it is created so that an
// ending window can dismiss it. Window thread.
thread_local HWND* boxBeingCreated = nullptr;

LRESULT CALLBACK CatchBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && boxBeingCreated && !*boxBeingCreated) {
    wchar_t className[16] = {};
    GetClassNameW(reinterpret_cast<HWND>(wParam), className, 16);
    if (std::wstring(className) == L"#32770") *boxBeingCreated = reinterpret_cast<HWND>(wParam);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int ShowBoxOnUiThread(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type,
                      int iconResource) {
  HWND box = nullptr;
  HWND* const outer = boxBeingCreated;
  boxBeingCreated = &box;
  HHOOK hook = SetWindowsHookExW(WH_CBT, &CatchBox, nullptr, GetCurrentThreadId());
  // A window that ends while the box is open gives the box its safe answer.
  const OpenBoxes::Entry open = MainThreadBoxes().Opened([&box, type] {
    if (box) PostMessageW(box, WM_COMMAND, MAKEWPARAM(platform::UnattendedAnswer(type), BN_CLICKED), 0);
  });
  MSGBOXPARAMSW params{};
  params.cbSize = sizeof(params);
  params.hwndOwner = owner;
  params.hInstance = GetModuleHandleW(nullptr);
  params.lpszText = text.c_str();
  params.lpszCaption = caption.c_str();
  params.dwStyle = type;
  if (iconResource != 0) {
    params.dwStyle = (type & ~MB_ICONMASK) | MB_USERICON;
    params.lpszIcon = MAKEINTRESOURCEW(iconResource);
  }
  const int answer = MessageBoxIndirectW(&params);
  if (hook) UnhookWindowsHookEx(hook);
  boxBeingCreated = outer;
  // The system's results are the values the engine compares with (IDOK 1, IDCANCEL 2...).
  return answer == 0 ? platform::UnattendedAnswer(type) : answer;
}

int ShowPlainBox(const std::wstring& text, const std::wstring& caption, UINT type) {
  const int answer = MessageBoxW(nullptr, text.c_str(), caption.c_str(), type | MB_SETFOREGROUND);
  return answer == 0 ? platform::UnattendedAnswer(type) : answer;
}

namespace {

// How often a worker waiting for its box looks whether the window's thread still takes messages.
constexpr int kHungCheckEvery = 20;  // waits of 50 ms
// How long the window's thread may take to answer before it counts as stopped.
constexpr UINT kHungAfterMs = 5000;

class Win32MessageBox final : public platform::MessageBoxProvider {
 public:
  Win32MessageBox(HWND owner, UiQueue& queue, std::function<bool()> released)
      : owner_(owner), queue_(queue), released_(std::move(released)) {}

  int Show(const std::string& text, const std::string& caption, unsigned type) override {
    const std::wstring wideText = platform::Widen(text);
    const std::wstring wideCaption = platform::Widen(caption);
    if (queue_.OnUiThread()) return ShowBoxOnUiThread(owner_, wideText, wideCaption, type);

    // Shared by the worker and the window's thread.
    struct Ask {
      std::mutex lock;
      std::condition_variable answered;
      bool done = false;
      bool abandoned = false;
      int result = 0;
    };
    auto ask = std::make_shared<Ask>();
    HWND owner = owner_;
    queue_.Post([ask, owner, wideText, wideCaption, type] {
      {
        std::lock_guard<std::mutex> guard(ask->lock);
        if (ask->abandoned) return;
      }
      const int result = ShowBoxOnUiThread(owner, wideText, wideCaption, type);
      std::lock_guard<std::mutex> guard(ask->lock);
      ask->result = result;
      ask->done = true;
      ask->answered.notify_all();
    });
    std::unique_lock<std::mutex> guard(ask->lock);
    for (int waits = 1; !ask->done; ++waits) {
      if (released_ && released_()) {
        // Nobody is left to answer: a box not yet shown never appears.
        ask->abandoned = true;
        return platform::UnattendedAnswer(type);
      }
      ask->answered.wait_for(guard, std::chrono::milliseconds(50));
      if (ask->done || waits % kHungCheckEvery != 0) continue;
      // A window's thread that takes no messages (stopped in the crash report's filter, say)
      // would never show the box: this thread shows it, without an owner. The check asks the
      // window's thread, which may be waiting for this lock, so it runs without it.
      guard.unlock();
      DWORD_PTR ignored = 0;
      const bool hung = SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kHungAfterMs, &ignored) == 0;
      guard.lock();
      if (hung && !ask->done) {
        ask->abandoned = true;
        guard.unlock();
        return ShowPlainBox(wideText, wideCaption, type);
      }
    }
    return ask->result;
  }

 private:
  HWND owner_;
  UiQueue& queue_;
  std::function<bool()> released_;
};

}  // namespace

std::shared_ptr<platform::MessageBoxProvider> MakeWin32MessageBox(HWND owner, UiQueue& queue,
                                                                  std::function<bool()> released) {
  return std::make_shared<Win32MessageBox>(owner, queue, std::move(released));
}

}  // namespace win32window
