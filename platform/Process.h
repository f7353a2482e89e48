#pragma once
// Processes: a snapshot of the running ones with their modules, and starting a program without
// waiting for it.

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  int pid = 0;
  std::string exeFileName;  // the executable's file name, without folders
};

// All processes the system lets us see; none when the snapshot cannot be taken.
std::optional<std::vector<ProcessEntry>> SnapshotProcesses();

// The full paths of the files mapped into a process; none when they cannot be read.
std::optional<std::vector<std::string>> SnapshotModules(int pid);

// Errors as the launcher reports them: 0 success, 2 file not found, 3 path not found,
// 5 access denied, other values for anything else.
enum StartError : int { kStartOk = 0, kStartFileNotFound = 2, kStartPathNotFound = 3, kStartAccessDenied = 5 };

// Starts `file` in `directory` with `parameters` split at each single blank into arguments
// (joined again with single blanks they are `parameters` exactly), and does not wait for it.
// The program runs in a session of its own, so it outlives the launcher.
int StartProgram(const std::string& directory, const std::string& file, const std::string& parameters);

// Starts `program` (a path, or a name looked up on the PATH) in `directory` with `arguments` as
// they are, and does not wait for it; in a session of its own like StartProgram.
int StartProgramWithArguments(const std::string& directory, const std::string& program,
                              const std::vector<std::string>& arguments);

// Opens an address in the desktop's browser (xdg-open). Returns a StartError.
int OpenInBrowser(const std::string& address);

// The process id of this process.
int CurrentProcessId();

}  // namespace platform
