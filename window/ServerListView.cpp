#include "window/ServerListView.h"

#include <algorithm>
#include <optional>

#include "patch/PatchEngine.h"
#include "window/LauncherLayout.h"

namespace {

bool Contains(const LayoutRect& rect, int x, int y) {
  return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

}  // namespace

bool ServerListView::ShowFrom(int firstRow) {
  if (!engine_.UsesServerList()) return false;
  int top = firstRow < 0 ? top_.load() : firstRow;
  if (top > engine_.EntryCount()) top = 0;
  top_ = top;
  // The update thread needs the choice before its next step (an automatic start), not once the
  // rows are drawn.
  engine_.ChooseShownSelection(top, kRows);
  return true;
}

void ServerListView::DrawRows() {
  const int top = top_.load();
  const int count = engine_.EntryCount();
  // Positions 0 to count - 17: the last page ends with the last entry.
  surface_.SetScrollBar(top, kRows, count);
  for (int row = 0; row < kRows; ++row) {
    const std::optional<LoginServerEntry> entry = engine_.EntryAt(top + row);
    names_[row] = entry ? entry->name : "";
    latencies_[row] = entry ? LatencyText(entry->latencyMs) : "";
    surface_.SetRowName(row, names_[row]);
    surface_.SetRowLatency(row, latencies_[row]);
    ShowBar(row, entry && entry->selected == 1);
  }
}

void ServerListView::ShowLatency(int row, int entryIndex, const std::string& text) {
  if (row < 0 || row >= kRows || top_.load() + row != entryIndex) return;
  const std::optional<LoginServerEntry> entry = engine_.EntryAt(entryIndex);
  if (!entry || LatencyText(entry->latencyMs) != text) return;
  latencies_[row] = text;
  surface_.SetRowLatency(row, text);
}

void ServerListView::ShowBar(int row, bool shown) {
  if (barShown_[row] == shown) return;
  barShown_[row] = shown;
  surface_.RepaintRow(row);
}

void ServerListView::ClearSelection() {
  engine_.ClearServerSelection();
  for (int row = 0; row < kRows; ++row) ShowBar(row, false);
}

void ServerListView::Click(int row) {
  if (!engine_.UsesServerList() || row < 0 || row >= kRows) return;
  if (names_[row].empty() || latencies_[row].empty()) return;
  ClearSelection();
  engine_.SetLoginServer("");
  ShowBar(row, true);
  engine_.SelectEntry(top_.load() + row);
}

void ServerListView::ScrollTo(int top) {
  const int clamped = std::clamp(top, 0, std::max(0, engine_.EntryCount() - kRows));
  surface_.SetThumbPosition(clamped);
  if (clamped != top_.load() && ShowFrom(clamped)) DrawRows();
}

bool ServerListView::Scrolled(Scroll how, int position) {
  if (!engine_.UsesServerList()) return false;
  const int top = top_.load();
  // The toolkit has moved the bar already; while the list is replaced it goes back and nothing
  // else happens.
  if (engine_.IsListLoading()) {
    surface_.SetThumbPosition(top);
    return false;
  }
  switch (how) {
    case Scroll::LineUp: ScrollTo(top - 1); break;
    case Scroll::LineDown: ScrollTo(top + 1); break;
    case Scroll::PageUp: ScrollTo(top - kRows); break;
    case Scroll::PageDown: ScrollTo(top + kRows); break;
    case Scroll::Track: ScrollTo(position); break;
    case Scroll::Other: surface_.SetThumbPosition(top); break;  // the final position and the rest leave the rows
  }
  return true;
}

void ServerListView::Wheel(int x, int y, bool vertical, bool up) {
  const bool overList = Contains(kListPanelRect, x, y) || Contains(kServerListScrollBarRect, x, y);
  if (overList && vertical && engine_.UsesServerList() && !engine_.IsListLoading())
    ScrollTo(top_.load() + (up ? -1 : 1));
}
