#include "download/TransferError.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace {

using namespace transfer_error;

constexpr std::pair<CURLcode, int> kLibraryCodes[] = {
    {CURLE_OPERATION_TIMEDOUT, kTimeout},
    {CURLE_URL_MALFORMAT, kInvalidUrl},
    {CURLE_UNSUPPORTED_PROTOCOL, kUnknownScheme},
    {CURLE_COULDNT_RESOLVE_HOST, kNameNotResolved},
    {CURLE_COULDNT_RESOLVE_PROXY, kNameNotResolved},
    {CURLE_LOGIN_DENIED, kLoginRefused},
    {CURLE_COULDNT_CONNECT, kCannotConnect},
    {CURLE_RECV_ERROR, kConnectionAborted},
    {CURLE_SEND_ERROR, kConnectionAborted},
    {CURLE_PARTIAL_FILE, kConnectionAborted},
    {CURLE_GOT_NOTHING, kConnectionAborted},
    {CURLE_WEIRD_SERVER_REPLY, kInvalidServerResponse},
    {CURLE_FTP_WEIRD_PASV_REPLY, kInvalidServerResponse},
    {CURLE_FTP_WEIRD_227_FORMAT, kInvalidServerResponse},
    {CURLE_BAD_CONTENT_ENCODING, kInvalidServerResponse},
    {CURLE_TOO_MANY_REDIRECTS, kInvalidServerResponse},
    {CURLE_HTTP2, kInvalidServerResponse},
    {CURLE_SSL_CONNECT_ERROR, kSecureChannel},
    {CURLE_PEER_FAILED_VERIFICATION, kSecureChannel},
    {CURLE_SSL_CERTPROBLEM, kSecureChannel},
    {CURLE_SSL_CIPHER, kSecureChannel},
    {CURLE_SSL_CACERT_BADFILE, kSecureChannel},
    {CURLE_SSL_ENGINE_NOTFOUND, kSecureChannel},
    {CURLE_USE_SSL_FAILED, kSecureChannel},
    {CURLE_ABORTED_BY_CALLBACK, kOperationCancelled},
};

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

int TransferErrorFromLibraryCode(int curlCode) {
  if (curlCode == CURLE_OK) return 0;
  for (const auto& [library, ours] : kLibraryCodes) {
    if (library == curlCode) return ours;
  }
  return kInternal;
}

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
      if (failure.systemError != 0) {
        char buffer[256];
        // The GNU form may return a static text instead of filling the buffer.
        reason = strerror_r(failure.systemError, buffer, sizeof(buffer));
      }
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
