#include "platform/WindowsProgram.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/Path.h"
#include "platform/Process.h"

namespace platform {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsRunnable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string FindOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsRunnable(name) ? name : "";
  std::istringstream folders(Environment("PATH"));
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = JoinPath(folder.empty() ? "." : folder, name);
    if (IsRunnable(candidate)) return candidate;
  }
  return {};
}

}  // namespace

bool IsWindowsProgram(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[2] = {};
  const ssize_t got = read(fd, head, sizeof(head));
  close(fd);
  return got == 2 && head[0] == 'M' && head[1] == 'Z';
}

std::string WineProgram() {
  const std::string named = Environment("WINE");
  return FindOnPath(named.empty() ? "wine" : named);
}

std::string WinePrefix() {
  const std::string prefix = Environment("WINEPREFIX");
  if (!prefix.empty()) return prefix;
  std::string home = Environment("HOME");
  if (home.empty()) {
    if (const passwd* user = getpwuid(getuid())) home = user->pw_dir ? user->pw_dir : "";
  }
  return home.empty() ? "" : JoinPath(home, ".wine");
}

int StartProgramOrThroughWine(const std::string& directory, const std::string& file, const std::string& parameters) {
  const std::string program = ResolvePath(JoinPath(ResolvePath(directory), file));
  if (!IsWindowsProgram(program)) return StartProgram(directory, file, parameters);
  const std::string wine = WineProgram();
  if (wine.empty()) return kStartWineMissing;
  // Wine takes the program's own arguments after its path, split at blanks as for any program.
  std::vector<std::string> arguments{program};
  std::istringstream words(parameters);
  std::string word;
  while (words >> word) arguments.push_back(word);
  return StartProgramWithArguments(directory, wine, arguments);
}

}  // namespace platform
