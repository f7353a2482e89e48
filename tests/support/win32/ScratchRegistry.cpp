#include "tests/support/ScratchRegistry.h"

#include <windows.h>

#include <atomic>

// The launcher's registry calls go to a key of the test's own (SOLANE_REGISTRY_KEY); the system's
// (the trusted roots that a secure transfer reads, for one) stays as it is.
ScratchRegistry::ScratchRegistry(const std::string&) {
  static std::atomic<unsigned> sequence{0};
  const std::string key =
      "Software\\Solane Tests\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(sequence++);
  key_.assign(key.begin(), key.end());
  store_ = std::make_unique<ScopedEnvironment>("SOLANE_REGISTRY_KEY", key);
}

ScratchRegistry::~ScratchRegistry() {
  store_.reset();
  RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Solane Tests");  // only once it is empty
}
