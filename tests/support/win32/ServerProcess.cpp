// The helper servers under Wine: the Python scripts run as the host's own programs (Wine starts a
// host program named by its host path), given host paths, and tell their port through a file.
#include "tests/support/ServerProcess.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <fstream>
#include <sstream>

#include "tests/support/TemporaryFolder.h"

namespace {

// The host's path of a Windows path ("Z:\tmp\x" is "/tmp/x"); empty outside Wine.
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

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string{c};
  return quoted + "'";
}

// Starts `command` with the host's shell; Wine gives no handle to wait on.
bool RunHostShell(const std::string& command) {
  std::string line = "/bin/sh -c \"" + command + "\"";
  std::wstring wide(line.begin(), line.end());  // the commands here are ASCII
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string FileOfHost(const std::string& hostPath) { return "Z:" + hostPath; }

}  // namespace

ServerProcess::ServerProcess(const std::string& script, const std::vector<std::string>& arguments) {
  // The port and process id come back through files in a folder of this prefix's own: process ids
  // restart in every Wine prefix, so names made of them alone meet another prefix's servers.
  const std::string folder = MakeTemporaryFolder();
  const std::string base = folder.empty() ? std::string() : HostPath(folder + "\\server");
  if (base.empty()) return;
  std::string command = "echo $$ > " + Quoted(base + ".pid") + "; exec /usr/bin/python3 -u " +
                        Quoted(std::string(SOLANE_SOURCE_DIR) + "/tests/support/" + script);
  for (const std::string& argument : arguments) {
    const std::string host = HostPath(argument);
    command += " " + Quoted(host.empty() ? argument : host);
  }
  command += " > " + Quoted(base + ".out");
  if (!RunHostShell(command)) return;
  for (int waited = 0; waited < 20000; waited += 100) {
    const std::string line = ReadAll(FileOfHost(base + ".out"));
    if (line.rfind("PORT ", 0) == 0 && line.find('\n') != std::string::npos) {
      const long port = std::strtol(line.c_str() + 5, nullptr, 10);
      if (port > 0 && port < 65536) port_ = static_cast<uint16_t>(port);
      pid_ = std::atoi(ReadAll(FileOfHost(base + ".pid")).c_str());
      break;
    }
    Sleep(100);
  }
}

ServerProcess::~ServerProcess() {
  if (pid_ <= 0) return;
  RunHostShell("kill -9 " + std::to_string(pid_));
  Sleep(200);
}

uint16_t UnusedLoopbackPort() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
  const SOCKET handle = socket(AF_INET, SOCK_STREAM, 0);
  uint16_t port = 0;
  if (handle != INVALID_SOCKET) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port = ntohs(address.sin_port);
    closesocket(handle);
  }
  WSACleanup();
  return port;
}

std::optional<std::string> LoopbackRequest(uint16_t port, const std::string& target,
                                           const std::optional<std::string>& postBody) {
  HINTERNET root = InternetOpenW(L"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection = root ? InternetConnectW(root, L"127.0.0.1", port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0) : nullptr;
  const std::wstring path(target.begin(), target.end());
  HINTERNET request = connection ? HttpOpenRequestW(connection, postBody ? L"POST" : L"GET", path.c_str(), nullptr,
                                                    nullptr, nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                 : nullptr;
  std::optional<std::string> body;
  std::string data = postBody.value_or("");
  if (request != nullptr &&
      HttpSendRequestW(request, nullptr, 0, postBody ? data.data() : nullptr, static_cast<DWORD>(data.size()))) {
    DWORD status = 0, size = sizeof(status);
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    std::string text;
    char buffer[8192];
    DWORD got = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0) text.append(buffer, got);
    if (status == 200) body = text;
  }
  for (HINTERNET handle : {request, connection, root})
    if (handle != nullptr) InternetCloseHandle(handle);
  return body;
}
