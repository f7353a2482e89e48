#pragma once
// The login server list of the China and USA layouts, whatever toolkit draws it: which entries
// the 17 rows show from the scroll position, which row shows the selection bar, what a click on a
// row, a move of the scroll bar and a turn of the wheel do. The selected entry is the engine's,
// an index under its list lock: a merge on the update thread never leaves the window holding an
// entry that is gone. The toolkit's controls are reached through ServerListSurface.

#include <array>
#include <atomic>
#include <string>

#include "patch/LauncherWindow.h"

class PatchEngine;

// The rows' controls and the scroll bar as a toolkit draws them. Window thread only.
class ServerListSurface {
 public:
  virtual ~ServerListSurface() = default;
  virtual void SetRowName(int row, const std::string& text) = 0;
  virtual void SetRowLatency(int row, const std::string& text) = 0;
  // The row's selection bar was shown or hidden: the row is to be drawn again.
  virtual void RepaintRow(int row) = 0;
  // The bar's thumb at `position` over positions 0 to `range` - `pageRows`.
  virtual void SetScrollBar(int position, int pageRows, int range) = 0;
  virtual void SetThumbPosition(int position) = 0;
};

class ServerListView {
 public:
  static constexpr int kRows = LauncherWindow::kServerRows;

  // How the player moved the scroll bar.
  enum class Scroll { LineUp, LineDown, PageUp, PageDown, Track, Other };

  ServerListView(PatchEngine& engine, ServerListSurface& surface) : engine_(engine), surface_(surface) {}

  // --- Any thread ---------------------------------------------------------------------------
  // The rows are to show the entries from `firstRow` (negative: from the scroll position; beyond
  // the list: from the top). A stored selection among them becomes the chosen login server at
  // once. False when the locale has no list: there is nothing to draw.
  bool ShowFrom(int firstRow);
  // The index of the entry on the first row.
  int Top() const { return top_.load(); }

  // --- Window thread ------------------------------------------------------------------------
  // Draws the rows from the list as it is now.
  void DrawRows();
  // The latency text of row `row`, drawn only if the row still shows entry `entryIndex` with
  // that latency (a row scrolled or refreshed meanwhile shows the entry's own latency already).
  void ShowLatency(int row, int entryIndex, const std::string& text);
  // A click on row `row` (its area, name or latency): a row with a name and a latency becomes
  // the only selected one and its server the chosen login server.
  void Click(int row);
  // The player moved the scroll bar (to `position` when tracking the thumb). False when the move
  // was refused (no list, or the list is being replaced) and the bar was put back.
  bool Scrolled(Scroll how, int position);
  // A turn of the wheel at (x, y) in the window's client pixels, up when `up`; only a vertical
  // turn over the list panel or its scroll bar moves the rows, one per notch.
  void Wheel(int x, int y, bool vertical, bool up);
  // No entry is selected any more and no row shows the selection bar.
  void ClearSelection();
  bool BarShown(int row) const { return row >= 0 && row < kRows && barShown_[row]; }

 private:
  void ShowBar(int row, bool shown);
  void ScrollTo(int top);

  PatchEngine& engine_;
  ServerListSurface& surface_;
  std::atomic<int> top_{0};
  // What the rows show; window thread.
  std::array<bool, kRows> barShown_{};
  std::array<std::string, kRows> names_{};
  std::array<std::string, kRows> latencies_{};
};
