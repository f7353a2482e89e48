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
