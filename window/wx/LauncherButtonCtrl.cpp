#include "window/wx/LauncherButtonCtrl.h"

#include <wx/dcclient.h>
#include <wx/dialog.h>

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
  Bind(wxEVT_KEY_DOWN, &CLauncherButtonCtrl::OnKeyDown, this);
  Bind(wxEVT_KEY_UP, &CLauncherButtonCtrl::OnKeyUp, this);
  for (const auto& type : {wxEVT_SET_FOCUS, wxEVT_KILL_FOCUS})
    Bind(type, [this](wxFocusEvent& event) {
      if (event.GetEventType() == wxEVT_KILL_FOCUS) spaceHeld_ = false;
      Refresh();
      event.Skip();
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
    spaceHeld_ = false;
    tracking_ = false;
  }
  Refresh();
  return true;
}

// Pressed before focus (mouse-over) before disabled, each only where its picture exists; normal
// else.
const wxBitmap& CLauncherButtonCtrl::PictureToShow() const {
  if (((held_ && tracking_) || spaceHeld_) && pressed_.IsOk()) return pressed_;
  if ((tracking_ || HasFocus()) && mouseOver_.IsOk()) return mouseOver_;
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
  if (over) {
    SetFocus();
  } else if (!held_) {
    // To the window itself: a dialog handed the focus would pass it on to a child, this
    // button among them.
    if (auto* dialog = dynamic_cast<wxDialog*>(GetParent()))
      dialog->SetFocusIgnoringChildren();
    else if (GetParent())
      GetParent()->SetFocus();
  }
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
  if (clicked) Click();
  event.Skip();
}

// Space presses the button and clicks on release, as the pointer does; Return clicks at once.
void CLauncherButtonCtrl::OnKeyDown(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_SPACE:
      if (!spaceHeld_) {
        spaceHeld_ = true;
        Refresh();
      }
      return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER: Click(); return;
    default: event.Skip();
  }
}

void CLauncherButtonCtrl::OnKeyUp(wxKeyEvent& event) {
  if (event.GetKeyCode() != WXK_SPACE || !spaceHeld_) return event.Skip();
  spaceHeld_ = false;
  Refresh();
  Click();
}

void CLauncherButtonCtrl::Click() {
  if (!IsEnabled()) return;
  wxCommandEvent click(wxEVT_BUTTON, GetId());
  click.SetEventObject(this);
  ProcessWindowEvent(click);
}
