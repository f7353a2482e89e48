#include "tests/support/TestEngine.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

TestInstallation::TestInstallation() {
  char pattern[] = "/tmp/solane-install-XXXXXX";
  dir_ = mkdtemp(pattern);
  if (const char* previous = std::getenv("SOLANE_REGISTRY_DIR")) {
    hadRegistryDir_ = true;
    previousRegistryDir_ = previous;
  }
  setenv("SOLANE_REGISTRY_DIR", (dir_ / ".registry").c_str(), 1);
  // Each installation has its own single-instance name, as separate machines would.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) previousRuntimeDir_ = runtime;
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  PatchEngine::Destroy();
  PatchEngine::Instance().SetLauncherExePathForTesting((dir_ / "SolaneLauncher").string());
}

TestInstallation::~TestInstallation() {
  PatchEngine::Destroy();
  if (hadRegistryDir_)
    setenv("SOLANE_REGISTRY_DIR", previousRegistryDir_.c_str(), 1);
  else
    unsetenv("SOLANE_REGISTRY_DIR");
  if (previousRuntimeDir_.empty())
    unsetenv("XDG_RUNTIME_DIR");
  else
    setenv("XDG_RUNTIME_DIR", previousRuntimeDir_.c_str(), 1);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void TestInstallation::WriteFile(const std::string& name, const std::string& content) const {
  std::filesystem::path path = dir_ / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string TestInstallation::ReadFile(const std::string& name) const {
  std::ifstream in(dir_ / name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void TestInstallation::WriteConfig(const std::string& lines) const {
  WriteFile("SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\n" + lines);
}
