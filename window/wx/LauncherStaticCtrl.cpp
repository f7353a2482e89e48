#include "window/wx/LauncherStaticCtrl.h"

#include <wx/dcbuffer.h>
#include <wx/control.h>
#include <wx/dcclient.h>
#include <wx/thread.h>

#include "window/wx/SkinSurface.h"

namespace {

constexpr int kTextRight = 0x2;
constexpr int kTextCentre = 0x1;
constexpr int kTextVerticalCentre = 0x4;
constexpr int kTextBottom = 0x8;
constexpr double kSmallestPointSize = 7.0;  // smaller than this, a text that is too wide is shortened
constexpr double kTinyPointSize = 4.0;      // the floor for a line that is too tall
constexpr double kPointStep = 0.5;

int AlignmentOf(int format) {
  int alignment = format & kTextRight ? wxALIGN_RIGHT : format & kTextCentre ? wxALIGN_CENTER_HORIZONTAL : wxALIGN_LEFT;
  alignment |= format & kTextVerticalCentre ? wxALIGN_CENTER_VERTICAL : format & kTextBottom ? wxALIGN_BOTTOM : wxALIGN_TOP;
  return alignment;
}

}  // namespace

CLauncherStaticCtrl::CLauncherStaticCtrl(wxWindow* parent, wxWindowID id, const wxRect& rect, const std::string& text)
    : wxWindow(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE),
      text_(text) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CLauncherStaticCtrl::OnPaint, this);
  Bind(wxEVT_LEFT_UP, &CLauncherStaticCtrl::OnLeftUp, this);
}

int CLauncherStaticCtrl::SetText(const std::string& text) {
  {
    std::lock_guard<std::mutex> guard(textLock_);
    if (text == text_) return 0;
    text_ = text;
  }
  if (wxThread::IsMain()) {
    Refresh();
    Update();
  } else {
    repaint_.Queue(link_, [this] {
      Refresh();
      Update();
    });
  }
  return 1;
}

std::string CLauncherStaticCtrl::GetText() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return text_;
}

void CLauncherStaticCtrl::SetFormat(int flags) {
  format_ = flags;
  Refresh();
}

void CLauncherStaticCtrl::OnPaint(wxPaintEvent&) {
  // Composed off-screen so that the skin and the text reach the screen together.
  wxAutoBufferedPaintDC dc(this);
  PaintSkinBehind(*this, dc);
  const wxRect client(GetClientSize());
  const wxRect area = wxRect(client).Deflate(1);
  const wxString text = wxString::FromUTF8(GetText());
  // The rectangles were laid out for the narrow faces and the fixed text size of another
  // platform. A line taller than the label (a desktop's larger text scale) is drawn smaller until
  // it fits, so that no glyph loses its top or bottom; a text too wide is drawn smaller down to a
  // size still readable, and beyond that ends in an ellipsis, with the whole text as tooltip.
  wxFont font = GetFont();
  dc.SetFont(font);
  auto tooTall = [&] { return dc.GetCharHeight() > client.height; };
  auto tooWide = [&] { return dc.GetMultiLineTextExtent(text).x > area.width; };
  while ((font.GetFractionalPointSize() > kTinyPointSize && tooTall()) ||
         (font.GetFractionalPointSize() > kSmallestPointSize && tooWide())) {
    font.SetFractionalPointSize(font.GetFractionalPointSize() - kPointStep);
    dc.SetFont(font);
  }
  // No mnemonics: an "&" in a server's name is a letter like any other.
  const wxString shown =
      tooWide() ? wxControl::Ellipsize(text, dc, wxELLIPSIZE_END, area.width, wxELLIPSIZE_FLAGS_NONE) : text;
  const wxString tip = shown == text ? wxString() : text;
  if (tip != GetToolTipText()) {
    if (tip.empty())
      UnsetToolTip();
    else
      SetToolTip(tip);
  }
  // A line may use the one-pixel margin above and below the text rectangle.
  wxDCClipper clip(dc, client);
  dc.SetTextForeground(textColour_);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.DrawLabel(shown, area, AlignmentOf(format_.load()));
}

void CLauncherStaticCtrl::OnLeftUp(wxMouseEvent& event) {
  if (linkedCheckBox_ && linkedCheckBox_->IsEnabled()) {
    linkedCheckBox_->SetValue(!linkedCheckBox_->GetValue());
    // The box's own handlers learn of it as of a click on the box.
    wxCommandEvent changed(wxEVT_CHECKBOX, linkedCheckBox_->GetId());
    changed.SetEventObject(linkedCheckBox_);
    changed.SetInt(linkedCheckBox_->GetValue() ? 1 : 0);
    linkedCheckBox_->ProcessWindowEvent(changed);
  }
  event.Skip();
}
