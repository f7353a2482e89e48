#pragma once
// A fresh engine on a scratch installation folder for each test.

#include <filesystem>
#include <string>

#include "patch/PatchEngine.h"

class TestInstallation {
 public:
  TestInstallation();
  ~TestInstallation();
  TestInstallation(const TestInstallation&) = delete;
  TestInstallation& operator=(const TestInstallation&) = delete;

  PatchEngine& Engine() { return PatchEngine::Instance(); }
  const std::filesystem::path& Dir() const { return dir_; }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void WriteFile(const std::string& name, const std::string& content) const;
  std::string ReadFile(const std::string& name) const;
  // Writes SolaneLauncher.CFG with the given body (lines of the one section).
  void WriteConfig(const std::string& lines) const;

 private:
  std::filesystem::path dir_;
  std::string previousRegistryDir_;
  bool hadRegistryDir_ = false;
  std::string previousRuntimeDir_;
};
