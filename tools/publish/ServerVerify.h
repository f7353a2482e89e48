#pragma once
// Re-reads a patch-server folder the way installations read it and finds what would go wrong.

#include <string>
#include <vector>

// Every inconsistency of the folder, one line each ("name: problem"): Update.NFO missing,
// without CR LF line ends or refused by the launcher's acceptance rules; a file it announces
// missing, empty, of another version, digest, checksum or date form than announced; a zip
// archive missing, unreadable or holding other data than its file. Empty when all is well.
std::vector<std::string> VerifyServerFolder(const std::string& serverDir);
