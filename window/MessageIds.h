#pragma once
// The catalogue numbers that the code shows by name: status texts, box texts and the labels put
// in front of them. The texts live in resources/catalogue/<language id>.txt.

inline constexpr int kMessageCantFindProgram = 102;
inline constexpr int kMessagePathWrong = 103;
inline constexpr int kMessageAccessDenied = 104;
inline constexpr int kMessageAlreadyRunning = 105;
inline constexpr int kMessageCopyFailed = 106;
inline constexpr int kMessageCopying = 107;
inline constexpr int kMessageCopyFinished = 108;
inline constexpr int kMessageConnectRetry = 111;
inline constexpr int kMessageChecking = 112;
inline constexpr int kMessageNeedSpace = 113;
inline constexpr int kMessageDownloading = 114;
inline constexpr int kMessageDownloaded = 115;
inline constexpr int kMessageStarting = 116;
inline constexpr int kMessageCompleted = 117;
inline constexpr int kMessageFinishNow = 118;
inline constexpr int kMessageFinishing = 120;
inline constexpr int kMessageDownloadFromWebsite = 121;
inline constexpr int kLabelLauncher = 122;
inline constexpr int kMessageUpdateFailed = 123;
inline constexpr int kLabelClient = 125;
inline constexpr int kLabelResource = 126;
inline constexpr int kMessageNotInstalled = 127;
inline constexpr int kMessageServerNotReplying = 128;
inline constexpr int kMessageWrongSize = 129;
inline constexpr int kLabelError = 131;
inline constexpr int kMessageClientRunning = 144;
inline constexpr int kMessageSelectServer = 165;
inline constexpr int kMessageBadServerInfo = 166;
inline constexpr int kMessageImproperFile = 167;
inline constexpr int kMessageDigestMismatch = 168;
inline constexpr int kMessageUnusableName = 169;
inline constexpr int kMessageSignatureUnreadable = 170;
inline constexpr int kMessageSignatureMismatch = 171;
inline constexpr int kMessageSerialRefused = 172;
inline constexpr int kMessageNoSha256 = 173;
inline constexpr int kMessagePublisherKeyInvalid = 174;
inline constexpr int kMessageSignatureVerified = 175;
