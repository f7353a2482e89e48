// The transfer session's rules shared by both carriers (download/TransferSession.cpp with libcurl,
// platform/win32/InternetTransfer.cpp with WinINet): configuration, failures and sizes.
#include <cstdio>

#include "download/TransferRules.h"
#include "download/TransferUrl.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

void CTransferSession::Reset() {
  std::lock_guard lock(transferLock_);
  transferred_ = 0;
  ClearFailure();
  CloseFtpLocked();
  cancel_ = false;
  serverPath_.clear();
  userName_.clear();
  password_.clear();
  port_ = 21;
  passive_ = true;
  connectTimeoutMs_ = 5000;
  receiveTimeoutMs_ = 5000;
  connectRetries_ = 6;
  agent_ = "Solane Patch";
  protocol_ = kProtocolFtp;
  storageMode_ = kStorageFile;
  rateLimit_ = -1.0;
  expectedSize_ = 0;
  httpConnectTimeoutMs_ = kDefaultHttpConnectTimeoutMs;
  httpStallTimeoutMs_ = kDefaultHttpStallTimeoutMs;
  std::lock_guard textLock(textLock_);
  textBody_.clear();
}

TransferFailure CTransferSession::GetFailure() const {
  std::lock_guard lock(failureLock_);
  return failure_;
}

void CTransferSession::SetFailure(const TransferFailure& failure) {
  std::lock_guard lock(failureLock_);
  failure_ = failure;
}

std::string CTransferSession::GetText() const {
  std::lock_guard lock(textLock_);
  return textBody_;
}

bool CTransferSession::Download(const std::string& remotePath, const std::string& localPath) {
  return Download(remotePath, localPath, ResumePoint{}, BodyStartHandler{});
}

bool CTransferSession::FinishTransfer(Transfer& transfer, const std::optional<TransferFailure>& carrierFailure,
                                      const std::string& server) {
  using Stop = Transfer::Stop;
  // The file's last block is written only here; losing it must not pass for success.
  const bool fileWritten = transfer.CloseFile();
  auto fail = [&](const TransferFailure& failure) {
    SetFailure(failure);
    return false;
  };
  auto createFailure = [&] {
    if (transfer.http) return TransferFailure::LocalFile(transfer.createErrno, transfer.localPath);
    return TransferFailure{TransferFailure::Kind::Session, transfer_error::kLocalFileCreateFailed, transfer.createErrno,
                           transfer.localPath};
  };
  auto writeFailure = [&] {
    return TransferFailure{TransferFailure::Kind::Session, transfer_error::kLocalFileWriteFailed, transfer.writeErrno,
                           transfer.localPath};
  };
  // Failures of the transfer itself name the server they happened with.
  auto internet = [&](int code) { return TransferFailure::Internet(code, server); };
  auto keepText = [&] {
    if (!transfer.toMemory) return;
    std::lock_guard lock(textLock_);
    textBody_ = std::move(transfer.body);
  };

  switch (transfer.stop) {
    case Stop::Cancel:
      keepText();
      return true;
    case Stop::Closing:
      if (cancel_.load()) {
        keepText();
        return true;
      }
      return fail(internet(transfer_error::kOperationCancelled));
    case Stop::Stalled: return fail(internet(transfer_error::kTimeout));
    case Stop::BadStatus: return fail(TransferFailure::Http(static_cast<int>(transfer.status), server));
    case Stop::BadRange:
      // A range other than the one asked for: the kept bytes are not continued again.
      platform::RemoveTree(transfer.localPath);
      return fail(internet(transfer_error::kInvalidServerResponse));
    case Stop::Overrun:
    case Stop::MemoryFull: return fail(internet(transfer_error::kInvalidServerResponse));
    case Stop::RedirectLowered: return fail(internet(transfer_error::kHttpsToHttpRedirect));
    case Stop::RedirectElsewhere: return fail(internet(transfer_error::kUnknownScheme));
    case Stop::CreateFailed: return fail(createFailure());
    case Stop::WriteFailed: return fail(writeFailure());
    case Stop::None:
    case Stop::SizeKnown: break;
  }

  if (carrierFailure) return fail(*carrierFailure);
  if (!fileWritten) return fail(writeFailure());
  if (transfer.http && transfer.status != 200 && !(transfer.status == 206 && transfer.continuing))
    return fail(TransferFailure::Http(static_cast<int>(transfer.status), server));
  // An empty body still leaves an (empty) file.
  if (!transfer.toMemory && !transfer.created) {
    if (!transfer.CreateFile()) return fail(createFailure());
    if (!transfer.CloseFile()) return fail(writeFailure());
  }
  keepText();
  return true;
}

int64_t CTransferSession::GetTotalSize(const std::vector<std::string>& remotePaths) {
  std::lock_guard lock(transferLock_);
  if (protocol_ == kProtocolFtp && ftpHandle_ == nullptr) return 0;
  int64_t total = 0;
  for (const std::string& remotePath : remotePaths) {
    if (cancel_.load()) return 0;
    TransferFailure why;
    const std::optional<int64_t> size = RemoteSizeLocked(remotePath, why);
    if (size) {
      total += *size;
    } else if (protocol_ != kProtocolFtp && why.kind != TransferFailure::Kind::HttpStatus) {
      SetFailure(why);
      return 0;
    }
    platform::SleepMs(1);
  }
  return total;
}

std::optional<int64_t> CTransferSession::RemoteSize(const std::string& remotePath, TransferFailure& why) {
  std::lock_guard lock(transferLock_);
  why = {};
  if (cancel_.load()) {
    why = TransferFailure::Internet(transfer_error::kOperationCancelled);
    return std::nullopt;
  }
  return RemoteSizeLocked(remotePath, why);
}

std::optional<int64_t> CTransferSession::RemoteSizeLocked(const std::string& remotePath, TransferFailure& why) {
  if (protocol_ == kProtocolFtp) {
    if (ftpHandle_ == nullptr) {
      why = TransferFailure{TransferFailure::Kind::Session, transfer_error::kFtpConnectFailed, 0, {}};
      return std::nullopt;
    }
    return FtpSizeOf(remotePath, why);
  }
  std::optional<int64_t> size = HttpSizeOf(remotePath, true, why);
  // Some servers refuse HEAD or answer it without a length; the headers of a GET tell the size.
  const bool refused = why.kind == TransferFailure::Kind::HttpStatus && (why.code == 405 || why.code == 501);
  const bool lengthless = why.kind == TransferFailure::Kind::Internet && why.code == transfer_error::kInvalidServerResponse;
  if (!size && (refused || lengthless)) size = HttpSizeOf(remotePath, false, why);
  return size;
}

std::string CTransferSession::FtpUrl(const std::string& remotePath) const {
  std::string host = host_;
  const size_t nameStart = HostHasScheme(host) ? host.find("://") + 3 : 0;
  const size_t nameEnd = host.find('/', nameStart);
  const std::string name = host.substr(nameStart, nameEnd == std::string::npos ? std::string::npos : nameEnd - nameStart);
  if (name.find(':') == std::string::npos) {
    host.insert(nameEnd == std::string::npos ? host.size() : nameEnd, ":" + std::to_string(port_));
  }
  return BuildTransferUrl(host, remotePath, "ftp");
}
