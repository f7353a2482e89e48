#pragma once
// A flat progress bar in fixed colours over the window's skin: a black frame around a filled
// part and an empty part, inside a one-pixel ring that shows the skin.

#include <wx/colour.h>
#include <wx/image.h>
#include <wx/window.h>

#include <mutex>

#include "window/wx/MainThread.h"

class CLauncherProgressCtrl final : public wxWindow {
 public:
  static const wxColour kBackColour;   // the empty part
  static const wxColour kFrameColour;  // the frame line
  static const wxColour kBarColour;    // the filled part

  CLauncherProgressCtrl(wxWindow* parent, wxWindowID id, const wxRect& rect);

  // Any thread. Stores the position and repaints the bar on the main thread; returns it.
  int SetPos(int value);
  int GetPos() const;
  // Any thread. Stores the range; the bar shows it at the next repaint.
  void SetRange(int lower, int upper);
  void GetRange(int& lower, int& upper) const;

  bool AcceptsFocus() const override { return false; }

  // The picture the bar copies to (1, 1) for a client area of `width` x `height` pixels: the
  // fill is the integer part of (width - 2) / 100 x percent, with percent = (pos - lower) /
  // ((upper - lower) / 100), unclamped. Empty when the area is smaller than 3 x 3.
  static wxImage ComposeBar(int width, int height, int pos, int lower, int upper);

 private:
  void OnPaint(wxPaintEvent& event);

  mutable std::mutex lock_;
  int pos_ = 0;
  int lower_ = 0;
  int upper_ = 0;
  RepaintRequest repaint_;
  MainThreadLink link_;
};
