#include "window/wx/ServerListArea.h"

#include <wx/dc.h>
#include <wx/thread.h>

#include <algorithm>

#include "patch/PatchEngine.h"
#include "window/LauncherLayout.h"
#include "window/wx/LauncherStaticCtrl.h"
#include "window/wx/SkinBitmaps.h"

namespace {

wxRect ToRect(const LayoutRect& rect) { return {rect.left, rect.top, rect.Width(), rect.Height()}; }

constexpr int kLastRowId = kIdFirstServerRow + LauncherWindow::kServerRows;

}  // namespace

ServerListArea::ServerListArea(wxWindow& window, PatchEngine& engine)
    : window_(window), engine_(engine), bar_(LoadSkinBitmap(kSelectionBarBitmap)) {
  for (int row = 0; row < kRows; ++row) CreateRow(row);
  CreateScrollBar();
  window_.Bind(wxEVT_MOUSEWHEEL, &ServerListArea::OnWheel, this);
  window_.Bind(wxEVT_BUTTON, &ServerListArea::OnRowClick, this, kIdFirstServerRow, kLastRowId);
  ShowRows(0);
}

void ServerListArea::CreateRow(int row) {
  auto label = [&](wxWindowID id, ServerRowColumns columns) {
    return new CLauncherStaticCtrl(&window_, id, ToRect(ServerRowRect(row, columns)), "");
  };
  // The texts come after the click area, so they lie above it; a click on either is the row's.
  clickAreas_[row] = label(kIdFirstServerRow + row, kServerRowArea);
  names_[row] = label(wxID_ANY, kServerRowName);
  latencies_[row] = label(wxID_ANY, kServerRowLatency);
  for (CLauncherStaticCtrl* part : {clickAreas_[row], names_[row], latencies_[row]}) {
    part->Bind(wxEVT_LEFT_UP, [this, row](wxMouseEvent& event) {
      wxCommandEvent click(wxEVT_BUTTON, kIdFirstServerRow + row);
      click.SetEventObject(clickAreas_[row]);
      window_.ProcessWindowEvent(click);
      event.Skip();
    });
    part->Bind(wxEVT_MOUSEWHEEL, &ServerListArea::OnWheel, this);
  }
}

void ServerListArea::CreateScrollBar() {
  const wxRect place = ToRect(kServerListScrollBarRect);
  scrollBar_ = new wxScrollBar(&window_, kIdServerListScrollBar, place.GetPosition(), place.GetSize(), wxSB_VERTICAL);
  for (const wxEventTypeTag<wxScrollEvent>& type :
       {wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM, wxEVT_SCROLL_LINEUP, wxEVT_SCROLL_LINEDOWN, wxEVT_SCROLL_PAGEUP,
        wxEVT_SCROLL_PAGEDOWN, wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED})
    scrollBar_->Bind(type, &ServerListArea::OnScroll, this);
  scrollBar_->Bind(wxEVT_MOUSEWHEEL, &ServerListArea::OnWheel, this);
}

// --- Any thread ---------------------------------------------------------------------------------

void ServerListArea::ShowRows(int firstRow) {
  if (!engine_.UsesServerList()) return;
  int top = firstRow < 0 ? top_.load() : firstRow;
  if (top > engine_.EntryCount()) top = 0;
  top_ = top;
  // The update thread needs the choice before its next step (an automatic start), not once the
  // rows are drawn.
  engine_.ChooseShownSelection(top, kRows);
  if (wxThread::IsMain())
    DrawRows();
  else
    rowsChanged_.Queue(link_, [this] { DrawRows(); });
}

void ServerListArea::ShowLatency(int row, int entryIndex, const std::string& text) {
  link_.Post([this, row, entryIndex, text] {
    // Scrolled or refreshed meanwhile: the row shows the entry's own latency already.
    if (row < 0 || row >= kRows || top_.load() + row != entryIndex) return;
    const std::optional<LoginServerEntry> entry = engine_.EntryAt(entryIndex);
    if (entry && LatencyText(entry->latencyMs) == text) latencies_[row]->SetText(text);
  });
}

// --- Main thread --------------------------------------------------------------------------------

