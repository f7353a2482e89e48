#include "tests/support/FtpServer.h"

#include <vector>

FtpServer::FtpServer()
    : process_(std::make_unique<ServerProcess>("ftp_server.py", std::vector<std::string>{root_.Path()})) {}

FtpServer::~FtpServer() = default;
