// Stands in for the game client: records how it was started, beside itself in
// SolaneClient.log, and stays alive for SOLANE_CLIENT_STAY_SECONDS seconds so that a launcher
// can see it running.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "patch/VersionNoteDefine.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/ProgramArguments.h"

SOLANE_DEFINE_VERSION_NOTE(1, 0, 0, 0);

namespace {

constexpr int kLongestStaySeconds = 3600;

int StaySeconds() {
  const char* text = std::getenv("SOLANE_CLIENT_STAY_SECONDS");
  if (!text) return 0;
  const int seconds = std::atoi(text);
  return seconds < 0 ? 0 : seconds > kLongestStaySeconds ? kLongestStaySeconds : seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
  std::string commandLine;
  for (size_t i = 0; i < arguments.size(); ++i) commandLine += (i > 0 ? " " : "") + arguments[i];
  std::printf("%s\n", commandLine.c_str());
  std::fflush(stdout);

  const std::string log = platform::JoinPath(platform::ParentOf(platform::ExecutablePath()), "SolaneClient.log");
  if (std::FILE* file = platform::OpenFile(log, "ab")) {
    std::fprintf(file, "%s\n", commandLine.c_str());
    std::fclose(file);
  }
  std::this_thread::sleep_for(std::chrono::seconds(StaySeconds()));
  return 0;
}
