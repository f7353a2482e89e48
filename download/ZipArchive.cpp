#include "download/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/FileSystemPath.h"
#include "platform/Path.h"

namespace {

std::atomic<uint32_t> lastResult{kZipSuccess};

uint32_t Record(uint32_t code) {
  lastResult.store(code);
  return code;
}

constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kMaxCommentLength = 65535;
constexpr size_t kMaxNameLength = 259;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
// Reading and writing in 64 KiB pieces: fewer system calls than 16 KiB for the same flat memory.
constexpr size_t kBufferSize = 65536;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Where the drive prefixes (any character and ":") and separators at name[pos] end.
size_t SkipRootPrefix(std::string_view name, size_t pos) {
  for (;;) {
    if (pos + 1 < name.size() && name[pos + 1] == ':')
      pos += 2;
    else if (pos < name.size() && IsSeparator(name[pos]))
      ++pos;
    else
      return pos;
  }
}

size_t ComponentEnd(std::string_view name, size_t pos) {
  while (pos < name.size() && !IsSeparator(name[pos])) ++pos;
  return pos;
}

// Hosts whose external attributes carry MS-DOS attribute bits in their low byte.
bool HasDosAttributes(uint8_t host) { return host == 0 || host == 7 || host == 11 || host == 14; }

uint32_t AttributesFor(uint8_t host, uint32_t external) {
  if (HasDosAttributes(host)) {
    return external & (platform::kAttributeReadOnly | platform::kAttributeHidden |
                       platform::kAttributeSystem | platform::kAttributeDirectory |
                       platform::kAttributeArchive);
  }
  uint32_t attributes = platform::kAttributeArchive;
  if (external & 0x40000000) attributes |= platform::kAttributeDirectory;  // S_IFDIR << 16
  if (!(external & 0x00800000)) attributes |= platform::kAttributeReadOnly;  // S_IWUSR << 16
  return attributes;
}

// DOS dates count local time; an impossible date gives 0 (times left unchanged).
uint64_t DosTimeToFileTime(uint16_t date, uint16_t time) {
  std::tm local{};
  local.tm_year = 80 + (date >> 9);
  local.tm_mon = ((date >> 5) & 0x0f) - 1;
  local.tm_mday = date & 0x1f;
  local.tm_hour = time >> 11;
  local.tm_min = (time >> 5) & 0x3f;
  local.tm_sec = 2 * (time & 0x1f);
  local.tm_isdst = -1;
  std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1)) return 0;
  return platform::UnixToFileTime(seconds);
}

// The "UT" extended timestamp of a local extra field: a flag byte, then the write, access and
// creation times (Unix seconds) that its bits 0, 1 and 2 announce, in that order.
void ApplyExtendedTimestamp(const std::vector<uint8_t>& extra, ZipEntryInfo& info) {
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    uint16_t id = Read16(&extra[pos]);
    size_t size = Read16(&extra[pos + 2]);
    size_t data = pos + 4;
    if (data + size > extra.size()) return;
    if (id == 0x5455 && size >= 1) {
      uint8_t flags = extra[data];
      size_t field = data + 1;
      uint64_t* targets[] = {&info.writeTime, &info.accessTime, &info.creationTime};
      for (int bit = 0; bit < 3; ++bit) {
        if (!(flags & (1 << bit))) continue;
        if (field + 4 > data + size) break;
        *targets[bit] = platform::UnixToFileTime(Read32(&extra[field]));
        field += 4;
      }
      return;
    }
    pos = data + size;
  }
}

struct ResultText {
  uint32_t code;
  const char* text;
};

constexpr ResultText kResultTexts[] = {
    {kZipSuccess, "Success"},
    {kZipNoDuplicate, "Culdn't duplicate handle"},
    {kZipNoFile, "Couldn't create/open file"},
    {kZipNoAlloc, "Failed to allocate memory"},
    {kZipWrite, "Error writing to file"},
    {kZipNotFound, "File not found in the zipfile"},
    {kZipMore, "Still more data to unzip"},
    {kZipCorrupt, "Zipfile is corrupt or not a zipfile"},
    {kZipRead, "Error reading file"},
    {kZipPassword, "Correct password required"},
    {kZipArgs, "Caller: faulty arguments"},
    {kZipNotMemory, "Caller: can only get memory of a memory zipfile"},
    {kZipMemorySize, "Caller: not enough space allocated for memory zipfile"},
    {kZipFailed, "Caller: there was a previous error"},
    {kZipEnded, "Caller: additions to the zip have already been ended"},
    {kZipMissize, "Zip-bug: the anticipated size turned out wrong"},
    {kZipPartialUnzip, "Caller: the file had already been partially unzipped"},
    {kZipZipMode, "Caller: mixing creation and opening of zip"},
    {kZipNotInitialised, "Zip-bug: internal initialisation not completed"},
    {kZipSeek, "Zip-bug: trying to seek the unseekable"},
    {kZipNoChange, "Zip-bug: tried to change mind, but not allowed"},
    {kZipFlate, "Zip-bug: an internal error during flation"},
};

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  std::error_code error;
  std::filesystem::create_directories(platform::FileSystemPath(folder), error);
  return std::filesystem::is_directory(platform::FileSystemPath(folder), error);
}

}  // namespace

