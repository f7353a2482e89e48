#include "patch/TextChecksum.h"

#include <zlib.h>

#include <cstdio>
#include <memory>

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
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  std::unique_ptr<unsigned char[]> raw(new unsigned char[kReadSize]);
  std::unique_ptr<unsigned char[]> text(new unsigned char[kReadSize]);
  uLong crc = crc32(0L, Z_NULL, 0);
  bool pendingCr = false;
  bool failed = false;
  for (;;) {
    if (cancelled && cancelled()) {
      failed = true;
      break;
    }
    size_t got = std::fread(raw.get(), 1, kReadSize, file);
    size_t textLength = 0;
    bool more = TranslateBlock(raw.get(), got, text.get(), textLength, pendingCr);
    crc = crc32(crc, text.get(), static_cast<uInt>(textLength));
    if (!more) break;
    if (got < kReadSize) {
      failed = std::ferror(file) != 0;
      if (pendingCr) {
        const unsigned char cr = '\r';
        crc = crc32(crc, &cr, 1);
      }
      break;
    }
  }
  std::fclose(file);
  return failed ? 0 : static_cast<uint32_t>(crc);
}
