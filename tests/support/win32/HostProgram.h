#pragma once
// Under Wine, test programs start the host's own programs (python3, openssl, md5sum) by their
// host paths. Wine gives no handle to wait on such a program: its end is seen in files.

#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

// The host's path of a Windows path ("Z:\tmp\x" is "/tmp/x"); empty outside Wine.
std::string HostPath(const std::string& path);
// `text` as one word of the host's shell.
std::string ShellQuoted(const std::string& text);
// Starts `command` with the host's shell, without waiting. The commands here are ASCII.
bool StartHostShell(const std::string& command);
// The host path of a new, empty folder for a host program's files, in the Wine prefix's own
// temporary folder: builds side by side on one machine have their own prefixes, whose process ids
// repeat. Empty on failure.
std::string HostFilesFolder();
// The file at the host's `hostPath`, through Wine's drive Z:; empty when it cannot be read.
std::string ReadHostFile(const std::string& hostPath);
// Runs the host program argv[0] (its host path) as RunProgram does; Windows paths among the
// arguments are given as their host paths.
ProgramResult RunHostProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                             int timeoutSeconds);