std::string ZipNameFor(const std::string& name) {
  size_t dot = name.find('.');
  if (dot == std::string::npos || dot == 0) return {};
  return name.substr(0, dot) + ".zip";
}

size_t ZipResultText(uint32_t code, char* buffer, size_t length) {
  if (code == kZipLastResult) code = lastResult.load();
  const char* text = "unknown zip result code";
  for (const ResultText& entry : kResultTexts)
    if (entry.code == code) text = entry.text;
  size_t full = std::strlen(text);
  if (buffer && length > 0) {
    size_t copied = full < length - 1 ? full : length - 1;
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
  }
  return full;
}

std::string ZipResultText(uint32_t code) {
  std::string text(ZipResultText(code, nullptr, 0), '\0');
  ZipResultText(code, text.data(), text.size() + 1);
  return text;
}

uint32_t ZipLastResult() { return lastResult.load(); }

std::string SafeEntryName(const std::string& storedName) {
  // Each kept component with the separator that followed it; ".." removes the one before.
  std::string safe;
  std::vector<size_t> keptStarts;
  for (size_t pos = SkipRootPrefix(storedName, 0); pos < storedName.size();) {
    size_t end = ComponentEnd(storedName, pos);
    std::string_view component(storedName.data() + pos, end - pos);
    if (component == "..") {
      if (!keptStarts.empty()) {
        safe.resize(keptStarts.back());
        keptStarts.pop_back();
      }
    } else if (!component.empty() && component != ".") {
      keptStarts.push_back(safe.size());
      safe.append(storedName, pos, std::min(end + 1, storedName.size()) - pos);
    }
    pos = end + 1;
  }
  // Resolving may bring a drive prefix to the front ("../C:/x"), which goes as well. Behind a
  // prefix stand kept components, so only a "." or ".." that the prefix leaves ("C:..") can go
  // with it; stripping then repeats from the next component. Each character is passed once.
  size_t pos = 0;
  for (;;) {
    size_t start = SkipRootPrefix(safe, pos);
    if (start == pos) return safe.substr(pos);
    size_t end = ComponentEnd(safe, start);
    std::string_view rest(safe.data() + start, end - start);
    pos = rest == "." || rest == ".." ? std::min(end + 1, safe.size()) : start;
  }
}

struct ZipArchive::Inflater {
  z_stream stream{};
  bool ready = false;
  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
};

struct ZipArchive::LocalEntry {
  uint64_t dataOffset = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  bool namedAsFolder = false;
};

ZipArchive::~ZipArchive() {
  if (file_) std::fclose(file_);
}

std::unique_ptr<ZipArchive> ZipArchive::Open(const std::string& path) {
  std::unique_ptr<ZipArchive> archive(new ZipArchive);
  if (!archive->ReadDirectory(path)) {
    Record(kZipNoFile);
    return nullptr;
  }
  if (!archive->EntriesAreDisjoint()) {
    Record(kZipCorrupt);
    return nullptr;
  }
  std::error_code error;
  std::string current = platform::Utf8PathOf(std::filesystem::current_path(error));
  archive->baseDir_ = current.empty() ? "./" : current;
  if (!IsSeparator(archive->baseDir_.back())) archive->baseDir_ += '/';
  Record(kZipSuccess);
  return archive;
}

bool ZipArchive::ReadAt(uint64_t offset, void* data, size_t size) {
  if (!file_ || offset > fileSize_ || size > fileSize_ - offset) return false;
  if (!platform::SeekOpenFile(file_, static_cast<int64_t>(offset))) return false;
  return std::fread(data, 1, size, file_) == size;
}

