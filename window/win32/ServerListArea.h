#pragma once
// The login server list of the China and USA layouts as Win32 controls: 17 rows of a click area,
// a name and a latency over the list panel, and a scroll bar. What the rows show and what a click,
// a scroll or a wheel turn does is ServerListView's.

#include <windows.h>

#include <array>
#include <string>

#include "window/ServerListView.h"
#include "window/win32/SkinControls.h"
#include "window/win32/UiThread.h"

namespace win32window {

class ServerListArea final : private ServerListSurface {
 public:
  ServerListArea(HWND window, const SkinSurface& skin, HFONT font, PatchEngine& engine, UiQueue& queue);
  ~ServerListArea() override;

  // --- Any thread -------------------------------------------------------------------------
  void ShowRows(int firstRow);
  int Top() const { return view_.Top(); }
  void ShowLatency(int row, int entryIndex, const std::string& text);

  // --- Window thread ----------------------------------------------------------------------
  // The window's WM_VSCROLL from the list's scroll bar; false when it came from elsewhere.
  bool OnScroll(HWND bar, WPARAM wParam);
  // The window's WM_MOUSEWHEEL.
  void OnWheel(WPARAM wParam, LPARAM lParam);
  // The selection bars, part of the skin behind the rows.
  void DrawBars(HDC dc, POINT origin) const;

 private:
  static constexpr int kRows = ServerListView::kRows;

  void SetRowName(int row, const std::string& text) override;
  void SetRowLatency(int row, const std::string& text) override;
  void RepaintRow(int row) override;
  void SetScrollBar(int position, int pageRows, int range) override;
  void SetThumbPosition(int position) override;

  HWND window_;
  UiQueue& queue_;
  HBITMAP bar_;
  HWND scrollBar_ = nullptr;
  std::array<CLauncherStaticCtrl, kRows> clickAreas_;
  std::array<CLauncherStaticCtrl, kRows> names_;
  std::array<CLauncherStaticCtrl, kRows> latencies_;
  ServerListView view_;
};

}  // namespace win32window
