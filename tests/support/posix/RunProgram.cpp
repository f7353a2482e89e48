#include "tests/support/RunProgram.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

int StartProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int outputFd,
                 int errorFd, const std::string& folder) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid < 0 ? -1 : pid;
  const int devNull = open("/dev/null", O_RDWR);
  dup2(devNull, 0);
  dup2(outputFd < 0 ? devNull : outputFd, 1);
  dup2(errorFd < 0 ? devNull : errorFd, 2);
  if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
  for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
  if (args[0] != nullptr) execv(args[0], args.data());
  _exit(127);
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                         int timeoutSeconds) {
  ProgramResult result;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  const pid_t pid = StartProgram(argv, environment, pipeFds[1], pipeFds[1]);
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return result;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  char buffer[4096];
  while (true) {
    pollfd fd{pipeFds[0], POLLIN, 0};
    int ready = poll(&fd, 1, 100);
    if (ready > 0) {
      ssize_t got = read(pipeFds[0], buffer, sizeof(buffer));
      if (got <= 0) break;
      result.output.append(buffer, static_cast<size_t>(got));
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void KillProgram(int pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

std::vector<int> ProgramsRunningFrom(const std::string& folder) {
  std::vector<int> pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  const std::string prefix = folder + "/";
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
