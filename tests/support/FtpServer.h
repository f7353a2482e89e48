#pragma once
// An FTP server for tests (tests/support/ftp_server.py, pyftpdlib) on 127.0.0.1 and a free
// port, serving a scratch folder of its own to user kUser with password kPassword.

#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/ScratchDir.h"
#include "tests/support/ServerProcess.h"

class FtpServer {
 public:
  static constexpr const char* kUser = "solane";
  static constexpr const char* kPassword = "patch";

  FtpServer();
  ~FtpServer();

  bool IsRunning() const { return process_->IsRunning(); }
  uint16_t Port() const { return process_->Port(); }
  const std::string& Root() const { return root_.Path(); }
  // Puts a file to serve; returns its full local path (empty on failure).
  std::string PutFile(const std::string& name, const std::string& bytes) { return root_.Write(name, bytes); }

 private:
  ScratchDir root_;
  std::unique_ptr<ServerProcess> process_;
};
