#pragma once
// Runs a program to its end with standard input from /dev/null and collects its output. Under
// Wine a program named by a host path ("/usr/bin/openssl") runs as the host's own
// (tests/support/win32/HostProgram.h), any other as a Windows program.

#include <string>
#include <vector>

struct ProgramResult {
  int exitCode = -1;  // -1 when it could not be run or was killed
  std::string output;  // standard output and standard error, interleaved
};

// `environment` entries ("NAME=value") are added to this process's environment; an entry that
// is a bare name ("DISPLAY") removes that variable.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
                         int timeoutSeconds = 60);

// Starts argv[0] (a path) without waiting, with `environment` as above, standard input from /dev/null, standard
// output and error on `outputFd` and `errorFd` (-1: /dev/null), in `folder` unless it is empty. Its id, or -1.
int StartProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int outputFd,
                 int errorFd, const std::string& folder = "");

// Ends the started program `pid` outright (SIGKILL, TerminateProcess) and waits for its end.
void KillProgram(int pid);

// The ids of the running programs whose executable lies inside `folder` ("/"-separated, no
// trailing separator), a replaced or deleted one included.
std::vector<int> ProgramsRunningFrom(const std::string& folder);
