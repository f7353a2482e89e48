#pragma once
// The login server list of the China and USA layouts in wx: 17 rows over the list panel, each a
// click area with the server's name and latency as skin labels, the selection bar under the
// selected row, and the scroll bar beside them. What the rows show and what clicks, the scroll
// bar and the wheel do is ServerListView's; this class creates the controls, draws and forwards.

#include <wx/bitmap.h>
#include <wx/scrolbar.h>

#include <array>
#include <string>

#include "patch/LauncherWindow.h"
#include "window/ServerListView.h"
#include "window/wx/MainThread.h"

class PatchEngine;
class CLauncherStaticCtrl;

class ServerListArea final : private ServerListSurface {
 public:
  // Creates the rows and the scroll bar as children of `window`, whose skin draws the
  // selection bars (DrawBars), and shows the rows from the top. Main thread.
  ServerListArea(wxWindow& window, PatchEngine& engine);
  ServerListArea(const ServerListArea&) = delete;
  ServerListArea& operator=(const ServerListArea&) = delete;

  // --- Any thread ---------------------------------------------------------------------------
  // Shows the entries from `firstRow` (negative: from the scroll position; beyond the list: from
  // the top). A stored selection among them becomes the chosen login server at once; the rows
  // are drawn on the main thread from the list as it is then.
  void ShowRows(int firstRow);
  // The index of the entry on the first row.
  int Top() const { return view_.Top(); }
  // The latency text of row `row`, drawn only if the row still shows entry `entryIndex` with
  // that latency when the main thread gets to it.
  void ShowLatency(int row, int entryIndex, const std::string& text);

  // --- Main thread --------------------------------------------------------------------------
  // No entry is selected any more and no row shows the selection bar.
  void ClearSelection();
  // The selection bars of the rows that show one, for the window's skin.
  void DrawBars(wxDC& dc, const wxPoint& origin) const;

 private:
  static constexpr int kRows = LauncherWindow::kServerRows;

  void CreateRow(int row);
  void CreateScrollBar();
  // --- ServerListSurface --------------------------------------------------------------------
  void SetRowName(int row, const std::string& text) override;
  void SetRowLatency(int row, const std::string& text) override;
  void RepaintRow(int row) override;
  void SetScrollBar(int position, int pageRows, int range) override;
  void SetThumbPosition(int position) override;
  void OnRowClick(wxCommandEvent& event);
  void OnScroll(wxScrollEvent& event);
  void OnWheel(wxMouseEvent& event);

  wxWindow& window_;
  const wxBitmap bar_;
  std::array<CLauncherStaticCtrl*, kRows> clickAreas_{};
  std::array<CLauncherStaticCtrl*, kRows> names_{};
  std::array<CLauncherStaticCtrl*, kRows> latencies_{};
  wxScrollBar* scrollBar_ = nullptr;
  ServerListView view_;
  RepaintRequest rowsChanged_;
  MainThreadLink link_;
};
