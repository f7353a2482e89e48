#include "tests/support/RecordingWindow.h"

void RecordingWindow::SetStatusLine(const std::string& text) {
  std::lock_guard guard(lock_);
  statusLines_.push_back(text);
}

void RecordingWindow::SetFileBarRange(int lowerKiB, int upperKiB) {
  std::lock_guard guard(lock_);
  fileBar_.lower = lowerKiB;
  fileBar_.upper = upperKiB;
}

void RecordingWindow::SetFileBarPos(int posKiB) {
  std::lock_guard guard(lock_);
  fileBar_.pos = posKiB;
}

void RecordingWindow::SetTotalBarRange(int lowerKiB, int upperKiB) {
  std::lock_guard guard(lock_);
  totalBar_.lower = lowerKiB;
  totalBar_.upper = upperKiB;
}

void RecordingWindow::SetTotalBarPos(int posKiB) {
  std::lock_guard guard(lock_);
  totalBar_.pos = posKiB;
}

void RecordingWindow::GetTotalBarRange(int& lowerKiB, int& upperKiB) const {
  std::lock_guard guard(lock_);
  lowerKiB = totalBar_.lower;
  upperKiB = totalBar_.upper;
}

void RecordingWindow::SetVersionLine(const std::string& text) {
  std::lock_guard guard(lock_);
  versionLine_ = text;
}

void RecordingWindow::NavigateNotice(const std::string& address) {
  std::lock_guard guard(lock_);
  noticeAddress_ = address;
}

std::vector<std::string> RecordingWindow::StatusLines() const {
  std::lock_guard guard(lock_);
  return statusLines_;
}

std::string RecordingWindow::LastStatusLine() const {
  std::lock_guard guard(lock_);
  return statusLines_.empty() ? std::string() : statusLines_.back();
}

RecordingWindow::Bar RecordingWindow::FileBar() const {
  std::lock_guard guard(lock_);
  return fileBar_;
}

RecordingWindow::Bar RecordingWindow::TotalBar() const {
  std::lock_guard guard(lock_);
  return totalBar_;
}

std::string RecordingWindow::VersionLine() const {
  std::lock_guard guard(lock_);
  return versionLine_;
}

std::string RecordingWindow::NoticeAddress() const {
  std::lock_guard guard(lock_);
  return noticeAddress_;
}
