#include "window/win32/LauncherDlg.h"

#include <array>

#include "app/EntryOptions.h"
#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "platform/win32/WideText.h"
#include "window/Catalogue.h"
#include "window/win32/Win32MessageBox.h"

namespace win32window {

namespace {

constexpr wchar_t kWindowClass[] = L"SolaneLauncherWindow";
constexpr wchar_t kTitle[] = L"Solane Launcher";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 1000;
constexpr UINT kAboutMenuId = 16;
constexpr int kAboutMessage = 101;
constexpr int kPointSize = 9;
constexpr int kCharsetShiftJis = 128;
constexpr int kCharsetGb2312 = 134;
constexpr COLORREF kSkinBackground = RGB(24, 32, 48);

std::string CatalogueTextOr(int id, const char* fallback) {
  std::string text = LoadCatalogueString(id);
  return text.empty() ? fallback : text;
}

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool HasFace(HDC dc, const wchar_t* face, int charset) {
  LOGFONTW wanted{};
  wanted.lfCharSet = static_cast<BYTE>(charset);
  lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &wanted, &FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// "Arial" at 9 points. The Korean, Japanese and Chinese layouts take a system face that has their
// glyphs where "Arial" has none and the system links no other face to it (Wine), so labels never
// show empty boxes.
HFONT CreateSkinFont(HWND window, WindowLayout layout, int charset) {
  using Faces = std::array<const wchar_t*, 3>;
  static constexpr Faces kLatin = {L"Arial", L"Liberation Sans", L"Arial"};
  static constexpr Faces kKorean = {L"Malgun Gothic", L"Gulim", L"Noto Sans CJK KR"};
  static constexpr Faces kJapanese = {L"MS UI Gothic", L"Meiryo", L"Noto Sans CJK JP"};
  static constexpr Faces kChinese = {L"SimSun", L"Microsoft YaHei", L"Noto Sans CJK SC"};
  const bool korean = layout == WindowLayout::Korea || layout == WindowLayout::KoreaHalverston;
  const Faces& faces = korean ? kKorean : charset == kCharsetShiftJis ? kJapanese : charset == kCharsetGb2312 ? kChinese : kLatin;
  HDC dc = GetDC(window);
  const wchar_t* face = faces.front();
  for (const wchar_t* candidate : faces) {
    if (HasFace(dc, candidate, charset)) {
      face = candidate;
      break;
    }
  }
  const int height = -MulDiv(kPointSize, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(window, dc);
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<DWORD>(charset), OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

bool RegisterWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClass, &windowClass)) return true;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

CLauncherDlg::CLauncherDlg(PatchEngine& engine, WindowLayout layout, bool autoRun)
    : engine_(engine),
      layout_(LayoutFor(layout)),
      actions_(engine, *this, MainThreadBoxes(), layout_.serverRows, autoRun) {}

CLauncherDlg::~CLauncherDlg() {
  queue_.Bind(nullptr);
  // The control ends before the window that holds it.
  notice_.reset();
  // The controls' windows go with the window, before the objects they call into.
  if (hwnd_) DestroyWindow(hwnd_);
  serverList_.reset();
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(skin_), static_cast<HGDIOBJ>(skinBrush_)})
    if (object) DeleteObject(object);
  for (HICON icon : {bigIcon_, smallIcon_})
    if (icon) DestroyIcon(icon);
}

// --- Building the window ------------------------------------------------------------------------

bool CLauncherDlg::Create() {
  if (!RegisterWindowClass()) return false;
  hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kWindowClass, kTitle,
                          WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
                          CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr, nullptr, GetModuleHandleW(nullptr),
                          nullptr);
  if (!hwnd_) return false;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CLauncherDlg::Procedure));
  queue_.Bind(hwnd_);

  // The entry keeps the platform's language, whatever the region's.
  aboutText_ = platform::Widen(LoadCatalogueStringIn(kLanguageEnglish, kAboutMessage));
  if (HMENU menu = GetSystemMenu(hwnd_, FALSE); menu && !aboutText_.empty()) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutMenuId, aboutText_.c_str());
  }
  auto loadIcon = [](int metricX, int metricY) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kWindowIcon), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY), 0));
  };
  bigIcon_ = loadIcon(SM_CXICON, SM_CYICON);
  smallIcon_ = loadIcon(SM_CXSMICON, SM_CYSMICON);
  if (bigIcon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  if (smallIcon_) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  // The stored list and choice come before the rows are drawn; the update merges the server's.
  if (engine_.UsesServerList()) engine_.LoadServerFile();
  BuildLayout();
  CreateNoticePage();
  SizeWindow();
  return true;
}

