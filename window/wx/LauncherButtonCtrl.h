#pragma once
// An image button drawn only by its pictures: normal, pressed, mouse-over and disabled. The
// mouse-over picture is the focus picture: it shows while the button has the keyboard focus,
// which the pointer over the button takes to it and leaving gives back to the window. Tab
// reaches the button; a click, Space or Return sends wxEVT_BUTTON with the button's id.

#include <wx/bitmap.h>
#include <wx/window.h>

class CLauncherButtonCtrl final : public wxWindow {
 public:
  CLauncherButtonCtrl(wxWindow* parent, wxWindowID id, const wxPoint& position);

  // The pictures by role; only `normal` is required (an invalid bitmap is an absent picture).
  // The button takes the size of the normal picture and keeps its position.
  void LoadBitmaps(const wxBitmap& normal, const wxBitmap& pressed, const wxBitmap& mouseOver,
                   const wxBitmap& disabled);

  bool Enable(bool enable = true) override;

 private:
  const wxBitmap& PictureToShow() const;
  void OnPaint(wxPaintEvent& event);
  void OnEnter(wxMouseEvent& event);
  void OnLeave(wxMouseEvent& event);
  void OnMotion(wxMouseEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnLeftUp(wxMouseEvent& event);
  void OnKeyDown(wxKeyEvent& event);
  void OnKeyUp(wxKeyEvent& event);
  void Click();
  void SetPointerOver(bool over);

  wxBitmap normal_;
  wxBitmap pressed_;
  wxBitmap mouseOver_;
  wxBitmap disabled_;
  bool tracking_ = false;  // the pointer is over the button
  bool held_ = false;      // the left button went down on it and is not yet released
  bool spaceHeld_ = false; // Space went down on it and is not yet released
};
