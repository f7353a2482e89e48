#pragma once
// A helper server program (one of the Python scripts beside this file) run for the length of
// a test: started with /usr/bin/python3, its port read from its first output line
// ("PORT <n>"), ended in the destructor.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ScratchDir.h"

class ServerProcess {
 public:
  // Starts tests/support/<script> with `arguments` and waits up to 20 s for its port.
  ServerProcess(const std::string& script, const std::vector<std::string>& arguments);
  ~ServerProcess();  // terminates the server and waits for it
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool IsRunning() const { return port_ != 0; }
  uint16_t Port() const { return port_; }

 private:
  int pid_ = -1;
  uint16_t port_ = 0;
#ifdef _WIN32
  std::string folder_;  // the host folder of the server's output and process id
#endif
};

// A server script that serves a scratch folder of its own, given as its one argument.
class FolderServer {
 public:
  explicit FolderServer(const std::string& script) : process_(script, {root_.Path()}) {}

  bool IsRunning() const { return process_.IsRunning(); }
  uint16_t Port() const { return process_.Port(); }
  // The served folder; a file at Root()/a/b is served as /a/b.
  const std::string& Root() const { return root_.Path(); }
  // Puts a file to serve; returns its full local path (empty on failure).
  std::string PutFile(const std::string& name, const std::string& bytes) { return root_.Write(name, bytes); }

 private:
  ScratchDir root_;
  ServerProcess process_;
};

// A loopback port on which nothing listens (it was free a moment ago).
uint16_t UnusedLoopbackPort();

// A plain GET (or POST with `postBody`) to 127.0.0.1:`port`, for the servers' control endpoints.
// The body on status 200.
std::optional<std::string> LoopbackRequest(uint16_t port, const std::string& target,
                                           const std::optional<std::string>& postBody = std::nullopt);