void CLauncherDlg::BuildLayout() {
  font_ = CreateSkinFont(hwnd_, layout_.layout, layout_.fontCharset);
  ComposeSkin();
  statusLine_.Create(hwnd_, *this, layout_.statusLine,
                     CatalogueTextOr(layout_.initialStatusMessage, kFallbackInitialStatus), font_);
  fileBar_.Create(hwnd_, *this, layout_.FileBar(), kIdFileBar);
  totalBar_.Create(hwnd_, *this, layout_.TotalBar(), kIdTotalBar);
  startButton_.Create(hwnd_, layout_.startButton);
  secondButton_.Create(hwnd_, layout_.secondButton);
  ShowButtons();
  if (layout_.windowMode.Present())
    windowModeBox_ = CreateCheckBox(layout_.windowMode, kIdWindowModeBox, actions_.ReadWindowMode(), windowModeLabel_);
  autoRunBox_ = CreateCheckBox(layout_.autoRun, kIdAutoRunBox, actions_.AutoRun(), autoRunLabel_);
  versionLine_.Create(hwnd_, *this, kVersionLineRect, "", font_);
  versionLine_.SetFormat(kTextFormatRight);
  if (layout_.serverRows) serverList_ = std::make_unique<ServerListArea>(hwnd_, *this, font_, engine_, queue_);
}

HWND CLauncherDlg::CreateCheckBox(const LayoutCheckBox& place, int id, bool checked, CLauncherStaticCtrl& label) {
  HWND box = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, place.box.left,
                             place.box.top, place.box.Width(), place.box.Height(), hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  label.Create(hwnd_, *this, place.label, CatalogueTextOr(place.labelMessage, place.fallbackLabel), font_);
  label.SetLinkedCheckBox(box);
  return box;
}

void CLauncherDlg::CreateNoticePage() {
  // An address a page wants in a new window opens once the control's event has returned, so that
  // a box saying why the browser did not start never runs inside the control.
  auto openInBrowser = [this](const std::string& address) {
    queue_.Post([this, address] { engine_.OpenBrowser(address); });
  };
  notice_ = std::make_unique<NoticeBrowser>(hwnd_, kIdNoticeBrowser, layout_.notice, openInBrowser);
  notice_->Navigate(ProfileFor(engine_.GetLocale(), engine_.GetPublisher()).noticePage);
}

void CLauncherDlg::PlaceholderCheck() {
  if (notice_->HasLoaded()) notice_->Reveal();
}

void CLauncherDlg::ComposeSkin() {
  HDC screen = GetDC(hwnd_);
  skin_ = CreateCompatibleBitmap(screen, kClientWidth, kClientHeight);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, skin_);
  RECT all{0, 0, kClientWidth, kClientHeight};
  HBRUSH background = CreateSolidBrush(kSkinBackground);
  FillRect(dc, &all, background);
  DeleteObject(background);
  auto draw = [dc](int bitmapId, const LayoutRect& place) {
    HBITMAP picture = LoadSkinBitmap(bitmapId);
    DrawCentred(dc, picture, place);
    if (picture) DeleteObject(picture);
  };
  draw(layout_.noticePlaceholder, layout_.notice.Shrunk(2));
  draw(layout_.topBanner, kTopBannerRect);
  draw(layout_.bottomBanner, kBottomBannerRect);
  if (layout_.listPanel != 0) draw(layout_.listPanel, kListPanelRect);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(hwnd_, screen);
  // The check boxes' background: the skin itself, aligned to the window at each box.
  skinBrush_ = CreatePatternBrush(skin_);
}

