// Windows programs started by the tests, with their output through a pipe; a program named by a
// host path runs as the host's own.
#include "tests/support/RunProgram.h"

#include <windows.h>
#include <io.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>

#include "platform/win32/WideText.h"
#include "tests/support/win32/HostProgram.h"

namespace {

std::wstring Lowered(std::wstring text) {
  for (wchar_t& c : text) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
  return text;
}

// This process's environment with `changes` made ("NAME=value" sets, a bare name removes), as a
// block for CreateProcessW.
std::wstring EnvironmentBlock(const std::vector<std::string>& changes) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) entries.emplace_back(entry);
    FreeEnvironmentStringsW(block);
  }
  for (const std::string& change : changes) {
    const std::wstring wide = platform::Widen(change);
    const std::wstring name = Lowered(wide.substr(0, wide.find(L'=')));
    std::erase_if(entries, [&](const std::wstring& entry) {
      return entry.find(L'=', 1) != std::wstring::npos && Lowered(entry.substr(0, entry.find(L'=', 1))) == name;
    });
    if (wide.find(L'=') != std::wstring::npos) entries.push_back(wide);
  }
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  return block + L'\0';
}

HANDLE Inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
  return copy;
}

// Starts a Windows program with standard output and error on `output` and `error` (the null
// device when none); its process handle, or nullptr.
HANDLE StartWindowsProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                           HANDLE output, HANDLE error, const std::string& folder) {
  if (argv.empty()) return nullptr;
  std::wstring commandLine;
  for (const std::string& argument : argv)
    commandLine += (commandLine.empty() ? L"" : L" ") + platform::QuotedArgument(platform::Widen(argument));
  std::wstring block = EnvironmentBlock(environment);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null;
  startup.hStdOutput = output ? Inheritable(output) : null;
  startup.hStdError = error ? Inheritable(error) : null;
  PROCESS_INFORMATION process{};
  const std::wstring application = platform::WidePath(argv[0]);
  const std::wstring directory = platform::WidePath(folder);
  const BOOL started = CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_UNICODE_ENVIRONMENT, block.data(),
                                      folder.empty() ? nullptr : directory.c_str(), &startup, &process);
  for (HANDLE handle : {startup.hStdOutput, startup.hStdError})
    if (handle != null) CloseHandle(handle);
  CloseHandle(null);
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

}  // namespace

int StartProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int outputFd,
                 int errorFd, const std::string& folder) {
  const auto handleOf = [](int fd) { return fd < 0 ? nullptr : reinterpret_cast<HANDLE>(_get_osfhandle(fd)); };
  HANDLE process = StartWindowsProgram(argv, environment, handleOf(outputFd), handleOf(errorFd), folder);
  if (!process) return -1;
  const int pid = static_cast<int>(GetProcessId(process));
  CloseHandle(process);
  return pid;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                         int timeoutSeconds) {
  if (!argv.empty() && argv[0].starts_with("/")) return RunHostProgram(argv, environment, timeoutSeconds);
  ProgramResult result;
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return result;
  // Wine hands the standard handles to every program started from here on, desktop process
  // included, so the pipe's end is no sign: what it started are the new programs of its folder.
  const std::string folder = argv.empty() ? "" : argv[0].substr(0, argv[0].find_last_of("/\\"));
  const std::vector<int> before = ProgramsRunningFrom(folder);
  const auto startedRunning = [&] {
    for (const int pid : ProgramsRunningFrom(folder))
      if (std::find(before.begin(), before.end(), pid) == before.end()) return true;
    return false;
  };
  HANDLE process = StartWindowsProgram(argv, environment, writeEnd, writeEnd, "");
  CloseHandle(writeEnd);
  if (!process) {
    CloseHandle(readEnd);
    return result;
  }
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds) * 1000;
  bool timedOut = false;
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
    DWORD got = 0;
    if (available > 0 && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr)) {
      result.output.append(buffer, got);
      continue;
    }
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0 && !startedRunning()) {
      // What the last of them wrote before it ended.
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr))
        result.output.append(buffer, got);
      break;
    }
    if (GetTickCount64() > deadline) {
      timedOut = true;
      break;
    }
    Sleep(20);
  }
  CloseHandle(readEnd);
  // Standard output in text mode ends its lines with CR LF; the tests compare lines as on Linux.
  for (size_t at = result.output.find("\r\n"); at != std::string::npos; at = result.output.find("\r\n", at))
    result.output.erase(at, 1);
  if (timedOut) TerminateProcess(process, 1);
  WaitForSingleObject(process, 10000);
  DWORD code = 0;
  if (!timedOut && GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) result.exitCode = static_cast<int>(code);
  CloseHandle(process);
  return result;
}

void KillProgram(int pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

std::vector<int> ProgramsRunningFrom(const std::string& folder) {
  std::vector<int> pids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return pids;
  const std::wstring prefix = Lowered(platform::WidePath(folder)) + L"\\";
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process) continue;
    wchar_t path[MAX_PATH * 4];
    DWORD length = MAX_PATH * 4;
    if (QueryFullProcessImageNameW(process, 0, path, &length) &&
        Lowered(std::wstring(path, length)).starts_with(prefix))
      pids.push_back(static_cast<int>(entry.th32ProcessID));
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return pids;
}
