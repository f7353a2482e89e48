#pragma once
// Facts about the files of a release that both the publisher and the verifier need, worked out
// exactly as an installation's launcher works them out.

#include <cstdint>
#include <optional>
#include <string>

// The pack's own version: its last four bytes, little-endian. None when the file cannot be read
// or is shorter than four bytes.
std::optional<uint32_t> ReadPackTrailer(const std::string& path);

// The file's date as the pack date check reads it, "[YYYY-MM-DD][hh:mm:ss]" in local time; empty
// when the file cannot be examined.
std::string PackDateText(const std::string& path);

// True when `text` reads as such a date.
bool IsPackDateText(const std::string& text);

// Why a file name may not be published (absolute, climbing out of the folder, "." or empty
// steps...), or nothing when it is a plain relative name inside the folder.
std::optional<std::string> FileNameProblem(const std::string& name);

// A name in the form used to find two names of one file: "/" separated and lower case, as the
// installations' file systems may ignore letter case.
std::string ComparableName(const std::string& name);

// The file name on disk below `folder` of a name that may be separated by "\" or "/".
std::string FileBelow(const std::string& folder, const std::string& name);
