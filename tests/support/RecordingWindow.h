#pragma once
// A LauncherWindow for tests: it keeps every status line, the bars' last ranges and positions,
// and what the engine asked of the window. Safe to call from any thread.

#include <atomic>
#include <map>
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

  void SetStatusLine(const std::string& text) override { Locked([&] { statusLines_.push_back(text); }); }
  void SetFileBarRange(int lowerKiB, int upperKiB) override {
    Locked([&] { fileBar_ = {lowerKiB, upperKiB, fileBar_.pos}; });
  }
  void SetFileBarPos(int posKiB) override { Locked([&] { fileBar_.pos = posKiB; }); }
  void SetTotalBarRange(int lowerKiB, int upperKiB) override {
    Locked([&] { totalBar_ = {lowerKiB, upperKiB, totalBar_.pos}; });
  }
  void SetTotalBarPos(int posKiB) override { Locked([&] { totalBar_.pos = posKiB; }); }
  void GetTotalBarRange(int& lowerKiB, int& upperKiB) const override {
    const Bar bar = TotalBar();
    lowerKiB = bar.lower;
    upperKiB = bar.upper;
  }
  void SetVersionLine(const std::string&) override {}
  void NavigateNotice(const std::string&) override {}
  void ShowStartButton(bool visible) override { startButtonShown_ = visible; }
  void ShowExitButton(bool) override {}
  bool IsAutoRunChecked() const override { return false; }
  bool IsWindowModeChecked() const override { return windowMode_.load(); }
  void SaveSettings() override {}
  void RunExitProcedure() override { ++exitProcedures_; }
  void CloseWindow() override { closed_ = true; }
  void ShowServerRows(int firstRow) override { firstServerRow_ = firstRow; }
  int ServerListTop() const override { return serverListTop_.load(); }
  void SetServerRowLatency(int row, int, const std::string& text) override {
    Locked([&] { rowLatencies_[row] = text; });
  }

  std::vector<std::string> StatusLines() const { return Locked([&] { return statusLines_; }); }
  std::string LastStatusLine() const {
    return Locked([&] { return statusLines_.empty() ? std::string() : statusLines_.back(); });
  }
  Bar FileBar() const { return Locked([&] { return fileBar_; }); }
  Bar TotalBar() const { return Locked([&] { return totalBar_; }); }

  void SetWindowMode(bool checked) { windowMode_ = checked; }
  bool StartButtonShown() const { return startButtonShown_.load(); }
  int ExitProcedures() const { return exitProcedures_.load(); }
  bool Closed() const { return closed_.load(); }
  int FirstServerRow() const { return firstServerRow_.load(); }
  void ScrollServerList(int top) { serverListTop_ = top; }
  // Row -> the latency text last set on it.
  std::map<int, std::string> RowLatencies() const { return Locked([&] { return rowLatencies_; }); }

 private:
  template <typename Action>
  auto Locked(Action action) const -> decltype(action()) {
    std::lock_guard guard(lock_);
    return action();
  }

  mutable std::mutex lock_;
  std::vector<std::string> statusLines_;
  Bar fileBar_;
  Bar totalBar_;
  std::atomic<bool> startButtonShown_{false};
  std::atomic<bool> windowMode_{false};
  std::atomic<bool> closed_{false};
  std::atomic<int> exitProcedures_{0};
  std::atomic<int> firstServerRow_{-1};
  std::atomic<int> serverListTop_{0};
  std::map<int, std::string> rowLatencies_;
};
