#include "platform/MessageBox.h"

#include <mutex>

#include "platform/Path.h"
#include "platform/TerminalMessageBox.h"

namespace platform {

namespace {

std::mutex& ProviderLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<MessageBoxProvider>& InstalledProvider() {
  static std::shared_ptr<MessageBoxProvider> provider;
  return provider;
}

std::string ApplicationCaption() {
  std::string name = FileNameOf(ExecutablePath());
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? "SolaneLauncher" : name;
}

constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kButtonsYesNoCancel = 0x3;

}  // namespace

void SetMessageBoxProvider(std::shared_ptr<MessageBoxProvider> provider) {
  std::lock_guard<std::mutex> guard(ProviderLock());
  InstalledProvider() = std::move(provider);
}

std::shared_ptr<MessageBoxProvider> CurrentMessageBoxProvider() {
  std::lock_guard<std::mutex> guard(ProviderLock());
  std::shared_ptr<MessageBoxProvider>& provider = InstalledProvider();
  if (!provider) provider = MakeTerminalMessageBox();
  return provider;
}

int UnattendedAnswer(unsigned type) {
  switch (ButtonsOf(type)) {
    case kBoxOk: return kResultOk;
    case kBoxYesNo: return kResultNo;
    default: return kResultCancel;
  }
}

int ShowMessageBox(const std::string& text, unsigned type) {
  const unsigned buttons = ButtonsOf(type);
  const bool takesExclamation =
      buttons == kBoxOk || buttons == kBoxOkCancel || buttons == kButtonsYesNoCancel || buttons == kBoxYesNo;
  if ((type & kIconMask) == 0 && takesExclamation) type |= kBoxIconExclamation;
  // The provider is shown outside the lock: a box may stay open for minutes.
  std::shared_ptr<MessageBoxProvider> provider = CurrentMessageBoxProvider();
  return provider->Show(text, ApplicationCaption(), type);
}

}  // namespace platform
