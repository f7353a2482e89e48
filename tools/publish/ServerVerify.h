#pragma once
// Re-reads a patch-server folder the way installations read it and finds what would go wrong.

#include <optional>
#include <string>
#include <vector>

#include "patch/ReleaseSignature.h"

// Every inconsistency of the folder, one line each ("name: problem"): Update.NFO missing,
// without CR LF line ends or refused by the launcher's acceptance rules; a file it announces
// missing, empty, of another version, digest (MD5 or SHA-256), checksum or date form than
// announced; a zip archive missing, unreadable or holding other data than its file. With the
// publisher's `key`, what a launcher holding it refuses as well: Update.NFO.sig missing or not
// verifying, no Serial, a file without a SHA-256. A signature that no key checks is named too.
// Empty when all is well.
std::vector<std::string> VerifyServerFolder(const std::string& serverDir,
                                            const std::optional<ReleaseKey>& key = std::nullopt);