void CLauncherDlg::SizeWindow() {
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLauncherDlg::DrawSkin(HDC dc, POINT origin) const {
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, skin_);
  BitBlt(dc, 0, 0, kClientWidth - origin.x, kClientHeight - origin.y, source, origin.x, origin.y, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  if (serverList_) serverList_->DrawBars(dc, origin);
}

// --- Running ------------------------------------------------------------------------------------

ConsoleOutcome CLauncherDlg::RunModal(bool startWork) {
  const std::shared_ptr<platform::MessageBoxProvider> previousBoxes = platform::CurrentMessageBoxProvider();
  platform::SetMessageBoxProvider(MakeWin32MessageBox(hwnd_, queue_, [this] { return released_.load(); }));
  engine_.AttachWindow(this);
  if (startWork) {
    engine_.StartUpdate();
    if (serverList_) engine_.StartProbe();
  }
  SetTimer(hwnd_, kTimerId, kTimerPeriodMs, nullptr);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);

  MSG message;
  while (!loopEnded_) {
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) break;
      // Tab, Space, Return and Esc as in a dialog.
      if (!IsDialogMessageW(hwnd_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      continue;
    }
    // An idle pass of the window's loop.
    actions_.Tick();
    if (!loopEnded_) WaitMessage();
  }
  KillTimer(hwnd_, kTimerId);
  released_ = true;
  ShowWindow(hwnd_, SW_HIDE);
  // From here on the engine's output goes nowhere; the caller waits for the sequence and the probe.
  engine_.AttachWindow(nullptr);
  platform::SetMessageBoxProvider(previousBoxes);
  return actions_.OutcomeOfRun();
}

void CLauncherDlg::ClientOrigin(int& x, int& y) const {
  POINT origin{0, 0};
  ClientToScreen(hwnd_, &origin);
  x = origin.x;
  y = origin.y;
}

void CLauncherDlg::EndLoop() {
  KillTimer(hwnd_, kTimerId);
  loopEnded_ = true;
  PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the loop's wait
}

LRESULT CALLBACK CLauncherDlg::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CLauncherDlg*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return self ? self->OnMessage(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CLauncherDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: OnPaint(); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.hwndItem == startButton_.Handle()) startButton_.Draw(item);
      if (item.hwndItem == secondButton_.Handle()) secondButton_.Draw(item);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // The check boxes lie on the skin: their background is the skin under them.
      HDC dc = reinterpret_cast<HDC>(wParam);
      POINT place{0, 0};
      MapWindowPoints(reinterpret_cast<HWND>(lParam), hwnd_, &place, 1);
      SetBrushOrgEx(dc, -place.x, -place.y, nullptr);
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(skinBrush_);
    }
    case WM_COMMAND: OnCommand(LOWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
    // The title bar's close runs the exit procedure, which closes when it may.
    case WM_CLOSE: actions_.ExitProcedure(); return 0;
    case WM_TIMER:
      if (wParam == kTimerId) {
        PlaceholderCheck();
        actions_.Tick();
      }
      return 0;
    // An idle pass of a box's loop over the window.
    case WM_ENTERIDLE: actions_.Tick(); return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kAboutMenuId) {
        ShowAbout();
        return 0;
      }
      break;
    case WM_VSCROLL:
      if (serverList_) serverList_->OnScroll(reinterpret_cast<HWND>(lParam), wParam);
      return 0;
    case WM_MOUSEWHEEL:
      if (serverList_) serverList_->OnWheel(wParam, lParam);
      return 0;
    case kMsgRunQueued: queue_.RunQueued(); return 0;
    default: break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void CLauncherDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  if (IsIconic(hwnd_) && bigIcon_) {
    RECT client;
    GetClientRect(hwnd_, &client);
    DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON)) / 2, (client.bottom - GetSystemMetrics(SM_CYICON)) / 2,
             bigIcon_);
  } else {
    DrawSkin(dc, {0, 0});
  }
  EndPaint(hwnd_, &paint);
}

// --- The player's actions -----------------------------------------------------------------------

