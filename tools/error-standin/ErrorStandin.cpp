// Stands in for the error reporter: records how it was started, beside itself in
// SolaneError.log, and ends.

#include <cstdio>
#include <fstream>
#include <string>

#include "patch/VersionNoteDefine.h"
#include "platform/Path.h"

SOLANE_DEFINE_VERSION_NOTE(1, 0, 0, 0);

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
  std::printf("%s\n", commandLine.c_str());
  std::fflush(stdout);

  const std::string log = platform::JoinPath(platform::ParentOf(platform::ExecutablePath()), "SolaneError.log");
  std::ofstream(log, std::ios::app) << commandLine << "\n";
  return 0;
}
