#include "tests/support/ServerProcess.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/RunProgram.h"

namespace {

// Reads the child's first line ("PORT <n>") within 20 s.
uint16_t ReadPortLine(int fd) {
  std::string line;
  char buffer[128];
  for (int waited = 0; waited < 20000 && line.find('\n') == std::string::npos; waited += 100) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count <= 0) break;
    line.append(buffer, static_cast<size_t>(count));
  }
  if (line.rfind("PORT ", 0) != 0) return 0;
  const long port = std::strtol(line.c_str() + 5, nullptr, 10);
  return port > 0 && port < 65536 ? static_cast<uint16_t>(port) : 0;
}

// Requests to 127.0.0.1 and localhost bypass any proxy of the environment.
void BypassProxyForLoopback() {
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const char* current = std::getenv(name);
    std::string value = current != nullptr ? current : "";
    if (value.find("127.0.0.1") != std::string::npos) continue;
    value += value.empty() ? "127.0.0.1,localhost" : ",127.0.0.1,localhost";
    setenv(name, value.c_str(), 1);
  }
}

size_t AppendBody(char* data, size_t size, size_t count, void* context) {
  static_cast<std::string*>(context)->append(data, size * count);
  return size * count;
}

}  // namespace

ServerProcess::ServerProcess(const std::string& script, const std::vector<std::string>& arguments) {
  BypassProxyForLoopback();
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  std::vector<std::string> argv{"/usr/bin/python3", "-u", std::string(SOLANE_SOURCE_DIR) + "/tests/support/" + script};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  pid_ = StartProgram(argv, {}, pipeEnds[1], STDERR_FILENO);
  close(pipeEnds[1]);
  if (pid_ > 0) port_ = ReadPortLine(pipeEnds[0]);  // later output is not read; the server prints nothing more
  close(pipeEnds[0]);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
}

uint16_t UnusedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

std::optional<std::string> LoopbackRequest(uint16_t port, const std::string& target,
                                           const std::optional<std::string>& postBody) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return std::nullopt;
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + target;
  std::string body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  if (postBody) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody->c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(postBody->size()));
  }
  long status = 0;
  const CURLcode result = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK || status != 200) return std::nullopt;
  return body;
}
