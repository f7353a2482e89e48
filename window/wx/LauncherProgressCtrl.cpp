#include "window/wx/LauncherProgressCtrl.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/thread.h>

#include "window/ProgressFill.h"
#include "window/wx/SkinSurface.h"

const wxColour CLauncherProgressCtrl::kBackColour(255, 251, 242);
const wxColour CLauncherProgressCtrl::kFrameColour(0, 0, 0);
const wxColour CLauncherProgressCtrl::kBarColour(119, 77, 104);

namespace {

void Fill(wxImage& image, const wxRect& rect, const wxColour& colour) {
  const wxRect clipped = rect.Intersect(wxRect(image.GetSize()));
  if (!clipped.IsEmpty()) image.SetRGB(clipped, colour.Red(), colour.Green(), colour.Blue());
}

}  // namespace

CLauncherProgressCtrl::CLauncherProgressCtrl(wxWindow* parent, wxWindowID id, const wxRect& rect)
    : wxWindow(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CLauncherProgressCtrl::OnPaint, this);
}

int CLauncherProgressCtrl::SetPos(int value) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    pos_ = value;
  }
  if (wxThread::IsMain())
    Refresh();
  else
    repaint_.Queue(link_, [this] { Refresh(); });
  return value;
}

int CLauncherProgressCtrl::GetPos() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pos_;
}

void CLauncherProgressCtrl::SetRange(int lower, int upper) {
  std::lock_guard<std::mutex> guard(lock_);
  lower_ = lower;
  upper_ = upper;
}

void CLauncherProgressCtrl::GetRange(int& lower, int& upper) const {
  std::lock_guard<std::mutex> guard(lock_);
  lower = lower_;
  upper = upper_;
}

wxImage CLauncherProgressCtrl::ComposeBar(int width, int height, int pos, int lower, int upper) {
  const int w = width - 2;
  const int h = height - 2;
  if (w < 1 || h < 1) return {};
  wxImage picture(w, h);
  Fill(picture, wxRect(0, 0, w, h), kBackColour);
  const int fill = ProgressFillWidth(w, pos, lower, upper);
  if (fill > 0) Fill(picture, wxRect(0, 0, fill, h), kBarColour);
  // The frame runs along the picture's outer edge.
  Fill(picture, wxRect(0, 0, w, 1), kFrameColour);
  Fill(picture, wxRect(0, h - 1, w, 1), kFrameColour);
  Fill(picture, wxRect(0, 0, 1, h), kFrameColour);
  Fill(picture, wxRect(w - 1, 0, 1, h), kFrameColour);
  return picture;
}

void CLauncherProgressCtrl::OnPaint(wxPaintEvent&) {
  int pos, lower, upper;
  {
    std::lock_guard<std::mutex> guard(lock_);
    pos = pos_;
    lower = lower_;
    upper = upper_;
  }
  wxAutoBufferedPaintDC dc(this);
  // The outermost ring is left to the skin.
  PaintSkinBehind(*this, dc);
  const wxSize size = GetClientSize();
  const wxImage picture = ComposeBar(size.x, size.y, pos, lower, upper);
  if (picture.IsOk()) dc.DrawBitmap(wxBitmap(picture), 1, 1);
}
