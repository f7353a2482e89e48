#pragma once
// Writing the zip archive of one patch file: a single deflated entry named as the file, with an
// extended-timestamp ("UT") field holding its modification time. Sizes are the format's 32-bit
// fields, so files of 4 GiB or more are refused.

#include <cstdint>
#include <string>

// The largest file, and archive, that the format's 32-bit fields hold (all ones announces ZIP64).
constexpr uint64_t kLargestZipSize = 0xfffffffe;

// Writes `archivePath` holding the file at `sourcePath` as the entry `entryName` ("/"
// separated). On failure returns false with the reason in `error`; a partial archive is removed.
bool WriteSingleFileZip(const std::string& sourcePath, const std::string& entryName,
                        const std::string& archivePath, std::string& error);
