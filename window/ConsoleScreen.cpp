#include "window/ConsoleScreen.h"

#include <algorithm>
#include <cstdio>

#include "platform/TerminalText.h"

namespace {

constexpr int kBarCells = 40;
// Fits an 80-column terminal: a wrapped line would break the cursor movements of the redraw.
// A byte never takes more than one column, so a byte limit is a column limit.
constexpr size_t kLineBytes = 76;
// A log that nobody reads does not grow the memory without bound.
constexpr size_t kMaxPendingLines = 256;

constexpr const char* kCursorUpTwoLines = "\r\x1b[2A";
constexpr const char* kClearLine = "\x1b[2K";
constexpr const char* kClearToEnd = "\x1b[J";

}  // namespace

std::string RenderBar(const ConsoleBar& bar, int width) {
  width = std::max(width, 1);
  const int64_t span = static_cast<int64_t>(bar.upper) - bar.lower;
  int64_t done = span > 0 ? std::clamp<int64_t>(static_cast<int64_t>(bar.pos) - bar.lower, 0, span) : 0;
  const int filled = span > 0 ? static_cast<int>(done * width / span) : 0;
  const int percent = span > 0 ? static_cast<int>(done * 100 / span) : 0;
  char percentText[8];
  std::snprintf(percentText, sizeof(percentText), "%3d%%", percent);
  return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] " + percentText;
}

ConsoleScreen::ConsoleScreen(std::ostream& out, bool terminal, std::function<uint32_t()> clock)
    : out_(out), terminal_(terminal), clock_(std::move(clock)) {}

void ConsoleScreen::SetStatus(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  status_ = text;
  if (!terminal_) {
    if (text == lastLogged_) return;
    lastLogged_ = text;
    if (pendingLines_.size() < kMaxPendingLines) pendingLines_.push_back(text);
  }
  changed_ = true;
}

void ConsoleScreen::SetFileRange(int lower, int upper) {
  std::lock_guard<std::mutex> guard(lock_);
  file_.lower = lower;
  file_.upper = upper;
  changed_ = changed_ || terminal_;
}

void ConsoleScreen::SetFilePos(int pos) {
  std::lock_guard<std::mutex> guard(lock_);
  file_.pos = pos;
  changed_ = changed_ || terminal_;
}

void ConsoleScreen::SetTotalRange(int lower, int upper) {
  std::lock_guard<std::mutex> guard(lock_);
  total_.lower = lower;
  total_.upper = upper;
  changed_ = changed_ || terminal_;
}

void ConsoleScreen::SetTotalPos(int pos) {
  std::lock_guard<std::mutex> guard(lock_);
  total_.pos = pos;
  changed_ = changed_ || terminal_;
}

ConsoleBar ConsoleScreen::FileBar() const {
  std::lock_guard<std::mutex> guard(lock_);
  return file_;
}

ConsoleBar ConsoleScreen::TotalBar() const {
  std::lock_guard<std::mutex> guard(lock_);
  return total_;
}

void ConsoleScreen::Announce(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  if (text.empty() || text == lastAnnounced_) return;
  lastAnnounced_ = text;
  if (pendingLines_.size() < kMaxPendingLines) pendingLines_.push_back(text);
  changed_ = true;
}

void ConsoleScreen::Pause() {
  std::lock_guard<std::mutex> guard(lock_);
  // The latest status often says why the question is asked: it goes out before the question.
  if (changed_) DrawLocked();
  LeaveBlockLocked();
  out_.flush();
  paused_ = true;
}

void ConsoleScreen::Resume() {
  std::lock_guard<std::mutex> guard(lock_);
  paused_ = false;
  changed_ = true;
}

bool ConsoleScreen::Refresh() {
  std::lock_guard<std::mutex> guard(lock_);
  if (paused_ || !changed_) return false;
  const uint32_t now = clock_();
  // Unsigned difference: right across the clock's wrap.
  if (drewOnce_ && now - lastDrawn_ < kRedrawIntervalMs) return false;
  lastDrawn_ = now;
  drewOnce_ = true;
  DrawLocked();
  return true;
}

void ConsoleScreen::Finish() {
  std::lock_guard<std::mutex> guard(lock_);
  if (changed_ && !paused_) DrawLocked();
  LeaveBlockLocked();
  out_.flush();
}

void ConsoleScreen::Print(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  LeaveBlockLocked();
  out_ << text;
  out_.flush();
  changed_ = true;
}

void ConsoleScreen::DrawLocked() {
  changed_ = false;
  if (!pendingLines_.empty()) {
    // The bars stay last: they are wiped, the lines printed, and the bars drawn again below.
    if (blockShown_) out_ << kCursorUpTwoLines << kClearToEnd;
    blockShown_ = false;
    // A log keeps whole lines; only the terminal's in-place lines must fit its width.
    const size_t limit = terminal_ ? kLineBytes : std::string::npos;
    for (const std::string& line : pendingLines_) out_ << platform::TerminalLine(line, limit) << '\n';
    pendingLines_.clear();
  }
  if (terminal_) DrawBlockLocked();
  out_.flush();
}

void ConsoleScreen::DrawBlockLocked() {
  if (blockShown_) out_ << kCursorUpTwoLines;
  out_ << kClearLine << platform::TerminalLine(status_, kLineBytes) << '\n'
       << kClearLine << "File  " << RenderBar(file_, kBarCells) << '\n'
       << kClearLine << "Total " << RenderBar(total_, kBarCells);
  blockShown_ = true;
}

void ConsoleScreen::LeaveBlockLocked() {
  if (!blockShown_) return;
  out_ << '\n';
  blockShown_ = false;
}
