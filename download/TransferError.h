#pragma once
// Error numbers of the transfer session. Where a transfer fails the way a Windows internet
// transfer would, the number is the one players know from there ("ErrorCode : %d"); an HTTP
// answer other than 200 leaves its status; the session's own failures are negative.

#include <string>
#include <utility>

namespace transfer_error {

inline constexpr int kTimeout = 12002;
inline constexpr int kInternal = 12004;
inline constexpr int kInvalidUrl = 12005;
inline constexpr int kUnknownScheme = 12006;
inline constexpr int kNameNotResolved = 12007;
inline constexpr int kLoginRefused = 12014;
inline constexpr int kOperationCancelled = 12017;
inline constexpr int kCannotConnect = 12029;
inline constexpr int kConnectionAborted = 12030;
inline constexpr int kHttpsToHttpRedirect = 12040;
inline constexpr int kInvalidServerResponse = 12152;
inline constexpr int kSecureChannel = 12157;

inline constexpr int kFtpConnectFailed = -2;
inline constexpr int kFtpRemoteFileFailed = -3;
inline constexpr int kLocalFileCreateFailed = -4;
inline constexpr int kFtpBufferSizeFailed = -6;
inline constexpr int kLocalFileWriteFailed = -7;

}  // namespace transfer_error

// A failed transfer. Its number is what players see ("ErrorCode : %d"); the kind keeps numbers
// from different sources apart, since they overlap (112 is both "disk full" and an HTTP status).
struct TransferFailure {
  enum class Kind : unsigned char {
    None,
    HttpStatus,  // the server answered with a status other than 200
    Internet,    // a Windows internet error number (12xxx), time-outs and cancels included
    System,      // a Windows system error number for the local file (3, 5, 32, 112)
    Session,     // one of the session's own negative codes
  };
  Kind kind = Kind::None;
  int code = 0;
  int systemError = 0;  // the errno behind a local file failure, for its text; 0 when none
  std::string subject;  // what failed: the server's "host:port", or the local file's path

  explicit operator bool() const { return kind != Kind::None; }
  // True when the local file could not be created or written: trying again will not help.
  bool IsLocalFile() const;
  static TransferFailure Http(int status, std::string server = {}) { return {Kind::HttpStatus, status, 0, std::move(server)}; }
  static TransferFailure Internet(int code, std::string server = {}) { return {Kind::Internet, code, 0, std::move(server)}; }
  // A local file or folder at `path` that the system refused with `error` (an errno): the Windows
  // number players would have seen, or the session's "cannot create" when there is none.
  static TransferFailure LocalFile(int error, std::string path);
};

// The text shown under the number: the system's wording of an internet error or the status of an
// HTTP answer, with the server's host and port; the path and the system's text for a local file
// failure. `ownText` stands in for a number whose wording the caller gives (the time-out). Empty
// when there is nothing to say.
std::string TransferFailureText(const TransferFailure& failure, const std::string& ownText = {});

// The error number for a failed libcurl call, given its CURLcode value. Codes without a closer
// equivalent give kInternal; 0 (success) gives 0.
int TransferErrorFromLibraryCode(int curlCode);

// The system's text for an error number, empty when there is none. The time-out has no text on
// purpose: the engine shows its own catalogue message for it.
std::string TransferErrorText(int code);
