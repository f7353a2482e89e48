// The window's boxes when the window's thread takes no messages, as when a crash stopped it in the
// crash report's filter while the report's thread asks its question: the box still shows.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "window/win32/Win32MessageBox.h"

namespace {

TEST(Win32MessageBoxTest, AWorkersBoxShowsWhileTheWindowsThreadIsStopped) {
  HANDLE resume = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<HWND> window{nullptr};
  win32window::UiQueue* queue = nullptr;
  std::atomic<bool> stopped{false};
  std::thread windowThread([&] {
    win32window::UiQueue ownQueue;
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"stopped window", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ownQueue.Bind(hwnd);
    queue = &ownQueue;
    window = hwnd;
    // Stopped without taking a message, until the test lets it go on.
    stopped = true;
    WaitForSingleObject(resume, INFINITE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.hwnd == hwnd && message.message == win32window::kMsgRunQueued) ownQueue.RunQueued();
      DispatchMessageW(&message);
    }
    ownQueue.Bind(nullptr);
    DestroyWindow(hwnd);
  });
  while (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(10));

  // The player's OK, given to whichever box appears.
  std::atomic<bool> answering{true};
  std::thread player([&] {
    while (answering) {
      if (HWND box = FindWindowW(L"#32770", L"Crash report")) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::atomic<int> answer{0};
  std::thread worker([&] {
    answer = win32window::MakeWin32MessageBox(window, *queue, nullptr)->Show("The launcher crashed.", "Crash report", MB_OK);
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (answer == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(answer.load(), IDOK) << "no box while the window's thread was stopped";

  SetEvent(resume);
  worker.join();
  answering = false;
  player.join();
  windowThread.join();
  CloseHandle(resume);
}

}  // namespace
