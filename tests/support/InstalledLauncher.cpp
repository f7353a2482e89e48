#include "tests/support/InstalledLauncher.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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
  chmod(RuntimeDir().c_str(), 0700);
}

InstalledLauncher::~InstalledLauncher() {
  for (int pid : RunningPrograms()) kill(pid, SIGKILL);
  WaitUntilNoneRuns(5);
}

std::vector<std::string> InstalledLauncher::Environment() const {
  // A name without "=" removes the variable from the child's environment.
  return {"SOLANE_REGISTRY_DIR=" + RegistryDir(), "XDG_RUNTIME_DIR=" + RuntimeDir(), "DISPLAY", "WAYLAND_DISPLAY",
          "SOLANE_CLIENT_STAY_SECONDS"};
}

int InstalledLauncher::Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment) const {
  std::vector<std::string> command = argv;
  if (!command.empty()) command[0] = PathOf(command[0]);
  return StartProgram(command, environment, -1, -1, dir_);
}

std::vector<int> InstalledLauncher::RunningPrograms() const {
  std::vector<int> pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  const std::string prefix = dir_ + "/";
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (!end || *end != '\0' || pid <= 0) continue;
    char target[4096];
    const ssize_t length = readlink(("/proc/" + std::string(entry->d_name) + "/exe").c_str(), target, sizeof(target));
    // A replaced or deleted program still shows its old path (with " (deleted)" after it).
    if (length > 0 && std::string(target, static_cast<size_t>(length)).starts_with(prefix))
      pids.push_back(static_cast<int>(pid));
  }
  closedir(proc);
  return pids;
}

bool InstalledLauncher::WaitUntilNoneRuns(int timeoutSeconds) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (!RunningPrograms().empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}
