#include "platform/ProfileFile.h"

#include <cerrno>
#include <system_error>

#include "platform/Path.h"
#include "platform/ProfileText.h"
#include "platform/StoreFile.h"

namespace platform {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

FileReadStatus ReadProfileFile(const std::string& file, std::string& text, std::string& error) {
  const FileReadStatus status = ReadWholeFile(ResolvePath(file), text);
  error = status == FileReadStatus::Failed ? std::error_code(errno, std::generic_category()).message() : "";
  return status;
}

std::string GetProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view defaultValue) {
  std::string text;
  if (ReadWholeFile(ResolvePath(file), text) != FileReadStatus::Ok) return std::string(defaultValue);
  std::optional<std::string> value = FindProfileValue(text, section, key);
  return value ? *value : std::string(defaultValue);
}

bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value) {
  if (!IsWritableProfileEntry(section, key, value)) return false;
  const std::string path = ResolvePath(file);
  // Two writers (threads or processes) would otherwise both read the old text and one of the
  // changes would be lost; the folder is locked so that no lock file appears beside the profile.
  const std::string folder = ParentOf(path);
  ExclusiveFileLock lock(folder.empty() ? "." : folder);
  std::string text;
  if (ReadWholeFile(path, text) == FileReadStatus::Failed) return false;
  return ReplaceFileContents(path, SetProfileValue(text, section, key, value));
}

std::string EncodeProfileStruct(const void* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::string text;
  text.reserve(size * 2 + 2);
  uint8_t sum = 0;
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0f]);
    sum = static_cast<uint8_t>(sum + bytes[i]);
  }
  text.push_back(kDigits[sum >> 4]);
  text.push_back(kDigits[sum & 0x0f]);
  return text;
}

std::optional<std::vector<uint8_t>> DecodeProfileStruct(std::string_view text, size_t size) {
  if (size > (text.size() / 2) || text.size() != size * 2 + 2) return std::nullopt;
  std::vector<uint8_t> bytes(size + 1);
  for (size_t i = 0; i <= size; ++i) {
    int high = HexDigitValue(text[i * 2]);
    int low = HexDigitValue(text[i * 2 + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<uint8_t>(high * 16 + low);
  }
  uint8_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  if (sum != bytes[size]) return std::nullopt;
  bytes.pop_back();
  return bytes;
}

std::optional<std::vector<uint8_t>> GetProfileStruct(const std::string& file, std::string_view section,
                                                     std::string_view key, size_t size) {
  std::string text;
  if (ReadWholeFile(ResolvePath(file), text) != FileReadStatus::Ok) return std::nullopt;
  std::optional<std::string> value = FindProfileValue(text, section, key);
  if (!value) return std::nullopt;
  return DecodeProfileStruct(*value, size);
}

bool WriteProfileStruct(const std::string& file, std::string_view section, std::string_view key,
                        const void* data, size_t size) {
  if (size > 0 && !data) return false;
  return WriteProfileString(file, section, key, EncodeProfileStruct(data, size));
}

}  // namespace platform
