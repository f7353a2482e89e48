#pragma once
// The launcher's progress on a terminal: the status line, the file bar and the total bar drawn
// in place, at most ten times a second. Into a log (output that is not a terminal) each new
// status line is printed once instead, and the bars are left out. Lines that arrive once (the
// version description, the notice address) are printed once in both forms. Every text is
// printed through platform::TerminalLine, so nothing from a server can drive the terminal.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>

struct ConsoleBar {
  int lower = 0;
  int upper = 0;
  int pos = 0;
};

// "[#####-----]  50%": `width` cells filled in proportion to the position within the range
// (clamped to it); an empty or reversed range draws an empty bar at 0%.
std::string RenderBar(const ConsoleBar& bar, int width);

class ConsoleScreen {
 public:
  static constexpr uint32_t kRedrawIntervalMs = 100;

  // `terminal`: draw in place; otherwise print a log. `clock` gives milliseconds and may wrap.
  ConsoleScreen(std::ostream& out, bool terminal, std::function<uint32_t()> clock);

  // Any thread.
  void SetStatus(const std::string& text);
  void SetFileRange(int lower, int upper);
  void SetFilePos(int pos);
  void SetTotalRange(int lower, int upper);
  void SetTotalPos(int pos);
  ConsoleBar FileBar() const;
  ConsoleBar TotalBar() const;
  // Printed once, above the bars; the same text again is not printed again.
  void Announce(const std::string& text);
  // While paused (a question is on the terminal) nothing is drawn; the bars start afresh below
  // whatever was printed meanwhile.
  void Pause();
  void Resume();

  // The drawing thread.
  // Draws what changed, unless the last drawing is less than kRedrawIntervalMs old. True when it drew.
  bool Refresh();
  // Draws what changed now, then moves below the bars so that other output can follow.
  void Finish();
  // A line of its own below the bars (a prompt ends without a line feed).
  void Print(const std::string& text);

 private:
  void DrawLocked();
  void DrawBlockLocked();
  void LeaveBlockLocked();

  mutable std::mutex lock_;  // guards everything below and the output
  std::ostream& out_;
  const bool terminal_;
  std::function<uint32_t()> clock_;

  std::string status_;
  ConsoleBar file_;
  ConsoleBar total_;
  std::deque<std::string> pendingLines_;  // announcements, and status lines in a log
  std::string lastAnnounced_;
  std::string lastLogged_;
  bool changed_ = false;
  bool paused_ = false;
  bool blockShown_ = false;  // the three lines are on the screen and the cursor ends the last
  bool drewOnce_ = false;
  uint32_t lastDrawn_ = 0;
};
