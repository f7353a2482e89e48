#include "tools/publish/ZipWriter.h"

#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kVersionNeeded = 20;           // deflate
constexpr uint16_t kVersionMadeBy = 3 << 8 | 20;  // Unix, 2.0: the external attributes carry a mode
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kUtf8NameFlag = 1 << 11;
constexpr uint16_t kTimestampTag = 0x5455;        // "UT"
constexpr uint64_t kLargest32 = kLargestZipSize;
constexpr size_t kChunk = 64 * 1024;

class Bytes {
 public:
  void U16(uint32_t value) { for (int i = 0; i < 2; ++i) data_.push_back(static_cast<uint8_t>(value >> (8 * i))); }
  void U32(uint32_t value) { for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(value >> (8 * i))); }
  void Text(const std::string& text) { data_.insert(data_.end(), text.begin(), text.end()); }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct EntryFacts {
  std::string name;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  int64_t modified = 0;  // seconds since the epoch, UTC
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
};

void SetDosTime(EntryFacts& facts) {
  const std::time_t seconds = static_cast<std::time_t>(facts.modified);
  std::tm local{};
  if (const std::tm* converted = std::localtime(&seconds)) local = *converted;
  const int year = local.tm_year + 1900;
  if (year < 1980) {
    facts.dosDate = 1 << 5 | 1;  // 1980-01-01, the earliest the field holds
    facts.dosTime = 0;
    return;
  }
  facts.dosDate = static_cast<uint16_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  facts.dosTime = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
}

bool NeedsUtf8Flag(const std::string& name) {
  for (unsigned char c : name)
    if (c >= 0x80) return true;
  return false;
}

void TimestampField(Bytes& out, int64_t modified) {
  out.U16(kTimestampTag);
  out.U16(5);
  out.Text(std::string(1, '\x01'));  // only the modification time follows
  out.U32(static_cast<uint32_t>(modified));
}

// The fields the local header and the central directory record share, from "version needed"
// to the extra field's length (the "UT" field of TimestampField).
void SharedEntryFields(Bytes& out, const EntryFacts& facts) {
  out.U16(kVersionNeeded);
  out.U16(NeedsUtf8Flag(facts.name) ? kUtf8NameFlag : 0);
  out.U16(kDeflated);
  out.U16(facts.dosTime);
  out.U16(facts.dosDate);
  out.U32(facts.crc);
  out.U32(static_cast<uint32_t>(facts.compressedSize));
  out.U32(static_cast<uint32_t>(facts.size));
  out.U16(static_cast<uint32_t>(facts.name.size()));
  out.U16(9);
}

Bytes LocalHeader(const EntryFacts& facts) {
  Bytes out;
  out.U32(kLocalHeaderSignature);
  SharedEntryFields(out, facts);
  out.Text(facts.name);
  TimestampField(out, facts.modified);
  return out;
}

Bytes CentralDirectoryAndEnd(const EntryFacts& facts, uint32_t directoryOffset) {
  Bytes out;
  out.U32(kCentralHeaderSignature);
  out.U16(kVersionMadeBy);
  SharedEntryFields(out, facts);
  out.U16(0);  // comment length
  out.U16(0);  // disk number
  out.U16(0);  // internal attributes
  out.U32(0100644u << 16 | 0x20);  // a regular file readable by all; the archive bit for Windows readers
  out.U32(0);  // the local header's offset
  out.Text(facts.name);
  TimestampField(out, facts.modified);
  const uint32_t directorySize = static_cast<uint32_t>(out.Data().size());

  out.U32(kEndSignature);
  out.U16(0);
  out.U16(0);
  out.U16(1);
  out.U16(1);
  out.U32(directorySize);
  out.U32(directoryOffset);
  out.U16(0);
  return out;
}

bool WriteAll(std::FILE* file, const void* data, size_t size) { return std::fwrite(data, 1, size, file) == size; }

bool WriteAll(std::FILE* file, const Bytes& bytes) { return WriteAll(file, bytes.Data().data(), bytes.Data().size()); }