// Finds the end record nearest the end of the file, checks it and loads the central directory.
bool ZipArchive::ReadDirectory(const std::string& path) {
  file_ = platform::OpenFile(platform::ToNativePath(path), "rb");
  if (!file_) return false;
  const int64_t size = platform::OpenFileLength(file_);
  if (size < static_cast<int64_t>(kEndRecordSize)) return false;
  fileSize_ = static_cast<uint64_t>(size);

  uint64_t searchLength = std::min<uint64_t>(fileSize_, kMaxCommentLength + kEndRecordSize);
  uint64_t searchStart = fileSize_ - searchLength;
  std::vector<uint8_t> tail(searchLength);
  if (!ReadAt(searchStart, tail.data(), tail.size())) return false;
  size_t found = tail.size();
  for (size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
    if (Read32(&tail[i]) == kEndRecordSignature) {
      found = i;
      break;
    }
  }
  if (found == tail.size()) return false;

  const uint8_t* record = &tail[found];
  uint64_t recordPos = searchStart + found;
  uint16_t disk = Read16(record + 4), directoryDisk = Read16(record + 6);
  uint16_t entriesHere = Read16(record + 8), entriesTotal = Read16(record + 10);
  uint64_t directorySize = Read32(record + 12), directoryOffset = Read32(record + 16);
  if (disk != 0 || directoryDisk != 0 || entriesHere != entriesTotal) return false;
  if (directoryOffset + directorySize > recordPos) return false;
  bias_ = recordPos - (directoryOffset + directorySize);
  directoryStart_ = directoryOffset + bias_;

  directory_.resize(directorySize);
  if (!ReadAt(directoryStart_, directory_.data(), directory_.size())) return false;
  entryCount_ = entriesTotal;

  // Entries past a damaged record stay counted but cannot be read (0x700 from GetEntry).
  size_t pos = 0;
  for (uint32_t i = 0; i < entryCount_; ++i) {
    if (pos + kCentralRecordSize > directory_.size()) break;
    const uint8_t* p = &directory_[pos];
    if (Read32(p) != kCentralSignature) break;
    size_t length = kCentralRecordSize + Read16(p + 28) + Read16(p + 30) + Read16(p + 32);
    if (pos + length > directory_.size()) break;
    recordOffsets_.push_back(pos);
    declaredTotal_ += Read32(p + 24);
    pos += length;
  }
  return true;
}

// Each entry's local header and data must lie in front of the central directory and share no
// byte with another entry's. An entry whose local header cannot be read is left out: GetEntry
// refuses it anyway.
bool ZipArchive::EntriesAreDisjoint() {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  ranges.reserve(recordOffsets_.size());
  for (size_t offset : recordOffsets_) {
    const uint8_t* central = &directory_[offset];
    uint64_t headerOffset = Read32(central + 42) + bias_;
    uint8_t header[kLocalHeaderSize];
    if (!ReadAt(headerOffset, header, sizeof header) || Read32(header) != kLocalSignature) continue;
    // The same extent that extraction reads: the central name length and compressed size, the
    // local extra field.
    uint64_t end = headerOffset + kLocalHeaderSize + Read16(central + 28) + Read16(header + 28) +
                   Read32(central + 20);
    if (end > directoryStart_) return false;
    ranges.emplace_back(headerOffset, end);
  }
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i)
    if (ranges[i].first < ranges[i - 1].second) return false;
  return true;
}

uint32_t ZipArchive::SetBaseDir(const std::string& dir) {
  if (!file_ || dir.empty()) return Record(kZipArgs);
  baseDir_ = dir;
  if (!IsSeparator(baseDir_.back())) baseDir_ += '/';
  spaceConfirmed_ = false;
  return Record(kZipSuccess);
}

void ZipArchive::SetCancelTest(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }

uint32_t ZipArchive::GetEntry(int32_t index, ZipEntryInfo& info) {
  if (!file_ || index < -1 || index >= static_cast<int64_t>(entryCount_)) return Record(kZipArgs);
  if (index != -1 && index == lastIndex_) {
    info = lastInfo_;
    return Record(kZipSuccess);
  }
  if (index == -1) {
    info = ZipEntryInfo{};
    info.index = static_cast<int32_t>(entryCount_);
    return Record(kZipSuccess);
  }
  LocalEntry local;
  uint32_t code = ReadEntry(index, info, local);
  if (code == kZipSuccess) {
    lastIndex_ = index;
    lastInfo_ = info;
  }
  return Record(code);
}

