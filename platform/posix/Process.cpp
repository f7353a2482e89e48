#include "platform/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <thread>

#include "platform/Path.h"

extern char** environ;

namespace platform {

namespace {

// The target of the link at `path`; empty with `error` set when it cannot be read.
std::string ReadLink(const std::string& path, int& error) {
  char buffer[4096];
  ssize_t length = readlink(path.c_str(), buffer, sizeof(buffer) - 1);
  error = length < 0 ? errno : 0;
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

std::string FirstWordOfCommandLine(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::string first;
  std::getline(in, first, '\0');
  return first;
}

// Every single blank separates, so runs of blanks and tabs survive as empty or tab-holding
// arguments, and a program that joins its arguments with single blanks gets the text back.
std::vector<std::string> SplitAtEachBlank(const std::string& text) {
  std::vector<std::string> words;
  if (text.empty()) return words;
  size_t start = 0;
  while (true) {
    const size_t blank = text.find(' ', start);
    words.push_back(text.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
    if (blank == std::string::npos) return words;
    start = blank + 1;
  }
}

int StartErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return kStartFileNotFound;
    case ENOTDIR: return kStartPathNotFound;
    case EACCES:
    case EPERM: return kStartAccessDenied;
    default: return error == 0 ? 1 : error + 1000;
  }
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Spawns and leaves a detached reaper behind, so the child never lingers as a zombie.
int Spawn(const std::string& directory, const std::string& program, const std::vector<std::string>& arguments,
          bool searchPath) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

  pid_t pid = 0;
  int error = searchPath ? posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
                         : posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return StartErrorFromErrno(error);
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return kStartOk;
}

}  // namespace

std::optional<std::vector<ProcessEntry>> SnapshotProcesses() {
  DIR* proc = opendir("/proc");
  if (!proc) return std::nullopt;
  std::vector<ProcessEntry> processes;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (!end || *end != '\0' || pid <= 0) continue;
    int error = 0;
    std::string exe = ReadLink("/proc/" + std::string(entry->d_name) + "/exe", error);
    // Only a process without a program (a kernel thread, one ending or gone) has no link at all;
    // its command line is empty too. Another user's process hides its link but not its command line.
    if (exe.empty() && error != ENOENT) exe = FirstWordOfCommandLine(static_cast<int>(pid));
    if (exe.empty()) continue;  // kernel threads and processes gone meanwhile
    processes.push_back({static_cast<int>(pid), FileNameOf(exe)});
  }
  closedir(proc);
  return processes;
}

std::optional<std::vector<std::string>> SnapshotModules(int pid) {
  // The client check reads the map of every process: it is read whole, then only the paths are
  // copied out of it.
  const int fd = open(("/proc/" + std::to_string(pid) + "/maps").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  std::vector<std::string> modules;
  for (std::string_view rest = text; !rest.empty();) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    const size_t slash = line.find('/');
    if (slash == std::string_view::npos) continue;
    const std::string_view path = line.substr(slash);
    if (modules.empty() || modules.back() != path) modules.emplace_back(path);
  }
  return modules;
}

int StartProgram(const std::string& directory, const std::string& file, const std::string& parameters) {
  std::string folder = ResolvePath(directory);
  if (!folder.empty() && !IsDirectory(folder)) return kStartPathNotFound;
  std::string program = ResolvePath(JoinPath(folder, file));
  struct stat info;
  if (stat(program.c_str(), &info) != 0) return errno == ENOTDIR ? kStartPathNotFound : kStartFileNotFound;
  if (S_ISDIR(info.st_mode) || access(program.c_str(), X_OK) != 0) return kStartAccessDenied;
  return Spawn(folder, program, SplitAtEachBlank(parameters), false);
}

int StartProgramWithArguments(const std::string& directory, const std::string& program,
                              const std::vector<std::string>& arguments) {
  const std::string folder = ResolvePath(directory);
  if (!folder.empty() && !IsDirectory(folder)) return kStartPathNotFound;
  return Spawn(folder, program, arguments, program.find('/') == std::string::npos);
}

int OpenInBrowser(const std::string& address) { return Spawn({}, "xdg-open", {address}, true); }

int CurrentProcessId() { return static_cast<int>(getpid()); }

}  // namespace platform