void CLauncherDlg::OnCommand(int id, HWND control) {
  switch (id) {
    case kIdStartButton:
      // Return anywhere in the window arrives here too; only a shown, enabled button starts.
      if (startShown_.load() && IsWindowEnabled(startButton_.Handle())) actions_.StartPressed();
      break;
    case kIdExitButton:  // the exit button and Esc
      actions_.ExitProcedure();
      break;
    case kIdRegistrationButton: actions_.RegistrationPressed(); break;
    case kIdWindowModeBox: actions_.SetWindowMode(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED); break;
    case kIdAutoRunBox: actions_.SetAutoRun(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED); break;
    default: break;
  }
}

void CLauncherDlg::DisableStartButton() { EnableWindow(startButton_.Handle(), FALSE); }

void CLauncherDlg::ShowAbout() {
  // A window that is ending opens no new box.
  if (!actions_.MayOpenBox()) return;
  const std::wstring text = L"Solane Launcher Version\n" + platform::Widen(LauncherVersionText()) + L"\n\n" +
                            platform::Widen(engine_.ProfileDescription());
  ShowBoxOnUiThread(hwnd_, text, L"Solane Launcher Information", MB_OK, kWindowIcon);
}

void CLauncherDlg::ShowButtons() {
  ShowWindow(startButton_.Handle(), startShown_.load() ? SW_SHOW : SW_HIDE);
  ShowWindow(secondButton_.Handle(), secondShown_.load() ? SW_SHOW : SW_HIDE);
}

// --- The engine's output (any thread) -----------------------------------------------------------

void CLauncherDlg::SetStatusLine(const std::string& text) { statusLine_.SetText(text); }
void CLauncherDlg::SetFileBarRange(int lowerKiB, int upperKiB) { fileBar_.SetRange(lowerKiB, upperKiB); }
void CLauncherDlg::SetFileBarPos(int posKiB) { fileBar_.SetPos(posKiB); }
void CLauncherDlg::SetTotalBarRange(int lowerKiB, int upperKiB) { totalBar_.SetRange(lowerKiB, upperKiB); }
void CLauncherDlg::SetTotalBarPos(int posKiB) { totalBar_.SetPos(posKiB); }
void CLauncherDlg::GetTotalBarRange(int& lowerKiB, int& upperKiB) const { totalBar_.GetRange(lowerKiB, upperKiB); }
void CLauncherDlg::SetVersionLine(const std::string& text) { versionLine_.SetText(text); }

void CLauncherDlg::NavigateNotice(const std::string& address) {
  queue_.Post([this, address] {
    if (notice_) notice_->Navigate(address);
  });
}

void CLauncherDlg::ShowStartButton(bool visible) {
  startShown_ = visible;
  if (!buttonsQueued_.exchange(true)) queue_.Post([this] {
      buttonsQueued_ = false;
      ShowButtons();
    });
}

void CLauncherDlg::ShowExitButton(bool visible) {
  secondShown_ = visible;
  if (!buttonsQueued_.exchange(true)) queue_.Post([this] {
      buttonsQueued_ = false;
      ShowButtons();
    });
}

void CLauncherDlg::SaveSettings() { actions_.SaveSettings(); }

void CLauncherDlg::RunExitProcedure() {
  if (queue_.OnUiThread())
    actions_.ExitProcedure();
  else
    queue_.Post([this] { actions_.ExitProcedure(); });
}

void CLauncherDlg::CloseWindow() {
  if (queue_.OnUiThread()) return actions_.EndWindow();
  actions_.ClosedBySequence(startShown_.load());
  queue_.Post([this] { actions_.EndWindow(); });
}

void CLauncherDlg::ShowServerRows(int firstRow) {
  if (serverList_) serverList_->ShowRows(firstRow);
}

int CLauncherDlg::ServerListTop() const { return serverList_ ? serverList_->Top() : 0; }

void CLauncherDlg::SetServerRowLatency(int row, int entryIndex, const std::string& text) {
  if (serverList_) serverList_->ShowLatency(row, entryIndex, text);
}

}  // namespace win32window

std::unique_ptr<Win32Window> CreateLauncherWindow(PatchEngine& engine, WindowLayout layout, bool autoRun) {
  auto window = std::make_unique<win32window::CLauncherDlg>(engine, layout, autoRun);
  if (!window->Create()) return nullptr;
  return window;
}
