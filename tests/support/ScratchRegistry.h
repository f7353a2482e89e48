#pragma once
// The registry that this process reads and writes while the object lives: on Linux a store
// folder of its own (SOLANE_REGISTRY_DIR), on Windows a scratch key that stands in for every root
// and is removed at the end, so tests sharing a Wine prefix never see each other's values.

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
  std::unique_ptr<ScopedEnvironment> store_;  // Linux
  std::wstring key_;                          // Windows: the scratch key under HKEY_CURRENT_USER
};
