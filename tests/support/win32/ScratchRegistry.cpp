#include "tests/support/ScratchRegistry.h"

#include <windows.h>

namespace {

// The roots the launcher uses, each given a subkey of the scratch key.
const struct {
  HKEY root;
  const wchar_t* name;
} kRoots[] = {{HKEY_CLASSES_ROOT, L"ClassesRoot"}, {HKEY_CURRENT_USER, L"CurrentUser"},
              {HKEY_LOCAL_MACHINE, L"LocalMachine"}, {HKEY_USERS, L"Users"}};

int nesting = 0;  // objects alive at once (one test's two installations) share the outermost's key

}  // namespace

// The roots are redirected for the whole process (RegOverridePredefKey) once every stand-in key
// is made under the real HKEY_CURRENT_USER; the real roots come back before the scratch key goes.
ScratchRegistry::ScratchRegistry(const std::string&) {
  if (nesting++ > 0) return;
  key_ = L"Software\\Solane Tests\\" + std::to_wstring(GetCurrentProcessId());
  HKEY stands[std::size(kRoots)] = {};
  for (size_t i = 0; i < std::size(kRoots); ++i)
    RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\" + kRoots[i].name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_ALL_ACCESS, nullptr, &stands[i], nullptr);
  for (size_t i = 0; i < std::size(kRoots); ++i) {
    if (!stands[i]) continue;
    RegOverridePredefKey(kRoots[i].root, stands[i]);
    RegCloseKey(stands[i]);
  }
}

ScratchRegistry::~ScratchRegistry() {
  if (--nesting > 0) return;
  for (const auto& entry : kRoots) RegOverridePredefKey(entry.root, nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
}
