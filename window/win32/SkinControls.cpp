#include "window/win32/SkinControls.h"

#include "platform/win32/WideText.h"
#include "window/ProgressFill.h"

namespace win32window {

namespace {

constexpr wchar_t kLabelClass[] = L"SolaneSkinLabel";
constexpr wchar_t kBarClass[] = L"SolaneSkinBar";

// The window classes of the skin's own controls, registered once per process.
bool RegisterSkinClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &windowClass)) return true;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  windowClass.lpszClassName = name;
  return RegisterClassExW(&windowClass) != 0;
}

// A memory picture the size of a client area, copied to the window in one go.
class OffscreenPicture {
 public:
  OffscreenPicture(HDC target, int width, int height)
      : target_(target), dc_(CreateCompatibleDC(target)), bitmap_(CreateCompatibleBitmap(target, width, height)),
        old_(SelectObject(dc_, bitmap_)), width_(width), height_(height) {}
  ~OffscreenPicture() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  OffscreenPicture(const OffscreenPicture&) = delete;
  OffscreenPicture& operator=(const OffscreenPicture&) = delete;
  HDC Dc() const { return dc_; }
  void CopyTo(int x, int y) const { BitBlt(target_, x, y, width_, height_, dc_, 0, 0, SRCCOPY); }

 private:
  HDC target_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  int width_;
  int height_;
};

void FillColor(HDC dc, const RECT& rect, COLORREF color) {
  // SetDCBrushColor's brush needs no freeing.
  SelectObject(dc, GetStockObject(DC_BRUSH));
  SetDCBrushColor(dc, color);
  FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// The rectangles were laid out for the narrow faces of another platform: a text too wide for
// `width` with the font selected in `dc` is drawn smaller, down to 7 points, before the drawing
// cuts it with an ellipsis. Null when the selected font fits (or is not ours to shrink).
HFONT FontThatFits(HDC dc, const std::wstring& text, int width) {
  auto tooWide = [&] {
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    return extent.cx > width;
  };
  LOGFONTW face{};
  if (!tooWide() || !GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof(face), &face) || face.lfHeight >= 0)
    return nullptr;
  const int smallest = -MulDiv(7, GetDeviceCaps(dc, LOGPIXELSY), 72);  // heights in pixels, negative
  HFONT smaller = nullptr;
  while (face.lfHeight < smallest && tooWide()) {
    ++face.lfHeight;
    HFONT next = CreateFontIndirectW(&face);
    if (!next) break;
    SelectObject(dc, next);
    if (smaller) DeleteObject(smaller);
    smaller = next;
  }
  return smaller;
}

}  // namespace

// --- Shared -------------------------------------------------------------------------------------

HBITMAP LoadSkinBitmap(int id) {
  return static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info)) return {0, 0};
  return {info.bmWidth, info.bmHeight};
}

void DrawCentred(HDC dc, HBITMAP bitmap, const LayoutRect& place) {
  const SIZE size = BitmapSize(bitmap);
  if (size.cx == 0 || place.Empty()) return;
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, bitmap);
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, place.left, place.top, place.right, place.bottom);
  BitBlt(dc, place.left + (place.Width() - size.cx) / 2, place.top + (place.Height() - size.cy) / 2, size.cx,
         size.cy, source, 0, 0, SRCCOPY);
  RestoreDC(dc, saved);
  SelectObject(source, old);
  DeleteDC(source);
}

bool SkinChild::CreateChild(const wchar_t* className, HWND parent, const SkinSurface& skin, const LayoutRect& rect,
                            int id) {
  if (!RegisterSkinClass(className, &SkinChild::Procedure)) return false;
  skin_ = &skin;
  hwnd_ = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect.left, rect.top, rect.Width(),
                          rect.Height(), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), this);
  return hwnd_ != nullptr;
}

SkinChild::~SkinChild() {
  if (!hwnd_) return;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

LRESULT CALLBACK SkinChild::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<SkinChild*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<SkinChild*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  const LRESULT result = self->OnMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

LRESULT SkinChild::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case kMsgRepaint:
      repaint_.Taken();
      InvalidateRect(hwnd_, nullptr, FALSE);
      UpdateWindow(hwnd_);
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

void SkinChild::PaintOverSkin(const std::function<void(HDC, const RECT&)>& draw) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  RECT client;
  GetClientRect(hwnd_, &client);
  POINT origin{0, 0};
  MapWindowPoints(hwnd_, GetParent(hwnd_), &origin, 1);
  {
    OffscreenPicture picture(dc, client.right, client.bottom);
    skin_->DrawSkin(picture.Dc(), origin);
    draw(picture.Dc(), client);
    picture.CopyTo(0, 0);
  }
  EndPaint(hwnd_, &paint);
}

// --- CLauncherStaticCtrl ------------------------------------------------------------------------

bool CLauncherStaticCtrl::Create(HWND parent, const SkinSurface& skin, const LayoutRect& rect, const std::string& text,
                                 HFONT font, int id) {
  text_ = platform::Widen(text);
  font_ = font;
  return CreateChild(kLabelClass, parent, skin, rect, id);
}

int CLauncherStaticCtrl::SetText(const std::string& text) {
  std::wstring wide = platform::Widen(text);
  {
    std::lock_guard<std::mutex> guard(textLock_);
    if (wide == text_) return 0;
    text_ = std::move(wide);
  }
  repaint_.Post(hwnd_);
  return 1;
}

std::string CLauncherStaticCtrl::Text() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return platform::Narrow(text_);
}

void CLauncherStaticCtrl::SetFormat(int flags) {
  format_ = flags;
  repaint_.Post(hwnd_);
}

