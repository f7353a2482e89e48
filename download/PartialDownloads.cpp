#include "download/PartialDownloads.h"

#include <cstdio>
#include <sstream>

#include "platform/FileSystem.h"
#include "platform/StoreFile.h"

namespace {

constexpr const char* kHeader = "SolaneLauncher partial 1";
constexpr const char* kNoteSuffix = ".resume";

std::string NotePath(const std::string& dataPath) { return dataPath + kNoteSuffix; }

bool IsOneLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

std::optional<PartialNote> ReadNote(const std::string& dataPath) {
  std::string text;
  if (platform::ReadWholeFile(NotePath(dataPath), text) != platform::FileReadStatus::Ok) return std::nullopt;
  std::istringstream lines(text);
  std::string header, total;
  PartialNote note;
  if (!std::getline(lines, header) || header != kHeader || !std::getline(lines, note.remotePath) ||
      !std::getline(lines, note.announcement) || !std::getline(lines, total) || !std::getline(lines, note.validator))
    return std::nullopt;
  char* end = nullptr;
  note.total = std::strtoll(total.c_str(), &end, 10);
  if (total.empty() || *end != '\0') return std::nullopt;
  return note;
}

}  // namespace

CTransferSession::ResumePoint ResumePointFor(const std::string& dataPath, const PartialNote& wanted) {
  const std::optional<int64_t> kept = platform::FileSizeOf(dataPath);
  const std::optional<PartialNote> note = kept ? ReadNote(dataPath) : std::nullopt;
  if (note && note->remotePath == wanted.remotePath && note->announcement == wanted.announcement &&
      note->total == wanted.total && !note->validator.empty() && *kept > 0 && *kept < note->total)
    return {*kept, note->validator};
  DropPartial(dataPath);
  return {};
}

bool WritePartialNote(const std::string& dataPath, const PartialNote& note) {
  if (note.validator.empty() || !IsOneLine(note.remotePath) || !IsOneLine(note.announcement) ||
      !IsOneLine(note.validator)) {
    platform::RemoveTree(NotePath(dataPath));
    return false;
  }
  return platform::ReplaceFileContents(NotePath(dataPath), std::string(kHeader) + "\n" + note.remotePath + "\n" +
                                                               note.announcement + "\n" + std::to_string(note.total) +
                                                               "\n" + note.validator + "\n");
}

void DropPartial(const std::string& dataPath) {
  platform::RemoveTree(dataPath);
  platform::RemoveTree(NotePath(dataPath));
}
