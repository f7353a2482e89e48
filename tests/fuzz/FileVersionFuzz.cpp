// Feeds arbitrary file images to the version reader: PE resource trees and ELF notes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "patch/FileVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadVersionWords(std::span<const uint8_t>(data, size));
  return 0;
}