LRESULT CLauncherStaticCtrl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintOverSkin([this](HDC dc, const RECT& client) {
        std::wstring text;
        {
          std::lock_guard<std::mutex> guard(textLock_);
          text = text_;
        }
        RECT area{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
        SelectObject(dc, font_);
        HFONT smaller = FontThatFits(dc, text, area.right - area.left);
        if (smaller) SelectObject(dc, smaller);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        // One line, as every label holds: the vertical centring takes effect only for one line.
        // No mnemonics: an "&" in a server's name is a letter like any other.
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                  static_cast<UINT>(format_.load()) | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        SelectObject(dc, font_);
        if (smaller) DeleteObject(smaller);
      });
      return 0;
    case WM_LBUTTONUP:
      if (linkedCheckBox_ && IsWindowEnabled(linkedCheckBox_)) {
        const bool checked = SendMessageW(linkedCheckBox_, BM_GETCHECK, 0, 0) == BST_CHECKED;
        SendMessageW(linkedCheckBox_, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
        SendMessageW(GetParent(hwnd_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(linkedCheckBox_), BN_CLICKED),
                     reinterpret_cast<LPARAM>(linkedCheckBox_));
      }
      if (clickAction_) clickAction_();
      return 0;
    default:
      return SkinChild::OnMessage(message, wParam, lParam);
  }
}

// --- CLauncherProgressCtrl ----------------------------------------------------------------------

bool CLauncherProgressCtrl::Create(HWND parent, const SkinSurface& skin, const LayoutRect& rect, int id) {
  return CreateChild(kBarClass, parent, skin, rect, id);
}

int CLauncherProgressCtrl::SetPos(int value) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    pos_ = value;
  }
  repaint_.Post(hwnd_);
  return value;
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

LRESULT CLauncherProgressCtrl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return SkinChild::OnMessage(message, wParam, lParam);
  Paint();
  return 0;
}

void CLauncherProgressCtrl::Paint() {
  int pos, lower, upper;
  {
    std::lock_guard<std::mutex> guard(lock_);
    pos = pos_;
    lower = lower_;
    upper = upper_;
  }
  // The outermost ring is the skin's; the bar's picture lies one pixel inside it.
  PaintOverSkin([&](HDC dc, const RECT& client) {
    const int w = client.right - 2;
    const int h = client.bottom - 2;
    if (w < 1 || h < 1) return;
    FillColor(dc, {1, 1, 1 + w, 1 + h}, kBackColor);
    const int fill = ProgressFillWidth(w, pos, lower, upper);
    if (fill > 0) FillColor(dc, {1, 1, 1 + fill, 1 + h}, kBarColor);
    HPEN pen = CreatePen(PS_SOLID, 1, kFrameColor);
    HGDIOBJ old = SelectObject(dc, pen);
    const POINT frame[] = {{1, 1}, {w, 1}, {w, h}, {1, h}, {1, 1}};
    Polyline(dc, frame, 5);
    SelectObject(dc, old);
    DeleteObject(pen);
  });
}

// --- CLauncherButtonCtrl ------------------------------------------------------------------------

CLauncherButtonCtrl::~CLauncherButtonCtrl() {
  for (HBITMAP bitmap : {normal_, pressed_, mouseOver_, disabled_})
    if (bitmap) DeleteObject(bitmap);
}

bool CLauncherButtonCtrl::Create(HWND parent, const LayoutButton& place) {
  normal_ = LoadSkinBitmap(place.NormalBitmap());
  pressed_ = LoadSkinBitmap(place.PressedBitmap());
  mouseOver_ = LoadSkinBitmap(place.MouseOverBitmap());
  disabled_ = LoadSkinBitmap(place.DisabledBitmap());
  const SIZE size = normal_ ? BitmapSize(normal_) : SIZE{place.rect.Width(), place.rect.Height()};
  hwnd_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_TABSTOP | BS_OWNERDRAW, place.rect.left, place.rect.top,
                          size.cx, size.cy, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(place.id)),
                          GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return false;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  buttonProcedure_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CLauncherButtonCtrl::Procedure)));
  return true;
}

HBITMAP CLauncherButtonCtrl::PictureFor(UINT state) const {
  if ((state & ODS_SELECTED) && pressed_) return pressed_;
  if ((state & ODS_FOCUS) && mouseOver_) return mouseOver_;
  if ((state & ODS_DISABLED) && disabled_) return disabled_;
  return normal_;
}

void CLauncherButtonCtrl::Draw(const DRAWITEMSTRUCT& item) const {
  HBITMAP picture = PictureFor(item.itemState);
  if (!picture) return;
  HDC source = CreateCompatibleDC(item.hDC);
  HGDIOBJ old = SelectObject(source, picture);
  const RECT& r = item.rcItem;
  BitBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

LRESULT CALLBACK CLauncherButtonCtrl::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CLauncherButtonCtrl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_MOUSEMOVE:
      if (!self->tracking_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 1};
        self->tracking_ = TrackMouseEvent(&track);
        SetFocus(hwnd);
      }
      break;
    case WM_MOUSELEAVE:
      self->tracking_ = FALSE;
      SetFocus(GetParent(hwnd));
      break;
    case WM_ERASEBKGND:
      return 0;
    case WM_GETDLGCODE: {
      // Return reaches the button itself, which takes it as a click.
      const auto* keyMessage = reinterpret_cast<const MSG*>(lParam);
      if (keyMessage && keyMessage->message == WM_KEYDOWN && keyMessage->wParam == VK_RETURN)
        return DLGC_WANTMESSAGE | DLGC_BUTTON;
      break;
    }
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == VK_RETURN) return 0;
      break;
    default:
      break;
  }
  return CallWindowProcW(self->buttonProcedure_, hwnd, message, wParam, lParam);
}

}  // namespace win32window
