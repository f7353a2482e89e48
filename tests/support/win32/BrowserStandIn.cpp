#include "tests/support/BrowserStandIn.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/WideText.h"

namespace {

const wchar_t* const kClassCommands[] = {L"Software\\Classes\\http\\shell\\open\\command",
                                         L"Software\\Classes\\https\\shell\\open\\command"};

std::optional<std::wstring> ReadCommand(const wchar_t* key) {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                   nullptr, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                   text.data(), &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

void WriteCommand(const wchar_t* key, const std::wstring& command) {
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, nullptr, REG_SZ, command.c_str(),
                  static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

struct BrowserStandIn::SavedCommand {
  std::vector<std::optional<std::wstring>> commands;
};

BrowserStandIn::BrowserStandIn(const std::string& folder)
    : record_(folder + "/opened"), saved_(std::make_unique<SavedCommand>()) {
  CreateDirectoryW(platform::WidePath(folder).c_str(), nullptr);
  const std::wstring record = platform::WidePath(record_);
  for (const wchar_t* key : kClassCommands) {
    saved_->commands.push_back(ReadCommand(key));
    // The command interpreter writes the address and its line end in one go.
    WriteCommand(key, L"cmd.exe /c echo %1> \"" + record + L"\"");
  }
}

BrowserStandIn::~BrowserStandIn() {
  for (size_t i = 0; i < std::size(kClassCommands); ++i) {
    if (saved_->commands[i]) WriteCommand(kClassCommands[i], *saved_->commands[i]);
    else RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kClassCommands[i], nullptr);
  }
}