// Deflates the whole source into `out` behind the local header, counting sizes and the CRC.
bool DeflateInto(std::FILE* source, std::FILE* out, EntryFacts& facts, std::string& error) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    error = "zlib cannot start deflating";
    return false;
  }
  std::vector<uint8_t> input(kChunk), output(kChunk);
  uLong crc = crc32(0, nullptr, 0);
  bool ok = true;
  int flush = Z_NO_FLUSH;
  while (ok && flush != Z_FINISH) {
    const size_t got = std::fread(input.data(), 1, input.size(), source);
    if (std::ferror(source)) {
      error = "cannot read the file";
      ok = false;
      break;
    }
    flush = std::feof(source) ? Z_FINISH : Z_NO_FLUSH;
    crc = crc32(crc, input.data(), static_cast<uInt>(got));
    facts.size += got;
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(got);
    do {
      stream.next_out = output.data();
      stream.avail_out = static_cast<uInt>(output.size());
      if (deflate(&stream, flush) == Z_STREAM_ERROR) {
        error = "zlib failed while deflating";
        ok = false;
        break;
      }
      const size_t produced = output.size() - stream.avail_out;
      facts.compressedSize += produced;
      if (!WriteAll(out, output.data(), produced)) {
        error = "cannot write the archive";
        ok = false;
        break;
      }
    } while (stream.avail_out == 0);
    if (ok && (facts.size > kLargest32 || facts.compressedSize > kLargest32)) {
      error = "4 GiB or more cannot be held in a zip archive without ZIP64";
      ok = false;
    }
  }
  deflateEnd(&stream);
  facts.crc = static_cast<uint32_t>(crc);
  return ok;
}

bool WriteArchive(const std::string& sourcePath, const std::string& archivePath, EntryFacts& facts,
                  std::string& error) {
  File source(std::fopen(sourcePath.c_str(), "rb"));
  if (!source) {
    error = "cannot open the file";
    return false;
  }
  File out(std::fopen(archivePath.c_str(), "wb"));
  if (!out) {
    error = "cannot create the archive";
    return false;
  }
  // The header is written twice: first to make room, then with the CRC and sizes filled in.
  const Bytes placeholder = LocalHeader(facts);
  if (!WriteAll(out.get(), placeholder)) {
    error = "cannot write the archive";
    return false;
  }
  if (!DeflateInto(source.get(), out.get(), facts, error)) return false;
  const uint64_t directoryOffset = placeholder.Data().size() + facts.compressedSize;
  if (directoryOffset > kLargest32) {
    error = "4 GiB or more cannot be held in a zip archive without ZIP64";
    return false;
  }
  if (!WriteAll(out.get(), CentralDirectoryAndEnd(facts, static_cast<uint32_t>(directoryOffset))) ||
      std::fseek(out.get(), 0, SEEK_SET) != 0 || !WriteAll(out.get(), LocalHeader(facts)) ||
      std::fflush(out.get()) != 0) {
    error = "cannot write the archive";
    return false;
  }
  if (std::fclose(out.release()) != 0) {
    error = "cannot write the archive";
    return false;
  }
  return true;
}

}  // namespace

bool WriteSingleFileZip(const std::string& sourcePath, const std::string& entryName, const std::string& archivePath,
                        std::string& error) {
  namespace fs = std::filesystem;
  std::error_code code;
  const auto size = fs::file_size(sourcePath, code);
  if (code) {
    error = "cannot read the file";
    return false;
  }
  if (size > kLargest32) {
    error = "4 GiB or more cannot be held in a zip archive without ZIP64";
    return false;
  }
  const auto written = fs::last_write_time(sourcePath, code);
  if (code) {
    error = "cannot read the file's time";
    return false;
  }
  if (entryName.empty() || entryName.size() > 0xffff) {
    error = "the entry name is empty or too long";
    return false;
  }
  EntryFacts facts;
  facts.name = entryName;
  facts.modified = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::file_clock::to_sys(written).time_since_epoch())
                       .count();
  SetDosTime(facts);
  if (WriteArchive(sourcePath, archivePath, facts, error)) return true;
  fs::remove(archivePath, code);
  return false;
}