void ServerListArea::DrawRows() {
  const int top = top_.load();
  const int count = engine_.EntryCount();
  // Positions 0 to count - 17: the last page ends with the last entry.
  scrollBar_->SetScrollbar(top, kRows, count, kRows);
  for (int row = 0; row < kRows; ++row) {
    const std::optional<LoginServerEntry> entry = engine_.EntryAt(top + row);
    names_[row]->SetText(entry ? entry->name : "");
    latencies_[row]->SetText(entry ? LatencyText(entry->latencyMs) : "");
    ShowBar(row, entry && entry->selected == 1);
  }
}

void ServerListArea::ShowBar(int row, bool shown) {
  if (barShown_[row] == shown) return;
  barShown_[row] = shown;
  // The bar is part of the skin that each of the row's controls paints behind itself.
  for (CLauncherStaticCtrl* part : {clickAreas_[row], names_[row], latencies_[row]}) part->Refresh();
}

void ServerListArea::DrawBars(wxDC& dc, const wxPoint& origin) const {
  if (!bar_.IsOk()) return;
  for (int row = 0; row < kRows; ++row) {
    if (!barShown_[row]) continue;
    const LayoutRect place = ServerRowRect(row, kServerRowArea);
    dc.DrawBitmap(bar_, place.left - origin.x, place.top - origin.y);
  }
}

void ServerListArea::ClearSelection() {
  engine_.ClearServerSelection();
  for (int row = 0; row < kRows; ++row) ShowBar(row, false);
}

void ServerListArea::OnRowClick(wxCommandEvent& event) {
  const int row = event.GetId() - kIdFirstServerRow;
  if (!engine_.UsesServerList() || row < 0 || row >= kRows) return;
  if (names_[row]->IsTextEmpty() || latencies_[row]->IsTextEmpty()) return;
  ClearSelection();
  engine_.SetLoginServer("");
  ShowBar(row, true);
  engine_.SelectEntry(top_.load() + row);
}

void ServerListArea::ScrollTo(int top) {
  const int clamped = std::clamp(top, 0, std::max(0, engine_.EntryCount() - kRows));
  scrollBar_->SetThumbPosition(clamped);
  if (clamped != top_.load()) ShowRows(clamped);
}

void ServerListArea::OnScroll(wxScrollEvent& event) {
  if (!engine_.UsesServerList()) return;
  // GTK has moved the bar already; while the list is replaced it goes back and nothing else happens.
  if (engine_.IsListLoading()) {
    scrollBar_->SetThumbPosition(top_.load());
    return;
  }
  const int top = top_.load();
  const wxEventType type = event.GetEventType();
  if (type == wxEVT_SCROLL_LINEUP)
    ScrollTo(top - 1);
  else if (type == wxEVT_SCROLL_LINEDOWN)
    ScrollTo(top + 1);
  else if (type == wxEVT_SCROLL_PAGEUP)
    ScrollTo(top - kRows);
  else if (type == wxEVT_SCROLL_PAGEDOWN)
    ScrollTo(top + kRows);
  else if (type == wxEVT_SCROLL_THUMBTRACK)
    ScrollTo(event.GetPosition());
  else
    scrollBar_->SetThumbPosition(top);  // the final thumb position and the rest leave the rows as they are
  event.Skip();
}

void ServerListArea::OnWheel(wxMouseEvent& event) {
  auto* source = wxDynamicCast(event.GetEventObject(), wxWindow);
  const bool fromWindow = !source || source == &window_;
  const wxPoint where =
      fromWindow ? event.GetPosition() : window_.ScreenToClient(source->ClientToScreen(event.GetPosition()));
  const bool overList = ToRect(kListPanelRect).Contains(where) || ToRect(kServerListScrollBarRect).Contains(where);
  // wxGTK hands a turn over a scroll bar on as a horizontal one, a turn up as one to the left.
  const bool scrollBarTurn = source == scrollBar_ && event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL;
  const bool vertical = scrollBarTurn || event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL;
  const int rotation = scrollBarTurn ? -event.GetWheelRotation() : event.GetWheelRotation();
  if (overList && vertical && engine_.UsesServerList() && !engine_.IsListLoading())
    ScrollTo(top_.load() + (rotation >= 0 ? -1 : 1));
  // The window's own handling goes on; the scroll bar's would move the bar by a step of its own.
  if (fromWindow) event.Skip();
}
