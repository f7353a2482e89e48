#include "patch/TextChecksum.h"

#include <zlib.h>

#include <memory>

#include "platform/FileSystem.h"

namespace {

constexpr size_t kReadSize = 1 << 20;
constexpr unsigned char kEndOfText = 0x1a;

// Turns one raw block into its text-mode bytes. A CR at the end of a block waits in
// `pendingCr` for the first byte of the next one. Returns false once the end mark was met.
bool TranslateBlock(const unsigned char* raw, size_t length, unsigned char* out, size_t& outLength,
                    bool& pendingCr) {
  outLength = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char byte = raw[i];
    if (pendingCr) {
      pendingCr = false;
      if (byte == '\n') {
        out[outLength++] = '\n';
        continue;
      }
      out[outLength++] = '\r';
    }
    if (byte == kEndOfText) return false;
    if (byte == '\r')
      pendingCr = true;
    else
      out[outLength++] = byte;
  }
  return true;
}

}  // namespace

uint32_t TextModeCrc32(const std::string& path, const std::function<bool()>& cancelled) {
  std::unique_ptr<unsigned char[]> text(new unsigned char[kReadSize]);
  uLong crc = crc32(0L, Z_NULL, 0);
  bool pendingCr = false;
  bool endMark = false;
  const bool read = platform::ReadFileInPieces(path, kReadSize, cancelled, [&](const uint8_t* piece, size_t size) {
    size_t textLength = 0;
    endMark = !TranslateBlock(piece, size, text.get(), textLength, pendingCr);
    crc = crc32(crc, text.get(), static_cast<uInt>(textLength));
    return !endMark;
  });
  if (!read) return 0;
  // A CR that ends the file stays as it is.
  if (pendingCr && !endMark) {
    const unsigned char cr = '\r';
    crc = crc32(crc, &cr, 1);
  }
  return static_cast<uint32_t>(crc);
}
