// The helper servers under Wine: the Python scripts run as the host's own programs (Wine starts a
// host program named by its host path), given host paths, and tell their port through a file.
#include "tests/support/ServerProcess.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include "tests/support/RunProgram.h"
#include "tests/support/win32/HostProgram.h"

ServerProcess::ServerProcess(const std::string& script, const std::vector<std::string>& arguments) {
  folder_ = HostFilesFolder();
  if (folder_.empty()) return;
  const std::string base = folder_ + "/server";
  std::string command = "echo $$ > " + ShellQuoted(base + ".pid") + "; exec /usr/bin/python3 -u " +
                        ShellQuoted(std::string(SOLANE_SOURCE_DIR) + "/tests/support/" + script);
  for (const std::string& argument : arguments) {
    const std::string host = HostPath(argument);
    command += " " + ShellQuoted(host.empty() ? argument : host);
  }
  command += " > " + ShellQuoted(base + ".out");
  if (!StartHostShell(command)) return;
  for (int waited = 0; waited < 20000; waited += 100) {
    const std::string line = ReadHostFile(base + ".out");
    if (line.rfind("PORT ", 0) == 0 && line.find('\n') != std::string::npos) {
      const long port = std::strtol(line.c_str() + 5, nullptr, 10);
      if (port > 0 && port < 65536) port_ = static_cast<uint16_t>(port);
      pid_ = std::atoi(ReadHostFile(base + ".pid").c_str());
      break;
    }
    Sleep(100);
  }
}

ServerProcess::~ServerProcess() {
  // Waited for: a server left running would hold its port and folder after the test.
  if (pid_ > 0) RunProgram({"/bin/kill", "-9", std::to_string(pid_)});
  if (!folder_.empty()) StartHostShell("rm -rf " + ShellQuoted(folder_));
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
