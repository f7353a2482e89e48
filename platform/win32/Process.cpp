#include "platform/Process.h"

#include "platform/win32/WideText.h"  // windows.h before the headers that need it

#include <shellapi.h>
#include <tlhelp32.h>

#include "platform/Path.h"

namespace platform {

namespace {

int StartErrorFrom(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return kStartFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: return kStartPathNotFound;
    case ERROR_ACCESS_DENIED: return kStartAccessDenied;
    default: return error == 0 ? 1 : static_cast<int>(error) + 1000;
  }
}

// Starts without waiting, in a process group of its own and without a console window of the
// launcher's, so that the program outlives the launcher.
int Create(const std::string& directory, const std::wstring& application, std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const std::wstring folder = WidePath(directory);
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), commandLine.data(), nullptr, nullptr,
                      FALSE, CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return StartErrorFrom(GetLastError());
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return kStartOk;
}

}  // namespace

std::optional<std::vector<ProcessEntry>> SnapshotProcesses() {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return std::nullopt;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::vector<ProcessEntry> processes;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
    processes.push_back({static_cast<int>(entry.th32ProcessID), FileNameOf(NarrowPath(entry.szExeFile))});
  return processes;
}

std::optional<std::vector<std::string>> SnapshotModules(int pid) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, static_cast<DWORD>(pid)));
  if (!snapshot.Valid()) return std::nullopt;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::vector<std::string> modules;
  for (BOOL more = Module32FirstW(snapshot.Get(), &entry); more; more = Module32NextW(snapshot.Get(), &entry))
    modules.push_back(NarrowPath(entry.szExePath));
  return modules;
}

int StartProgram(const std::string& directory, const std::string& file, const std::string& parameters) {
  const std::string folder = ResolvePath(directory);
  if (!folder.empty()) {
    const DWORD attributes = GetFileAttributesW(WidePath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kStartPathNotFound;
  }
  const std::wstring program = WidePath(ResolvePath(JoinPath(folder, file)));
  const DWORD attributes = GetFileAttributesW(program.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return StartErrorFrom(GetLastError());
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kStartAccessDenied;
  // Every single blank separates, as on POSIX: the C runtime's parser would take a run of blanks
  // (a folder "Solane  Games" on the hand-over's /TO:) for one separator, so each piece is quoted
  // as it needs to come back whole, empty ones included.
  std::wstring commandLine = QuotedArgument(program);
  if (!parameters.empty()) {
    for (size_t start = 0;;) {
      const size_t blank = parameters.find(' ', start);
      const size_t length = blank == std::string::npos ? blank : blank - start;
      commandLine += L" " + QuotedArgument(Widen(parameters.substr(start, length)));
      if (blank == std::string::npos) break;
      start = blank + 1;
    }
  }
  return Create(folder, program, commandLine);
}

int StartProgramWithArguments(const std::string& directory, const std::string& program,
                              const std::vector<std::string>& arguments) {
  const std::string folder = ResolvePath(directory);
  std::wstring commandLine = QuotedArgument(WidePath(program));
  for (const std::string& argument : arguments) commandLine += L" " + QuotedArgument(Widen(argument));
  // Without an application name the system looks a bare name up on the search path.
  const bool bareName = program.find_first_of("/\\") == std::string::npos;
  return Create(folder, bareName ? std::wstring() : WidePath(program), commandLine);
}

int OpenInBrowser(const std::string& address) {
  const std::wstring target = Widen(address);
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"open";
  execute.lpFile = target.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&execute)) return kStartOk;
  return StartErrorFrom(GetLastError());
}

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

}  // namespace platform
