#pragma once
// A LauncherWindow for tests: it keeps every status line, the bars' last ranges and positions
// and how often the exit procedure ran. Safe to call from any thread.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "patch/LauncherWindow.h"

class RecordingWindow : public LauncherWindow {
 public:
  struct Bar {
    int lower = 0;
    int upper = 0;
    int pos = 0;
  };

  void SetStatusLine(const std::string& text) override;
  void SetFileBarRange(int lowerKiB, int upperKiB) override;
  void SetFileBarPos(int posKiB) override;
  void SetTotalBarRange(int lowerKiB, int upperKiB) override;
  void SetTotalBarPos(int posKiB) override;
  void GetTotalBarRange(int& lowerKiB, int& upperKiB) const override;

  void SetVersionLine(const std::string& text) override;
  void NavigateNotice(const std::string& address) override;
  void ShowStartButton(bool visible) override { startButtonShown_ = visible; }
  void ShowExitButton(bool visible) override { exitButtonShown_ = visible; }
  bool IsAutoRunChecked() const override { return autoRun_.load(); }
  bool IsWindowModeChecked() const override { return windowMode_.load(); }
  void SaveSettings() override { ++settingsSaved_; }
  void RunExitProcedure() override { ++exitProcedures_; }
  void CloseWindow() override { closed_ = true; }
  void ShowServerRows(int firstRow) override { firstServerRow_ = firstRow; }

  std::vector<std::string> StatusLines() const;
  std::string LastStatusLine() const;
  Bar FileBar() const;
  Bar TotalBar() const;
  std::string VersionLine() const;
  std::string NoticeAddress() const;

  void SetAutoRun(bool checked) { autoRun_ = checked; }
  void SetWindowMode(bool checked) { windowMode_ = checked; }
  bool StartButtonShown() const { return startButtonShown_.load(); }
  bool ExitButtonShown() const { return exitButtonShown_.load(); }
  int SettingsSaved() const { return settingsSaved_.load(); }
  int ExitProcedures() const { return exitProcedures_.load(); }
  bool Closed() const { return closed_.load(); }
  int FirstServerRow() const { return firstServerRow_.load(); }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> statusLines_;
  Bar fileBar_;
  Bar totalBar_;
  std::string versionLine_;
  std::string noticeAddress_;
  std::atomic<bool> startButtonShown_{false};
  std::atomic<bool> exitButtonShown_{false};
  std::atomic<bool> autoRun_{false};
  std::atomic<bool> windowMode_{false};
  std::atomic<bool> closed_{false};
  std::atomic<int> settingsSaved_{0};
  std::atomic<int> exitProcedures_{0};
  std::atomic<int> firstServerRow_{-1};
};
