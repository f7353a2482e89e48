#pragma once
// A message-box provider for tests: it records every box and answers from a script.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace platform {

class ScriptedMessageBox final : public MessageBoxProvider {
 public:
  struct ShownBox {
    std::string text;
    std::string caption;
    unsigned type;
  };

  // Answers are given in the order queued; with none left a box gets UnattendedAnswer(type).
  void QueueAnswer(int answer);
  int Show(const std::string& text, const std::string& caption, unsigned type) override;

  std::vector<ShownBox> Shown() const;
  // Waits until at least `count` boxes have been shown; false when `timeoutMs` passes first.
  bool WaitUntilShown(size_t count, uint32_t timeoutMs) const;

 private:
  mutable std::mutex lock_;
  mutable std::condition_variable shownChanged_;
  std::deque<int> answers_;
  std::vector<ShownBox> shown_;
};

}  // namespace platform
