#pragma once
// Modal message boxes behind one provider: the wx box, the terminal and a scripted one for tests.

#include <memory>
#include <string>

namespace platform {

// Box types and results keep the values the engine compares with.
enum MessageBoxType : unsigned {
  kBoxOk = 0x0,
  kBoxOkCancel = 0x1,
  kBoxYesNo = 0x4,
  kBoxIconStop = 0x10,
  kBoxIconQuestion = 0x20,
  kBoxIconExclamation = 0x30,
  kBoxIconInformation = 0x40,
};
enum MessageBoxResult : int { kResultOk = 1, kResultCancel = 2, kResultYes = 6, kResultNo = 7 };

inline unsigned ButtonsOf(unsigned type) { return type & 0x0f; }

class MessageBoxProvider {
 public:
  virtual ~MessageBoxProvider() = default;
  // Shows `text` and returns the button pressed. Called from any thread.
  virtual int Show(const std::string& text, const std::string& caption, unsigned type) = 0;
};

// The provider in force; the terminal provider until another is installed.
void SetMessageBoxProvider(std::shared_ptr<MessageBoxProvider> provider);
std::shared_ptr<MessageBoxProvider> CurrentMessageBoxProvider();

// The answer when nobody can be asked: OK for an OK box, No for Yes/No, Cancel for the rest,
// so that no question can be repeated forever.
int UnattendedAnswer(unsigned type);

// Shows a box with the application's caption (the executable's name without extension). A type
// without an icon gets the exclamation icon, as the application's boxes always show one.
int ShowMessageBox(const std::string& text, unsigned type);

}  // namespace platform
