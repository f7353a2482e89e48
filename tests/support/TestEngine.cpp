#include "tests/support/TestEngine.h"

TestInstallation::TestInstallation() {
  PatchEngine::Destroy();
  PatchEngine::Instance().SetLauncherExePathForTesting(Path("SolaneLauncher"));
}

TestInstallation::~TestInstallation() { PatchEngine::Destroy(); }

void TestInstallation::WriteConfig(const std::string& lines) const {
  WriteFile("SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\n" + lines);
}
