#include "platform/Resources.h"

#include "platform/StringBlockIndex.h"

namespace platform {

std::span<const uint16_t> FindStringBlock(int block, uint16_t languageId) {
  for (size_t i = 0; i < kStringBlockCount; ++i) {
    const StringBlockRecord& record = kStringBlocks[i];
    if (record.block == block && record.languageId == languageId) return {record.units, record.length};
  }
  return {};
}

}  // namespace platform
