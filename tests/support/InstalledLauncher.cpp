#include "tests/support/InstalledLauncher.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

std::string LauncherConfig(uint16_t port, const std::string& moreLines) {
  // Over HTTP the port travels with the host text.
  return "[SolaneLauncher.CFG]\r\nRun=7\r\nUrl_7=127.0.0.1:" + std::to_string(port) +
         "\r\nType_7=2\r\nServer_Path_7=patch/\r\n" + moreLines;
}

InstalledLauncher::InstalledLauncher(const std::string& folderName)
    : folderName_(folderName), dir_(scratch_.PathOf(folderName)) {
  std::error_code error;
  std::filesystem::create_directories(dir_, error);
  std::filesystem::create_directories(RegistryDir(), error);
  std::filesystem::create_directories(RuntimeDir(), error);
  std::filesystem::permissions(RuntimeDir(), std::filesystem::perms::owner_all, error);
}

InstalledLauncher::~InstalledLauncher() {
  for (int pid : ProgramsRunningFrom(dir_)) KillProgram(pid);
  WaitUntilNoneRuns(5);
}

std::vector<std::string> InstalledLauncher::Environment() const {
  // A name without "=" removes the variable from the child's environment.
  return {"SOLANE_REGISTRY_DIR=" + RegistryDir(), "XDG_RUNTIME_DIR=" + RuntimeDir(), "DISPLAY", "WAYLAND_DISPLAY",
          "SOLANE_CLIENT_STAY_SECONDS"};
}

ProgramResult InstalledLauncher::Run(std::vector<std::string> arguments, const std::string& program,
                                     int timeoutSeconds) const {
#ifdef _WIN32
  // Windows has no display to take away: the window opens unless the console is asked for.
  if (program.ends_with(kLauncherName) && std::find(arguments.begin(), arguments.end(), "--console") == arguments.end())
    arguments.insert(arguments.begin(), "--console");
#endif
  arguments.insert(arguments.begin(), PathOf(program));
  return RunProgram(arguments, Environment(), timeoutSeconds);
}

int InstalledLauncher::Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment) const {
  std::vector<std::string> command = argv;
  if (!command.empty()) command[0] = PathOf(command[0]);
  return StartProgram(command, environment, -1, -1, dir_);
}

bool InstalledLauncher::WaitUntilNoneRuns(int timeoutSeconds) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (!ProgramsRunningFrom(dir_).empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}
