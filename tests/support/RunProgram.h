#pragma once
// Runs a program to its end with standard input from /dev/null and collects its output.

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