// Reads entry index from the central directory and its local header, which must agree.
uint32_t ZipArchive::ReadEntry(int32_t index, ZipEntryInfo& info, LocalEntry& local) {
  if (static_cast<size_t>(index) >= recordOffsets_.size()) return kZipCorrupt;
  const uint8_t* central = &directory_[recordOffsets_[index]];
  uint16_t madeBy = Read16(central + 4);
  local.flags = Read16(central + 8);
  local.method = Read16(central + 10);
  uint16_t dosTime = Read16(central + 12), dosDate = Read16(central + 14);
  local.crc = Read32(central + 16);
  uint32_t compressedSize = Read32(central + 20), size = Read32(central + 24);
  uint16_t nameLength = Read16(central + 28);
  uint32_t external = Read32(central + 38);
  uint64_t headerOffset = Read32(central + 42) + bias_;
  std::string storedName(reinterpret_cast<const char*>(central + kCentralRecordSize), nameLength);
  // The system's calls would end the name at the NUL, so it would not be the name checked here.
  if (storedName.find('\0') != std::string::npos) return kZipCorrupt;

  uint8_t header[kLocalHeaderSize];
  if (!ReadAt(headerOffset, header, sizeof header)) return kZipCorrupt;
  if (Read32(header) != kLocalSignature || Read16(header + 8) != local.method) return kZipCorrupt;
  if (local.method != kMethodStored && local.method != kMethodDeflated) return kZipCorrupt;
  if (!(Read16(header + 6) & kFlagDataDescriptor) &&
      (Read32(header + 14) != local.crc || Read32(header + 18) != compressedSize ||
       Read32(header + 22) != size))
    return kZipCorrupt;
  if (Read16(header + 26) != nameLength) return kZipCorrupt;
  if (local.method == kMethodStored && compressedSize != size) return kZipCorrupt;
  std::vector<uint8_t> extra(Read16(header + 28));
  uint64_t extraOffset = headerOffset + kLocalHeaderSize + nameLength;
  if (!ReadAt(extraOffset, extra.data(), extra.size())) return kZipRead;
  local.dataOffset = extraOffset + extra.size();
  local.namedAsFolder = !storedName.empty() && IsSeparator(storedName.back());

  info = ZipEntryInfo{};
  info.index = index;
  info.name = SafeEntryName(storedName).substr(0, kMaxNameLength);
  info.attributes = AttributesFor(static_cast<uint8_t>(madeBy >> 8), external);
  info.writeTime = info.accessTime = info.creationTime = DosTimeToFileTime(dosDate, dosTime);
  ApplyExtendedTimestamp(extra, info);
  info.compressedSize = compressedSize;
  info.size = size;
  return kZipSuccess;
}

uint32_t ZipArchive::ExtractEntry(int32_t index, const std::string& targetName) {
  if (!file_ || index < 0 || index >= static_cast<int64_t>(entryCount_)) return Record(kZipArgs);
  if (targetName.find('\0') != std::string::npos) return Record(kZipArgs);
  // Each entry writes at most its declared size, so this bounds what the whole archive can
  // write; asked once, since the archive's own files use up the space as they arrive.
  if (!spaceConfirmed_) {
    std::optional<uint64_t> freeBytes = platform::FreeDiskSpace(platform::ToNativePath(baseDir_));
    if (!freeBytes || declaredTotal_ > *freeBytes) return Record(kZipWrite);
    spaceConfirmed_ = true;
  }
  ZipEntryInfo info;
  LocalEntry local;
  uint32_t code = ReadEntry(index, info, local);
  if (code != kZipSuccess) return Record(code);

  // A target given whole is taken as it is (on Windows it starts with its drive); a relative one
  // stays under the base directory and names no drive.
  std::string target;
  if (platform::IsAbsolutePath(targetName)) {
    target = platform::ToNativePath(targetName);
  } else {
    if ((targetName.size() >= 2 && targetName[1] == ':') || platform::EscapesBase(targetName))
      return Record(kZipArgs);
    target = platform::JoinPath(baseDir_, targetName);
  }

  if ((info.attributes & platform::kAttributeDirectory) || local.namedAsFolder)
    return Record(MakeFolders(target) ? kZipSuccess : kZipNoFile);
  if (local.flags & kFlagEncrypted) return Record(kZipPassword);
  std::string fileName = platform::FileNameOf(target);
  if (fileName.empty() || fileName == "." || fileName == "..") return Record(kZipNoFile);
  return Record(ExtractFile(info, local, target));
}

