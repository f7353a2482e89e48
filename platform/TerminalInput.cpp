#include "platform/TerminalInput.h"

#include <chrono>

// The line assembly shared by every system; how a byte is waited for and read is in the platform
// folders.

namespace platform {

LineReader::Result LineReader::ReadLine(std::string& line, uint32_t timeoutMs) {
  if (ended_) return Result::Ended;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    char c = 0;
    const ByteRead got = ReadByte(c, left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0);
    if (got == ByteRead::Waiting) return Result::Waiting;
    if (got == ByteRead::Ended) {
      ended_ = true;
      if (partial_.empty()) return Result::Ended;
      line.swap(partial_);
      partial_.clear();
      return Result::Line;
    }
    if (c != '\n') {
      partial_.push_back(c);
      continue;
    }
    if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
    line.swap(partial_);
    partial_.clear();
    return Result::Line;
  }
}

}  // namespace platform
