#include "platform/TerminalMessageBox.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

namespace {

struct Choice {
  char key;
  const char* label;
  int result;
};

constexpr unsigned kButtonsYesNoCancel = 0x3;

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

// Reads one line; false at the end of input or on a read error.
bool ReadAnswerLine(std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  return c != EOF || !line.empty();
}

class TerminalMessageBox final : public MessageBoxProvider {
 public:
  int Show(const std::string& text, const std::string& caption, unsigned type) override {
    std::lock_guard<std::mutex> guard(lock_);
    std::fprintf(stderr, "\n[%s]\n%s\n", caption.c_str(), text.c_str());
    if (!isatty(STDIN_FILENO)) return UnattendedAnswer(type);
    return Ask(type);
  }

 private:
  static int Ask(unsigned type) {
    const std::vector<Choice> choices = ChoicesFor(type);
    const std::string prompt = PromptFor(choices);
    std::string line;
    while (true) {
      std::fputs(prompt.c_str(), stderr);
      std::fflush(stderr);
      if (!ReadAnswerLine(line)) return UnattendedAnswer(type);
      // A bare Enter confirms a box that has only one button.
      if (line.empty() && choices.size() == 1) return choices.front().result;
      if (line.empty()) continue;
      const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(line.front())));
      for (const Choice& choice : choices)
        if (choice.key == key) return choice.result;
    }
  }

  std::mutex lock_;
};

}  // namespace

std::shared_ptr<MessageBoxProvider> MakeTerminalMessageBox() { return std::make_shared<TerminalMessageBox>(); }

}  // namespace platform
