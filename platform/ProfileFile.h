#pragma once
// Private-profile (INI) files read and written key by key, with the behaviour the launcher's
// files were made for: no cache (every call opens the file), names matched ignoring case, and
// blocks of bytes stored as checksummed hexadecimal text.
//
// `file` may use "\" as separator and is found regardless of letter case (ResolvePath). Text
// forms are those of ProfileText.h. A write touches only its own line, keeps the rest of the file
// byte for byte, creates a missing file, and replaces the file in one step, so a crash leaves
// either the old or the new file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/StoreFile.h"

namespace platform {

// The whole text of a profile file. Missing when the file (or its folder) does not exist;
// Failed when it exists but cannot be read (no permission, a folder), with the system's words
// in `error`. The reads below take both for a missing file and give their defaults.
FileReadStatus ReadProfileFile(const std::string& file, std::string& text, std::string& error);

// The value of section/key (blanks around it and one pair of surrounding quotes removed), or
// `defaultValue` when the file, the section or the key is missing. The value is returned whole;
// a caller with a fixed-size buffer cuts it itself.
std::string GetProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view defaultValue);

// Sets section/key to `value`. False when the file cannot be read or replaced, or when the entry
// cannot be stored as one line that reads back the same section and key (a line break or NUL
// anywhere, "]" in the section, "=" in the key, a blank key or one starting with ";" or "[").
bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value);

// A block of `size` bytes stored by WriteProfileStruct; none when it is missing, not exactly
// that long, not hexadecimal, or its checksum does not match.
std::optional<std::vector<uint8_t>> GetProfileStruct(const std::string& file, std::string_view section,
                                                     std::string_view key, size_t size);

// Stores `size` bytes as upper-case hexadecimal pairs followed by one more pair holding the 8-bit
// sum of the bytes.
bool WriteProfileStruct(const std::string& file, std::string_view section, std::string_view key,
                        const void* data, size_t size);

// The text forms of a block, shared with the tests and the fuzzer.
std::string EncodeProfileStruct(const void* data, size_t size);
std::optional<std::vector<uint8_t>> DecodeProfileStruct(std::string_view text, size_t size);

}  // namespace platform
