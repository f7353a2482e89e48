#pragma once
// A helper server program (one of the Python scripts beside this file) run for the length of
// a test: started with /usr/bin/python3, its port read from its first output line
// ("PORT <n>"), ended in the destructor.

#include <cstdint>
#include <string>
#include <vector>

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
};

// A loopback port on which nothing listens (it was free a moment ago).
uint16_t UnusedLoopbackPort();

// Makes sure that requests to 127.0.0.1 and localhost bypass any proxy of the environment.
void BypassProxyForLoopback();
