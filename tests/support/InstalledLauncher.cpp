#include "tests/support/InstalledLauncher.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/PublishedRelease.h"

std::string LauncherConfig(uint16_t port, const std::string& moreLines) {
  // Over HTTP the port travels with the host text.
  return "[SolaneLauncher.CFG]\r\nRun=7\r\nUrl_7=127.0.0.1:" + std::to_string(port) +
         "\r\nType_7=2\r\nServer_Path_7=patch/\r\n" + moreLines;
}

InstalledLauncher::InstalledLauncher(const std::string& folderName) : dir_(scratch_.PathOf(folderName)) {
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

std::string InstalledLauncher::Install(const std::string& builtPath, const std::string& name,
                                       const std::string& version) const {
  return InstallProgram(builtPath, PathOf(name), version);
}

bool InstalledLauncher::Write(const std::string& name, const std::string& bytes) const {
  return !scratch_.Write(std::filesystem::path(dir_).filename().string() + "/" + name, bytes).empty();
}

std::optional<std::string> InstalledLauncher::Read(const std::string& name) const {
  return scratch_.Read(std::filesystem::path(dir_).filename().string() + "/" + name);
}

bool InstalledLauncher::Exists(const std::string& name) const {
  std::error_code error;
  return std::filesystem::exists(PathOf(name), error);
}

std::vector<std::string> InstalledLauncher::Environment() const {
  // A name without "=" removes the variable from the child's environment.
  return {"SOLANE_REGISTRY_DIR=" + RegistryDir(), "XDG_RUNTIME_DIR=" + RuntimeDir(), "DISPLAY", "WAYLAND_DISPLAY",
          "SOLANE_CLIENT_STAY_SECONDS"};
}

ProgramResult InstalledLauncher::Run(const std::vector<std::string>& arguments, const std::string& program,
                                     int timeoutSeconds) const {
  std::vector<std::string> argv{PathOf(program)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunProgram(argv, Environment(), timeoutSeconds);
}

int InstalledLauncher::Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment) const {
  if (argv.empty()) return -1;
  const std::string program = PathOf(argv[0]);
  const pid_t pid = fork();
  if (pid != 0) return pid < 0 ? -1 : pid;
  const int devNull = open("/dev/null", O_RDWR);
  for (int fd = 0; fd <= 2; ++fd) dup2(devNull, fd);
  if (chdir(dir_.c_str()) != 0) _exit(127);
  for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
  std::vector<char*> args{const_cast<char*>(program.c_str())};
  for (size_t i = 1; i < argv.size(); ++i) args.push_back(const_cast<char*>(argv[i].c_str()));
  args.push_back(nullptr);
  execv(program.c_str(), args.data());
  _exit(127);
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
