#pragma once
// A fresh engine on a scratch installation folder for each test, with the registry store and
// the single-instance lock inside that folder, as on a machine of its own.

#include <filesystem>
#include <string>

#include "patch/PatchEngine.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/ScratchRegistry.h"

class TestInstallation {
 public:
  TestInstallation() {
    PatchEngine::Destroy();
    PatchEngine::Instance().SetLauncherExePathForTesting(Path("SolaneLauncher"));
  }
  ~TestInstallation() { PatchEngine::Destroy(); }
  TestInstallation(const TestInstallation&) = delete;
  TestInstallation& operator=(const TestInstallation&) = delete;

  PatchEngine& Engine() { return PatchEngine::Instance(); }
  const std::filesystem::path& Dir() const { return dir_; }
  std::string Path(const std::string& name) const { return scratch_.PathOf(name); }
  void WriteFile(const std::string& name, const std::string& content) const { scratch_.Write(name, content); }
  // The file's content, empty when it cannot be read.
  std::string ReadFile(const std::string& name) const { return scratch_.Read(name).value_or(""); }
  // Writes SolaneLauncher.CFG with the given body (lines of the one section).
  void WriteConfig(const std::string& lines) const {
    WriteFile("SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\n" + lines);
  }

 private:
  ScratchDir scratch_;
  std::filesystem::path dir_{scratch_.Path()};
  ScratchRegistry registry_{scratch_.PathOf(".registry")};
  ScopedEnvironment runtimeDir_{"XDG_RUNTIME_DIR", scratch_.Path()};
};
