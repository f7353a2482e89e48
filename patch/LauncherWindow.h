#pragma once
// The engine's view of its window. The wx dialog, the console front-end and the tests implement
// it. Every method may be called from any thread: an implementation stores the value and hands
// drawing to its own thread. Progress bars count kibibytes; the engine converts bytes.

#include <string>
#include <vector>

class LauncherWindow {
 public:
  virtual ~LauncherWindow() = default;

  virtual void SetStatusLine(const std::string& text) = 0;
  // A line the player should read once (that the run checks every file, a file the update
  // deleted): a window shows it on the status line, where the next status replaces it; the
  // console prints it as a line of its own.
  virtual void AnnounceLine(const std::string& text) { SetStatusLine(text); }
  // What start-up found wrong in the configuration, shown once as the update starts (standard
  // error has it already): a window puts the warnings on the status line together.
  virtual void ShowStartupWarnings(const std::vector<std::string>& warnings) {
    std::string text;
    for (const std::string& warning : warnings) text += (text.empty() ? "" : "  ") + warning;
    SetStatusLine(text);
  }
  virtual void SetFileBarRange(int lowerKiB, int upperKiB) = 0;
  virtual void SetFileBarPos(int posKiB) = 0;
  virtual void SetTotalBarRange(int lowerKiB, int upperKiB) = 0;
  virtual void SetTotalBarPos(int posKiB) = 0;
  virtual void GetTotalBarRange(int& lowerKiB, int& upperKiB) const = 0;

  virtual void SetVersionLine(const std::string& text) = 0;
  virtual void NavigateNotice(const std::string& address) = 0;
  virtual void ShowStartButton(bool visible) = 0;
  virtual void ShowExitButton(bool visible) = 0;

  virtual bool IsAutoRunChecked() const = 0;
  // The window-mode box; a layout without one answers false.
  virtual bool IsWindowModeChecked() const = 0;

  // Saves the player's settings (screen mode, server list) as the start and exit buttons do.
  virtual void SaveSettings() = 0;
  // The exit procedure: asks whether to finish now while work runs, then cancels or closes.
  virtual void RunExitProcedure() = 0;
  // Closes the window with result OK.
  virtual void CloseWindow() = 0;
  // The login server list (regions with one) shows kServerRows entries from the scroll position.
  static constexpr int kServerRows = 17;
  // Shows the login server rows from `firstRow`.
  virtual void ShowServerRows(int firstRow) = 0;
  // The index of the entry on the first row.
  virtual int ServerListTop() const = 0;
  // The latency text of visible row `row`, which shows entry `entryIndex`. A window that draws
  // later on its own thread drops the text when by then the row shows another entry.
  virtual void SetServerRowLatency(int row, int entryIndex, const std::string& text) = 0;
};
