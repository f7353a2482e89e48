#include "platform/TerminalMessageBox.h"

#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/TerminalInput.h"
#include "platform/TerminalText.h"

namespace platform {

namespace {

struct Choice {
  char key;
  const char* label;
  int result;
};

constexpr unsigned kButtonsYesNoCancel = 0x3;
constexpr uint32_t kReleasePollMs = 50;

std::vector<Choice> ChoicesFor(unsigned type) {
  switch (ButtonsOf(type)) {
    case kBoxOk: return {{'o', "[O]K", kResultOk}};
    case kBoxYesNo: return {{'y', "[Y]es", kResultYes}, {'n', "[N]o", kResultNo}};
    case kButtonsYesNoCancel:
      return {{'y', "[Y]es", kResultYes}, {'n', "[N]o", kResultNo}, {'c', "[C]ancel", kResultCancel}};
    default: return {{'o', "[O]K", kResultOk}, {'c', "[C]ancel", kResultCancel}};
  }
}

std::string PromptFor(const std::vector<Choice>& choices) {
  std::string prompt;
  for (const Choice& choice : choices) prompt += (prompt.empty() ? "" : " / ") + std::string(choice.label);
  return prompt + "? ";
}

class TerminalMessageBox final : public MessageBoxProvider {
 public:
  explicit TerminalMessageBox(TerminalBoxOptions options)
      : options_(std::move(options)), input_(options_.inputFd) {}

  int Show(const std::string& text, const std::string& caption, unsigned type) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (options_.opening) options_.opening(true);
    std::fprintf(stderr, "\n[%s]\n%s\n", TerminalLine(caption).c_str(), TerminalText(text).c_str());
    const bool interactive = options_.interactive.value_or(IsTerminal(options_.inputFd));
    const int answer = interactive ? Ask(type) : UnattendedAnswer(type);
    if (options_.opening) options_.opening(false);
    return answer;
  }

 private:
  int Ask(unsigned type) {
    const std::vector<Choice> choices = ChoicesFor(type);
    const std::string prompt = PromptFor(choices);
    std::string line;
    while (true) {
      std::fputs(prompt.c_str(), stderr);
      std::fflush(stderr);
      LineReader::Result read;
      while ((read = input_.ReadLine(line, kReleasePollMs)) == LineReader::Result::Waiting) {
        if (!options_.release) continue;
        if (const int released = options_.release(type)) {
          std::fputs("\n", stderr);
          return released;
        }
      }
      if (read == LineReader::Result::Ended) return UnattendedAnswer(type);
      // A bare Enter confirms a box that has only one button.
      if (line.empty() && choices.size() == 1) return choices.front().result;
      if (line.empty()) continue;
      const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(line.front())));
      for (const Choice& choice : choices)
        if (choice.key == key) return choice.result;
    }
  }

  const TerminalBoxOptions options_;
  std::mutex lock_;
  LineReader input_;  // guarded by lock_
};

}  // namespace

std::shared_ptr<MessageBoxProvider> MakeTerminalMessageBox(TerminalBoxOptions options) {
  return std::make_shared<TerminalMessageBox>(std::move(options));
}

}  // namespace platform
