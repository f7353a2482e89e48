#include "window/WindowFlow.h"

#include <algorithm>
#include <utility>

OpenBoxes::Entry OpenBoxes::Opened(End end) {
  const int ticket = nextTicket_++;
  boxes_.push_back({ticket, std::move(end), false});
  return Entry(*this, ticket);
}

void OpenBoxes::Closed(int ticket) {
  std::erase_if(boxes_, [ticket](const Box& box) { return box.ticket == ticket; });
}

bool OpenBoxes::EndInnermost() {
  if (boxes_.empty()) return false;
  Box& innermost = boxes_.back();
  // A second end of the same box would reach a loop that is no longer the running one.
  if (innermost.asked) return true;
  innermost.asked = true;
  // The end may run the box's handlers, which may close it at once: call a copy.
  const End end = innermost.end;
  if (end) end();
  return true;
}

OpenBoxes& MainThreadBoxes() {
  static OpenBoxes boxes;
  return boxes;
}

bool WindowFlow::BeginStart() {
  if (starting_ || ending_ || clientStarted_.load()) return false;
  starting_ = true;
  return true;
}

void WindowFlow::EndStart(bool started) {
  starting_ = false;
  if (started) clientStarted_ = true;
}

WindowFlow::Step WindowFlow::RequestEnd() {
  ending_ = true;
  return Advance();
}

WindowFlow::Step WindowFlow::Advance() {
  if (!ending_ || ended_) return Step::Wait;
  if (boxes_.EndInnermost()) return Step::Wait;
  ended_ = true;
  return Step::EndWindow;
}
