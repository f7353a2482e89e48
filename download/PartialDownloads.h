#pragma once
// The bytes of a download that did not finish (a cancel, a lost connection, a stall, a killed
// launcher), kept so that a later attempt, in the same run or the next, asks the server only
// for the rest. They live in the folder kPartialFolder beside Temp, which outlives the run,
// under the file's server name, with a small note beside them saying which version of which
// file they are.

#include <cstdint>
#include <optional>
#include <string>

#include "download/TransferSession.h"

inline constexpr const char* kPartialFolder = "SolaneLauncher.partial";

struct PartialNote {
  std::string remotePath;    // as requested from the server
  std::string announcement;  // what Update.NFO said of the file's version when it was fetched
  int64_t total = 0;         // the whole file's size, as the server gave it
  std::string validator;     // what the server gave for this version (see CTransferSession::ResumePoint)
};

// Where the kept bytes of `dataPath` may be continued from for a transfer that wants `wanted`
// (its validator unused): their count and validator when the note describes the same remote
// file, announcement and size and the bytes are fewer than the whole. Otherwise the kept bytes
// and their note are removed and the point is empty (offset 0): a partial file of another
// version is never continued.
CTransferSession::ResumePoint ResumePointFor(const std::string& dataPath, const PartialNote& wanted);

// Records what the bytes at `dataPath` are, replacing the note in one step. A note without a
// validator cannot guard a resume, so none is kept then.
bool WritePartialNote(const std::string& dataPath, const PartialNote& note);

// Removes the kept bytes of `dataPath` and their note.
void DropPartial(const std::string& dataPath);
