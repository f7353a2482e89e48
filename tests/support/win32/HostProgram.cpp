#include "tests/support/win32/HostProgram.h"

#include <windows.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "tests/support/RunProgram.h"
#include "tests/support/TemporaryFolder.h"

std::string HostPath(const std::string& path) {
  using Convert = char*(__cdecl*)(const wchar_t*);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
  char* host = convert(wide.c_str());
  if (host == nullptr) return {};
  std::string result(host);
  HeapFree(GetProcessHeap(), 0, host);
  return result;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string{c};
  return quoted + "'";
}

bool StartHostShell(const std::string& command) {
  std::string line = "/bin/sh -c \"" + command + "\"";
  std::wstring wide(line.begin(), line.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string HostFilesFolder() {
  const std::string folder = MakeTemporaryFolder();
  return folder.empty() ? std::string() : HostPath(folder);
}

std::string ReadHostFile(const std::string& hostPath) {
  std::ifstream in("Z:" + hostPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {

// A Windows path among the arguments ("C:\users\...", "Z:/tmp/x") is given to the host program
// as its host path; other arguments pass unchanged.
std::string HostArgument(const std::string& argument) {
  const bool windowsPath = argument.size() >= 3 && std::isalpha(static_cast<unsigned char>(argument[0])) &&
                           argument[1] == ':' && (argument[2] == '\\' || argument[2] == '/');
  if (!windowsPath) return argument;
  const std::string host = HostPath(argument);
  return host.empty() ? argument : host;
}

}  // namespace

// Run through the host's shell; the output and exit status come back through files.
ProgramResult RunHostProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                         int timeoutSeconds) {
  ProgramResult result;
  const std::string folder = HostFilesFolder();
  if (folder.empty()) return result;
  const std::string base = folder + "/run";
  std::string command = "echo $$ > " + ShellQuoted(base + ".pid") + "; ";
  for (const std::string& entry : environment)
    command += entry.find('=') == std::string::npos ? "unset " + ShellQuoted(entry) + "; "
                                                    : "export " + ShellQuoted(entry) + "; ";
  for (const std::string& argument : argv) command += ShellQuoted(HostArgument(argument)) + " ";
  command += "< /dev/null > " + ShellQuoted(base + ".out") + " 2>&1; echo $? > " + ShellQuoted(base + ".tmp") + "; mv " +
             ShellQuoted(base + ".tmp") + " " + ShellQuoted(base + ".rc");
  if (!StartHostShell(command)) return result;
  for (int waited = 0; waited < timeoutSeconds * 1000; waited += 20) {
    const std::string code = ReadHostFile(base + ".rc");
    if (!code.empty()) {
      result.exitCode = std::atoi(code.c_str());
      break;
    }
    Sleep(20);
  }
  if (result.exitCode == -1) {
    const std::string pid = ReadHostFile(base + ".pid");
    if (!pid.empty()) StartHostShell("pkill -9 -P " + std::to_string(std::atoi(pid.c_str())));
  }
  result.output = ReadHostFile(base + ".out");
  StartHostShell("rm -rf " + ShellQuoted(folder));
  return result;
}
