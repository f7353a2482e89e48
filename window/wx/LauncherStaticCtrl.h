#pragma once
// A text label drawn over the window's skin: no background of its own, black text in the
// window's font, and a click on it toggles the check box it is linked to.

#include <wx/checkbox.h>
#include <wx/window.h>

#include <atomic>
#include <mutex>
#include <string>

#include "window/wx/MainThread.h"

class CLauncherStaticCtrl final : public wxWindow {
 public:
  CLauncherStaticCtrl(wxWindow* parent, wxWindowID id, const wxRect& rect, const std::string& text);

  // Any thread. 1 when the text changed (the label is repainted on the main thread), 0 when it
  // equals the text shown: then nothing is repainted or queued.
  int SetText(const std::string& text);
  std::string GetText() const;
  bool IsTextEmpty() const { return GetText().empty(); }

  // Text-drawing flags: 4 left-aligned, 6 right-aligned, both vertically centred.
  void SetFormat(int flags);
  // A click on the label toggles `box` as a click on the box would. Main thread.
  void SetLinkedCheckBox(wxCheckBox* box) { linkedCheckBox_ = box; }

  bool AcceptsFocus() const override { return false; }

 private:
  void OnPaint(wxPaintEvent& event);
  void OnLeftUp(wxMouseEvent& event);

  mutable std::mutex textLock_;
  std::string text_;
  std::atomic<int> format_{4};
  wxCheckBox* linkedCheckBox_ = nullptr;
  wxColour textColour_{0, 0, 0};
  RepaintRequest repaint_;
  MainThreadLink link_;
};
