#pragma once
// An FTP server for tests (tests/support/ftp_server.py, pyftpdlib) on 127.0.0.1 and a free
// port, serving a scratch folder of its own to user kUser with password kPassword.

#include "tests/support/ServerProcess.h"

class FtpServer : public FolderServer {
 public:
  static constexpr const char* kUser = "solane";
  static constexpr const char* kPassword = "patch";

  FtpServer() : FolderServer("ftp_server.py") {}
};
