#pragma once
// The launcher's main window on Windows: the skinned 633 x 470 window of the region's layout,
// with the status line and the two bars that the update drives, the start and the second
// button, the window-mode and auto-run boxes, the notice page over its placeholder and, in the
// China and USA layouts, the login server list.
//
// The engine's threads call the LauncherWindow methods: each stores its value and posts the
// drawing to the window's thread; no other thread paints. Behaviour is window/'s: WindowActions
// (buttons, boxes, exit procedure, close check), ServerListView (the server rows).

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "window/LauncherLayout.h"
#include "window/WindowActions.h"
#include "window/win32/NoticeBrowser.h"
#include "window/win32/ServerListArea.h"
#include "window/win32/SkinControls.h"
#include "window/win32/UiThread.h"
#include "window/win32/Win32Window.h"

namespace win32window {

class CLauncherDlg final : public Win32Window, public SkinSurface, private WindowControls {
 public:
  CLauncherDlg(PatchEngine& engine, WindowLayout layout, bool autoRun);
  ~CLauncherDlg() override;
  // Creates the window and its controls, hidden; false when the system refuses it.
  bool Create();

  ConsoleOutcome RunModal(bool startWork) override;
  void ClientOrigin(int& x, int& y) const override;

  // --- LauncherWindow: any thread -------------------------------------------------------
  void SetStatusLine(const std::string& text) override;
  void SetFileBarRange(int lowerKiB, int upperKiB) override;
  void SetFileBarPos(int posKiB) override;
  void SetTotalBarRange(int lowerKiB, int upperKiB) override;
  void SetTotalBarPos(int posKiB) override;
  void GetTotalBarRange(int& lowerKiB, int& upperKiB) const override;
  void SetVersionLine(const std::string& text) override;
  void NavigateNotice(const std::string& address) override;
  void ShowStartButton(bool visible) override;
  void ShowExitButton(bool visible) override;
  bool IsAutoRunChecked() const override { return actions_.AutoRun(); }
  bool IsWindowModeChecked() const override { return actions_.WindowMode(); }
  void SaveSettings() override;
  void RunExitProcedure() override;
  void CloseWindow() override;
  void ShowServerRows(int firstRow) override;
  int ServerListTop() const override;
  void SetServerRowLatency(int row, int entryIndex, const std::string& text) override;

  // --- SkinSurface -----------------------------------------------------------------------
  void DrawSkin(HDC dc, POINT origin) const override;

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildLayout();
  HWND CreateCheckBox(const LayoutCheckBox& place, int id, bool checked, CLauncherStaticCtrl& label);
  void ComposeSkin();
  void SizeWindow();
  void OnCommand(int id, HWND control);
  void OnPaint();
  void ShowButtons();
  void ShowAbout();
  void CreateNoticePage();
  void PlaceholderCheck();

  // --- WindowControls ----------------------------------------------------------------------
  void EndLoop() override;
  void DisableStartButton() override;

  PatchEngine& engine_;
  const LauncherLayout& layout_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HBITMAP skin_ = nullptr;  // banners, list panel and notice placeholder, composed once
  HBRUSH skinBrush_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::wstring aboutText_;

  CLauncherStaticCtrl statusLine_;
  CLauncherProgressCtrl fileBar_;
  CLauncherProgressCtrl totalBar_;
  CLauncherButtonCtrl startButton_;
  CLauncherButtonCtrl secondButton_;
  HWND windowModeBox_ = nullptr;
  CLauncherStaticCtrl windowModeLabel_;
  HWND autoRunBox_ = nullptr;
  CLauncherStaticCtrl autoRunLabel_;
  CLauncherStaticCtrl versionLine_;
  std::unique_ptr<ServerListArea> serverList_;  // layouts with login server rows
  std::unique_ptr<NoticeBrowser> notice_;

  WindowActions actions_;
  UiQueue queue_;
  bool loopEnded_ = false;  // window thread

  // Shared with the engine's threads.
  std::atomic<bool> startShown_{false};
  std::atomic<bool> secondShown_{true};
  std::atomic<bool> buttonsQueued_{false};
  std::atomic<bool> released_{false};  // the window's loop has ended: nobody answers a box
};

}  // namespace win32window
