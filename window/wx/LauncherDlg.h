#pragma once
// The launcher's main window: the skinned 633 x 470 dialog of the region's layout, with the
// notice page, the status line and the two bars that the update drives, the start and the
// second button, and the window-mode and auto-run boxes.
//
// The engine's threads call the LauncherWindow methods: each stores its value (under a lock or
// in an atomic) and hands the drawing to the main thread; nothing here calls GTK from another
// thread. The window closes itself once a cancel request is set and the engine is idle. The
// China and USA layouts add the login server list, whose latencies the engine's probe measures
// while the window runs.

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/timer.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "patch/LauncherWindow.h"
#include "window/ConsoleWindow.h"
#include "window/LauncherLayout.h"
#include "window/WindowActions.h"
#include "window/wx/MainThread.h"
#include "window/wx/SkinSurface.h"

class PatchEngine;
class CLauncherButtonCtrl;
class CLauncherProgressCtrl;
class CLauncherStaticCtrl;
class NoticePage;
class ServerListArea;

class CLauncherDlg final : public wxDialog, public LauncherWindow, public SkinSurface, private WindowControls {
 public:
  // Builds the window of `layout`, hidden; nothing runs before RunModal. `autoRun` ticks the
  // auto-run box at the start (the command line's --autorun).
  CLauncherDlg(PatchEngine& engine, WindowLayout layout, bool autoRun = false);
  ~CLauncherDlg() override;

  // Attaches the window to the engine, starts the update and runs the window until it closes;
  // detaches it again before it returns. Main thread.
  ConsoleOutcome RunModal();

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
  // The login server list (China and USA layouts; the others have no rows and do nothing).
  void ShowServerRows(int firstRow) override;
  int ServerListTop() const override;
  void SetServerRowLatency(int row, int entryIndex, const std::string& text) override;

  // --- SkinSurface -----------------------------------------------------------------------
  void DrawSkin(wxDC& dc, const wxPoint& origin) const override;

 private:
  void BuildLayout();
  void CreateCheckBox(const LayoutCheckBox& place, wxWindowID id, bool checked, std::function<void(bool)> changed);
  void CreateNoticePage();
  void AddAboutEntry();

  void OnPaint(wxPaintEvent& event);
  void OnTimer(wxTimerEvent& event);
  void OnIdle(wxIdleEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);

  void PlaceholderCheck();
  void ShowAbout();

  // --- WindowControls ----------------------------------------------------------------------
  void EndLoop() override;
  void DisableStartButton() override;

  PatchEngine& engine_;
  const LauncherLayout& layout_;
  wxBitmap skin_;  // banners, list panel and notice placeholder, composed once

  CLauncherStaticCtrl* statusLine_ = nullptr;
  CLauncherProgressCtrl* fileBar_ = nullptr;
  CLauncherProgressCtrl* totalBar_ = nullptr;
  CLauncherButtonCtrl* startButton_ = nullptr;
  CLauncherButtonCtrl* secondButton_ = nullptr;
  wxCheckBox* windowModeBox_ = nullptr;
  wxCheckBox* autoRunBox_ = nullptr;
  CLauncherStaticCtrl* versionLine_ = nullptr;
  std::unique_ptr<NoticePage> notice_;
  std::unique_ptr<ServerListArea> serverList_;  // layouts with login server rows
  wxString aboutText_;
  wxTimer timer_;

  // Main thread only, but for the boxes' states and the record of a started game.
  WindowActions actions_;
  bool placeholderShown_ = true;

  // Shared with the engine's threads.
  std::atomic<bool> startShown_{false};
  std::atomic<bool> secondShown_{true};
  RepaintRequest buttonsChanged_;
  MainThreadLink link_;
};
