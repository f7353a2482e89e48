#include "download/TransferError.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

namespace {

using namespace transfer_error;

constexpr std::pair<int, const char*> kErrorTexts[] = {
    {kFtpConnectFailed, "The connection with the FTP server could not be opened."},
    {kFtpRemoteFileFailed, "The file could not be opened on the FTP server."},
    {kFtpBufferSizeFailed, "The FTP transfer could not be set up."},
    {kInternal, "An internal error occurred."},
    {kInvalidUrl, "The URL is invalid."},
    {kUnknownScheme, "The URL does not use a recognized protocol."},
    {kNameNotResolved, "The server name or address could not be resolved."},
    {kLoginRefused, "The request to log on to the server has been refused."},
    {kOperationCancelled, "The operation was canceled."},
    {kCannotConnect, "A connection with the server could not be established."},
    {kConnectionAborted, "The connection with the server was terminated abnormally."},
    {kHttpsToHttpRedirect, "The server redirected a secure request to an insecure address."},
    {kInvalidServerResponse, "The server returned an invalid or unrecognized response."},
    {kSecureChannel, "A secure channel could not be established with the server."},
};

}  // namespace

std::string TransferErrorText(int code) {
  for (const auto& [known, text] : kErrorTexts) {
    if (known == code) return text;
  }
  return {};
}

bool TransferFailure::IsLocalFile() const {
  return kind == Kind::System || (kind == Kind::Session && (code == kLocalFileCreateFailed || code == kLocalFileWriteFailed));
}

TransferFailure TransferFailure::LocalFile(int error, std::string path) {
  int code = 0;
  switch (error) {
    case ENOENT:
    case ENOTDIR: code = 3; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: code = 5; break;
    case EBUSY:
    case ETXTBSY: code = 32; break;
    case ENOSPC: code = 112; break;
    case EINVAL: code = 87; break;    // a FIFO or device where a file belongs
    case ELOOP: code = 1921; break;   // a link where none may be
    default: return {Kind::Session, kLocalFileCreateFailed, error, std::move(path)};
  }
  return {Kind::System, code, error, std::move(path)};
}

std::string TransferFailureText(const TransferFailure& failure, const std::string& ownText) {
  std::string text;
  switch (failure.kind) {
    case TransferFailure::Kind::None: return {};
    case TransferFailure::Kind::HttpStatus:
      text = "The server answered with HTTP status " + std::to_string(failure.code) + ".";
      break;
    case TransferFailure::Kind::Internet: text = ownText.empty() ? TransferErrorText(failure.code) : ownText; break;
    case TransferFailure::Kind::System:
    case TransferFailure::Kind::Session: {
      text = failure.kind == TransferFailure::Kind::System ? std::string()
             : failure.IsLocalFile()                       ? "The downloaded file could not be written."
                                                           : TransferErrorText(failure.code);
      std::string reason;
      if (failure.systemError != 0) reason = std::generic_category().message(failure.systemError);
      // "<path>: <reason>.", the way the system itself names a refused file.
      std::string what = failure.subject;
      if (!reason.empty()) what += (what.empty() ? "" : ": ") + reason + ".";
      if (!what.empty()) text += (text.empty() ? "" : " ") + what;
      return text;
    }
  }
  if (!failure.subject.empty()) text += (text.empty() ? "" : " ") + std::string("(") + failure.subject + ")";
  return text;
}
