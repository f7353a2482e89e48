#include "window/win32/ServerListArea.h"

#include <windowsx.h>

#include "window/LauncherLayout.h"

namespace win32window {

ServerListArea::ServerListArea(HWND window, const SkinSurface& skin, HFONT font, PatchEngine& engine,
                               UiQueue& queue)
    : window_(window), queue_(queue), bar_(LoadSkinBitmap(kSelectionBarBitmap)), view_(engine, *this) {
  for (int row = 0; row < kRows; ++row) {
    // A click on the area or on either text is the row's.
    clickAreas_[row].Create(window, skin, ServerRowRect(row, kServerRowArea), "", font, kIdFirstServerRow + row);
    names_[row].Create(window, skin, ServerRowRect(row, kServerRowName), "", font);
    latencies_[row].Create(window, skin, ServerRowRect(row, kServerRowLatency), "", font);
    // The texts lie above the click area, which paints only where they leave it uncovered.
    SetWindowPos(clickAreas_[row].Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (CLauncherStaticCtrl* part : {&clickAreas_[row], &names_[row], &latencies_[row]})
      part->SetClickAction([this, row] { view_.Click(row); });
  }
  const LayoutRect& place = kServerListScrollBarRect;
  scrollBar_ = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | WS_VISIBLE | SBS_VERT, place.left, place.top,
                               place.Width(), place.Height(), window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdServerListScrollBar)),
                               GetModuleHandleW(nullptr), nullptr);
  ShowRows(0);
}

ServerListArea::~ServerListArea() {
  if (bar_) DeleteObject(bar_);
}

// --- Any thread ---------------------------------------------------------------------------------

void ServerListArea::ShowRows(int firstRow) {
  if (!view_.ShowFrom(firstRow)) return;
  if (queue_.OnUiThread())
    view_.DrawRows();
  else
    queue_.Post([this] { view_.DrawRows(); });
}

void ServerListArea::ShowLatency(int row, int entryIndex, const std::string& text) {
  queue_.Post([this, row, entryIndex, text] { view_.ShowLatency(row, entryIndex, text); });
}

// --- Window thread ------------------------------------------------------------------------------

void ServerListArea::SetRowName(int row, const std::string& text) { names_[row].SetText(text); }
void ServerListArea::SetRowLatency(int row, const std::string& text) { latencies_[row].SetText(text); }

void ServerListArea::RepaintRow(int row) {
  // The bar is part of the skin that each of the row's controls paints behind itself.
  for (CLauncherStaticCtrl* part : {&clickAreas_[row], &names_[row], &latencies_[row]})
    InvalidateRect(part->Handle(), nullptr, FALSE);
}

void ServerListArea::SetScrollBar(int position, int pageRows, int range) {
  SCROLLINFO info{sizeof(info), SIF_ALL | SIF_DISABLENOSCROLL, 0, range - 1, static_cast<UINT>(pageRows), position, 0};
  SetScrollInfo(scrollBar_, SB_CTL, &info, TRUE);
}

void ServerListArea::SetThumbPosition(int position) {
  SCROLLINFO info{sizeof(info), SIF_POS, 0, 0, 0, position, 0};
  SetScrollInfo(scrollBar_, SB_CTL, &info, TRUE);
}

bool ServerListArea::OnScroll(HWND bar, WPARAM wParam) {
  if (bar != scrollBar_) return false;
  using Scroll = ServerListView::Scroll;
  Scroll how = Scroll::Other;
  switch (LOWORD(wParam)) {
    case SB_LINEUP: how = Scroll::LineUp; break;
    case SB_LINEDOWN: how = Scroll::LineDown; break;
    case SB_PAGEUP: how = Scroll::PageUp; break;
    case SB_PAGEDOWN: how = Scroll::PageDown; break;
    case SB_THUMBTRACK: how = Scroll::Track; break;
    default: break;  // the final position and the rest leave the rows where they are
  }
  // The 16-bit position of the message would cut a long list; the bar keeps the whole one.
  SCROLLINFO info{sizeof(info), SIF_TRACKPOS, 0, 0, 0, 0, 0};
  GetScrollInfo(scrollBar_, SB_CTL, &info);
  view_.Scrolled(how, info.nTrackPos);
  return true;
}

void ServerListArea::OnWheel(WPARAM wParam, LPARAM lParam) {
  POINT where{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};  // screen pixels
  ScreenToClient(window_, &where);
  view_.Wheel(where.x, where.y, true, GET_WHEEL_DELTA_WPARAM(wParam) > 0);
}

void ServerListArea::DrawBars(HDC dc, POINT origin) const {
  if (!bar_) return;
  for (int row = 0; row < kRows; ++row) {
    if (!view_.BarShown(row)) continue;
    const LayoutRect place = ServerRowRect(row, kServerRowArea).Moved(-origin.x, -origin.y);
    DrawCentred(dc, bar_, {place.left, place.top, place.left + BitmapSize(bar_).cx, place.top + BitmapSize(bar_).cy});
  }
}

}  // namespace win32window