// Writes the entry beside the target under a temporary name and renames it into place once
// the data is complete and its CRC-32 matches.
uint32_t ZipArchive::ExtractFile(const ZipEntryInfo& info, const LocalEntry& local,
                                 const std::string& target) {
  std::string folder = platform::ParentOf(target);
  if (!MakeFolders(folder)) return kZipNoFile;
  static std::atomic<uint32_t> tempCounter{0};
  std::string tempPath;
  std::FILE* out = nullptr;
  for (int attempt = 0; attempt < 100 && !out; ++attempt) {
    tempPath = platform::JoinPath(folder.empty() ? "/" : folder,
                                  ".unzip-" + std::to_string(tempCounter++) + ".tmp");
    out = platform::OpenFile(tempPath, "wbx");  // never reuses a file that already exists
  }
  if (!out) return kZipNoFile;

  uint32_t code = CopyEntryData(info, local, out);
  if (std::fclose(out) != 0 && code == kZipSuccess) code = kZipWrite;
  std::error_code error;
  if (code == kZipSuccess) {
    platform::SetFileTimes(tempPath, info.accessTime, info.writeTime);
    platform::SetFileAttributes(tempPath, info.attributes & ~platform::kAttributeDirectory);
    std::filesystem::rename(platform::FileSystemPath(tempPath), platform::FileSystemPath(target), error);
    if (!error) return kZipSuccess;
    code = kZipNoFile;
  }
  std::filesystem::remove(platform::FileSystemPath(tempPath), error);
  return code;
}

uint32_t ZipArchive::CopyEntryData(const ZipEntryInfo& info, const LocalEntry& local, std::FILE* out) {
  if (inBuffer_.empty()) {
    inBuffer_.resize(kBufferSize);
    outBuffer_.resize(kBufferSize);
  }
  if (!platform::SeekOpenFile(file_, static_cast<int64_t>(local.dataOffset))) return kZipFlate;
  uint64_t remaining = info.compressedSize;
  uint64_t written = 0;
  uLong crc = crc32(0, nullptr, 0);
  auto readPiece = [&]() -> size_t {
    size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, inBuffer_.size()));
    size_t got = want ? std::fread(inBuffer_.data(), 1, want, file_) : 0;
    remaining -= got;
    return got;
  };
  auto cancelled = [&] { return cancelled_ && cancelled_(); };
  auto writePiece = [&](const uint8_t* data, size_t length) -> uint32_t {
    if (written + length > info.size) return kZipMissize;  // stops a bomb at its declared size
    if (std::fwrite(data, 1, length, out) != length) return kZipWrite;
    crc = crc32(crc, data, static_cast<uInt>(length));
    written += length;
    return kZipSuccess;
  };

  if (local.method == kMethodStored) {
    while (remaining > 0) {
      if (cancelled()) return kZipMore;
      size_t got = readPiece();
      if (got == 0) return kZipFlate;
      if (uint32_t code = writePiece(inBuffer_.data(), got)) return code;
    }
  } else {
    if (!inflater_) inflater_ = std::make_unique<Inflater>();
    z_stream& stream = inflater_->stream;
    if (!inflater_->ready) {
      if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return kZipNoAlloc;
      inflater_->ready = true;
    } else if (inflateReset(&stream) != Z_OK) {
      return kZipFlate;
    }
    stream.avail_in = 0;
    for (;;) {
      if (cancelled()) return kZipMore;
      if (stream.avail_in == 0 && remaining > 0) {
        size_t got = readPiece();
        if (got == 0) return kZipFlate;
        stream.next_in = inBuffer_.data();
        stream.avail_in = static_cast<uInt>(got);
      }
      stream.next_out = outBuffer_.data();
      stream.avail_out = static_cast<uInt>(outBuffer_.size());
      int status = inflate(&stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END) return kZipFlate;
      size_t produced = outBuffer_.size() - stream.avail_out;
      if (uint32_t code = writePiece(outBuffer_.data(), produced)) return code;
      if (status == Z_STREAM_END) break;
      if (produced == 0 && stream.avail_in == 0 && remaining == 0) return kZipFlate;
    }
  }
  if (written != info.size) return kZipFlate;
  return crc == local.crc ? kZipSuccess : kZipCorrupt;
}

uint32_t ZipArchive::Close() {
  if (!file_) return Record(kZipArgs);
  std::fclose(file_);
  file_ = nullptr;
  return Record(kZipSuccess);
}
