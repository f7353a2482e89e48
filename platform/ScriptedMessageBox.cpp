#include "platform/ScriptedMessageBox.h"

#include <chrono>

namespace platform {

void ScriptedMessageBox::QueueAnswer(int answer) {
  std::lock_guard<std::mutex> guard(lock_);
  answers_.push_back(answer);
}

int ScriptedMessageBox::Show(const std::string& text, const std::string& caption, unsigned type) {
  int answer = UnattendedAnswer(type);
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    }
    shown_.push_back({text, caption, type});
  }
  shownChanged_.notify_all();
  return answer;
}

std::vector<ScriptedMessageBox::ShownBox> ScriptedMessageBox::Shown() const {
  std::lock_guard<std::mutex> guard(lock_);
  return shown_;
}

bool ScriptedMessageBox::WaitUntilShown(size_t count, uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> guard(lock_);
  return shownChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return shown_.size() >= count; });
}

}  // namespace platform
