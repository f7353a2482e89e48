#pragma once
// The registry that the launcher's code in this process reads and writes while the object lives:
// on Linux a store folder of its own (SOLANE_REGISTRY_DIR), on Windows a scratch key of its own
// (SOLANE_REGISTRY_KEY), removed at the end, so tests sharing a Wine prefix never meet.

#include <memory>
#include <string>

#include "tests/support/ScopedEnvironment.h"

class ScratchRegistry {
 public:
  explicit ScratchRegistry(const std::string& storeFolder);
  ~ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

 private:
  std::unique_ptr<ScopedEnvironment> store_;
  std::wstring key_;  // Windows: the scratch key under HKEY_CURRENT_USER
};
