#include "window/wx/LauncherButtonCtrl.h"

#include <wx/dcclient.h>

CLauncherButtonCtrl::CLauncherButtonCtrl(wxWindow* parent, wxWindowID id, const wxPoint& position)
    : wxWindow(parent, id, position, wxDefaultSize, wxBORDER_NONE) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CLauncherButtonCtrl::OnPaint, this);
  Bind(wxEVT_ENTER_WINDOW, &CLauncherButtonCtrl::OnEnter, this);
  Bind(wxEVT_LEAVE_WINDOW, &CLauncherButtonCtrl::OnLeave, this);
  Bind(wxEVT_MOTION, &CLauncherButtonCtrl::OnMotion, this);
  Bind(wxEVT_LEFT_DOWN, &CLauncherButtonCtrl::OnLeftDown, this);
  Bind(wxEVT_LEFT_DCLICK, &CLauncherButtonCtrl::OnLeftDown, this);
  Bind(wxEVT_LEFT_UP, &CLauncherButtonCtrl::OnLeftUp, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) {
    held_ = false;
    Refresh();
  });
}

void CLauncherButtonCtrl::LoadBitmaps(const wxBitmap& normal, const wxBitmap& pressed, const wxBitmap& mouseOver,
                                      const wxBitmap& disabled) {
  normal_ = normal;
  pressed_ = pressed;
  mouseOver_ = mouseOver;
  disabled_ = disabled;
  if (normal_.IsOk()) SetSize(normal_.GetSize());
  Refresh();
}

bool CLauncherButtonCtrl::Enable(bool enable) {
  if (!wxWindow::Enable(enable)) return false;
  if (!enable) {
    held_ = false;
    tracking_ = false;
  }
  Refresh();
  return true;
}

// Pressed before mouse-over before disabled, each only where its picture exists; normal else.
const wxBitmap& CLauncherButtonCtrl::PictureToShow() const {
  if (held_ && tracking_ && pressed_.IsOk()) return pressed_;
  if (tracking_ && mouseOver_.IsOk()) return mouseOver_;
  if (!IsEnabled() && disabled_.IsOk()) return disabled_;
  return normal_;
}

void CLauncherButtonCtrl::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const wxBitmap& picture = PictureToShow();
  if (picture.IsOk()) dc.DrawBitmap(picture, 0, 0, true);
}

void CLauncherButtonCtrl::SetPointerOver(bool over) {
  if (over == tracking_) return;
  tracking_ = over;
  if (over)
    SetFocus();
  else if (GetParent() && !held_)
    GetParent()->SetFocus();
  Refresh();
}

void CLauncherButtonCtrl::OnEnter(wxMouseEvent& event) {
  SetPointerOver(true);
  event.Skip();
}

void CLauncherButtonCtrl::OnLeave(wxMouseEvent& event) {
  SetPointerOver(false);
  event.Skip();
}

// While the button holds the pointer, enter and leave are not reported: position decides.
void CLauncherButtonCtrl::OnMotion(wxMouseEvent& event) {
  SetPointerOver(wxRect(GetClientSize()).Contains(event.GetPosition()));
  event.Skip();
}

void CLauncherButtonCtrl::OnLeftDown(wxMouseEvent& event) {
  held_ = true;
  tracking_ = true;
  if (!HasCapture()) CaptureMouse();
  Refresh();
  event.Skip();
}

void CLauncherButtonCtrl::OnLeftUp(wxMouseEvent& event) {
  const bool clicked = held_ && wxRect(GetClientSize()).Contains(event.GetPosition());
  held_ = false;
  if (HasCapture()) ReleaseMouse();
  SetPointerOver(wxRect(GetClientSize()).Contains(event.GetPosition()));
  Refresh();
  if (clicked) {
    wxCommandEvent click(wxEVT_BUTTON, GetId());
    click.SetEventObject(this);
    ProcessWindowEvent(click);
  }
  event.Skip();
}
