#pragma once
// The MD5 digest (RFC 1321) of byte streams and files, as lower-case hexadecimal text.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class Md5Context {
 public:
  Md5Context() { Init(); }

  // Starts a new digest: the RFC's initial state, nothing processed.
  void Init();
  // Feeds `length` bytes; may be called any number of times.
  void Update(const void* data, size_t length);
  // Pads, finishes and returns the 32-digit lower-case digest text. The context starts a new
  // digest afterwards.
  std::string Final();

 private:
  // Compresses `count` consecutive 64-byte blocks into the state.
  void ProcessBlocks(const uint8_t* blocks, size_t count);

  uint32_t state_[4];
  uint64_t bitCount_;      // message length in bits, modulo 2^64
  uint8_t buffer_[64];     // the start of an incomplete block
  size_t buffered_;        // bytes held in buffer_, always below 64
};

// The digest text of the whole file at `path` (a native path). Empty when the file cannot be
// opened or read to its end, and when `cancelled` (polled once per read of up to 128 KiB)
// returns true.
std::string Md5OfFile(const std::string& path, const std::function<bool()>& cancelled = {});
