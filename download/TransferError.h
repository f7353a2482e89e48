#pragma once
// Error numbers of the transfer session. Where a transfer fails the way a Windows internet
// transfer would, the number is the one players know from there ("ErrorCode : %d"); an HTTP
// answer other than 200 leaves its status; the session's own failures are negative.

#include <string>

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
inline constexpr int kInvalidServerResponse = 12152;
inline constexpr int kSecureChannel = 12157;

inline constexpr int kFtpConnectFailed = -2;
inline constexpr int kFtpRemoteFileFailed = -3;
inline constexpr int kLocalFileCreateFailed = -4;
inline constexpr int kFtpBufferSizeFailed = -6;
inline constexpr int kLocalFileWriteFailed = -7;

}  // namespace transfer_error

// The error number for a failed libcurl call, given its CURLcode value. Codes without a closer
// equivalent give kInternal; 0 (success) gives 0.
int TransferErrorFromLibraryCode(int curlCode);

// The system's text for an error number, empty when there is none. The time-out has no text on
// purpose: the engine shows its own catalogue message for it.
std::string TransferErrorText(int code);
