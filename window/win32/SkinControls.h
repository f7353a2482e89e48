#pragma once
// The skin controls of the Windows window, in Win32 and GDI: a label that shows the skin behind
// its text, a flat progress bar in fixed colours and an owner-drawn image button. Their setters
// may be called from any thread: they store the value and post the repaint to the window's
// thread, which alone paints (at most one repaint of a control waits in the queue).

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "window/LauncherLayout.h"

namespace win32window {

// Posted to a skin control: paint it again with the values it holds now.
inline constexpr UINT kMsgRepaint = WM_APP + 1;

// The window under the controls: draws its skin so that the window's point `origin` lands at
// the device context's (0, 0).
class SkinSurface {
 public:
  virtual ~SkinSurface() = default;
  virtual void DrawSkin(HDC dc, POINT origin) const = 0;
};

// Posts kMsgRepaint unless one is waiting already.
class RepaintRequest {
 public:
  void Post(HWND control) {
    if (control && !queued_.exchange(true)) PostMessageW(control, kMsgRepaint, 0, 0);
  }
  void Taken() { queued_ = false; }

 private:
  std::atomic<bool> queued_{false};
};

// A child window of one of the classes below, with its object in the window's user data.
class SkinChild {
 public:
  SkinChild() = default;
  SkinChild(const SkinChild&) = delete;
  SkinChild& operator=(const SkinChild&) = delete;
  // Destroys the control's window first (window thread), so no message reaches a gone object.
  virtual ~SkinChild();
  HWND Handle() const { return hwnd_; }

 protected:
  bool CreateChild(const wchar_t* className, HWND parent, const SkinSurface& skin, const LayoutRect& rect, int id);
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // The control's picture: the skin behind it, then what `draw` paints over it, reaching the
  // screen in one copy.
  void PaintOverSkin(const std::function<void(HDC, const RECT&)>& draw);
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  const SkinSurface* skin_ = nullptr;
  RepaintRequest repaint_;
};

// A text label with a transparent background. A click on it toggles its linked check box (which
// then tells its parent as a click on the box would) and runs its click action.
class CLauncherStaticCtrl final : public SkinChild {
 public:
  bool Create(HWND parent, const SkinSurface& skin, const LayoutRect& rect, const std::string& text, HFONT font,
              int id = 0);
  // 0 when the label shows `text` already (nothing is repainted), else 1. Any thread.
  int SetText(const std::string& text);
  std::string Text() const;
  void SetFormat(int flags);
  void SetLinkedCheckBox(HWND box) { linkedCheckBox_ = box; }
  void SetClickAction(std::function<void()> action) { clickAction_ = std::move(action); }

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  mutable std::mutex textLock_;
  std::wstring text_;
  std::atomic<int> format_{kTextFormatLeft};
  HFONT font_ = nullptr;
  HWND linkedCheckBox_ = nullptr;
  std::function<void()> clickAction_;
};

// A flat progress bar: the fill from the left in proportion to the position in the range, in a
// black frame, one pixel inside the control's rectangle.
class CLauncherProgressCtrl final : public SkinChild {
 public:
  static constexpr COLORREF kBackColor = RGB(255, 251, 242);
  static constexpr COLORREF kFrameColor = RGB(0, 0, 0);
  static constexpr COLORREF kBarColor = RGB(119, 77, 104);

  bool Create(HWND parent, const SkinSurface& skin, const LayoutRect& rect, int id);
  // Any thread.
  int SetPos(int value);
  void SetRange(int lower, int upper);
  void GetRange(int& lower, int& upper) const;

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Paint();

  mutable std::mutex lock_;
  int pos_ = 0;
  int lower_ = 0;
  int upper_ = 0;
};

// An owner-drawn push button showing one of four pictures. The pointer over the button gives it
// the keyboard focus, so the focus picture serves as the mouse-over picture; leaving gives the
// focus back to the window. Tab reaches it; a click, Space or Return sends its command.
class CLauncherButtonCtrl final {
 public:
  CLauncherButtonCtrl() = default;
  CLauncherButtonCtrl(const CLauncherButtonCtrl&) = delete;
  CLauncherButtonCtrl& operator=(const CLauncherButtonCtrl&) = delete;
  ~CLauncherButtonCtrl();

  // Created hidden at the button's place, sized to its normal picture.
  bool Create(HWND parent, const LayoutButton& place);
  // The parent's WM_DRAWITEM for this button.
  void Draw(const DRAWITEMSTRUCT& item) const;
  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HBITMAP PictureFor(UINT state) const;

  HWND hwnd_ = nullptr;
  WNDPROC buttonProcedure_ = nullptr;
  HBITMAP normal_ = nullptr;
  HBITMAP pressed_ = nullptr;
  HBITMAP mouseOver_ = nullptr;
  HBITMAP disabled_ = nullptr;
  BOOL tracking_ = FALSE;
};

// Bitmap resource `id` of the program; null when it has none.
HBITMAP LoadSkinBitmap(int id);
SIZE BitmapSize(HBITMAP bitmap);
// Copies `bitmap` centred into `place` of `dc`, cut to the place.
void DrawCentred(HDC dc, HBITMAP bitmap, const LayoutRect& place);

}  // namespace win32window
