#include "window/wx/ServerListArea.h"

#include <wx/dc.h>
#include <wx/thread.h>

#include "window/LauncherLayout.h"
#include "window/wx/LauncherStaticCtrl.h"
#include "window/wx/SkinBitmaps.h"

namespace {

wxRect ToRect(const LayoutRect& rect) { return {rect.left, rect.top, rect.Width(), rect.Height()}; }

constexpr int kLastRowId = kIdFirstServerRow + LauncherWindow::kServerRows;

}  // namespace

ServerListArea::ServerListArea(wxWindow& window, PatchEngine& engine)
    : window_(window), bar_(LoadSkinBitmap(kSelectionBarBitmap)), view_(engine, *this) {
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
  if (!view_.ShowFrom(firstRow)) return;
  if (wxThread::IsMain())
    view_.DrawRows();
  else
    rowsChanged_.Queue(link_, [this] { view_.DrawRows(); });
}

void ServerListArea::ShowLatency(int row, int entryIndex, const std::string& text) {
  link_.Post([this, row, entryIndex, text] { view_.ShowLatency(row, entryIndex, text); });
}

// --- Main thread --------------------------------------------------------------------------------

void ServerListArea::SetRowName(int row, const std::string& text) { names_[row]->SetText(text); }
void ServerListArea::SetRowLatency(int row, const std::string& text) { latencies_[row]->SetText(text); }
void ServerListArea::SetThumbPosition(int position) { scrollBar_->SetThumbPosition(position); }
void ServerListArea::SetScrollBar(int position, int pageRows, int range) {
  scrollBar_->SetScrollbar(position, pageRows, range, pageRows);
}

void ServerListArea::RepaintRow(int row) {
  // The bar is part of the skin that each of the row's controls paints behind itself.
  for (CLauncherStaticCtrl* part : {clickAreas_[row], names_[row], latencies_[row]}) part->Refresh();
}

void ServerListArea::DrawBars(wxDC& dc, const wxPoint& origin) const {
  if (!bar_.IsOk()) return;
  for (int row = 0; row < kRows; ++row) {
    if (!view_.BarShown(row)) continue;
    const LayoutRect place = ServerRowRect(row, kServerRowArea);
    dc.DrawBitmap(bar_, place.left - origin.x, place.top - origin.y);
  }
}

void ServerListArea::ClearSelection() { view_.ClearSelection(); }

void ServerListArea::OnRowClick(wxCommandEvent& event) { view_.Click(event.GetId() - kIdFirstServerRow); }

void ServerListArea::OnScroll(wxScrollEvent& event) {
  using Scroll = ServerListView::Scroll;
  const wxEventType type = event.GetEventType();
  const Scroll how = type == wxEVT_SCROLL_LINEUP       ? Scroll::LineUp
                     : type == wxEVT_SCROLL_LINEDOWN   ? Scroll::LineDown
                     : type == wxEVT_SCROLL_PAGEUP     ? Scroll::PageUp
                     : type == wxEVT_SCROLL_PAGEDOWN   ? Scroll::PageDown
                     : type == wxEVT_SCROLL_THUMBTRACK ? Scroll::Track
                                                       : Scroll::Other;
  if (view_.Scrolled(how, event.GetPosition())) event.Skip();
}

void ServerListArea::OnWheel(wxMouseEvent& event) {
  auto* source = wxDynamicCast(event.GetEventObject(), wxWindow);
  const bool fromWindow = !source || source == &window_;
  const wxPoint where =
      fromWindow ? event.GetPosition() : window_.ScreenToClient(source->ClientToScreen(event.GetPosition()));
  // wxGTK hands a turn over a scroll bar on as a horizontal one, a turn up as one to the left.
  const bool scrollBarTurn = source == scrollBar_ && event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL;
  const bool vertical = scrollBarTurn || event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL;
  const int rotation = scrollBarTurn ? -event.GetWheelRotation() : event.GetWheelRotation();
  view_.Wheel(where.x, where.y, vertical, rotation >= 0);
  // The window's own handling goes on; the scroll bar's would move the bar by a step of its own.
  if (fromWindow) event.Skip();
}
