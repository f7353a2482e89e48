#include "platform/Resources.h"

#include "platform/PictureIndex.h"
#include "platform/StringBlockIndex.h"

namespace platform {

std::span<const uint16_t> FindStringBlock(int block, uint16_t languageId) {
  for (size_t i = 0; i < kStringBlockCount; ++i) {
    const StringBlockRecord& record = kStringBlocks[i];
    if (record.block == block && record.languageId == languageId) return {record.units, record.length};
  }
  return {};
}

std::span<const uint8_t> FindBitmapResource(int id) {
  for (size_t i = 0; i < kPictureCount; ++i) {
    const PictureRecord& record = kPictures[i];
    if (record.kind == PictureKind::Bitmap && record.id == id) return {record.png, record.length};
  }
  return {};
}

std::vector<std::span<const uint8_t>> FindIconResource(int id) {
  std::vector<std::span<const uint8_t>> pictures;
  for (size_t i = 0; i < kPictureCount; ++i) {
    const PictureRecord& record = kPictures[i];
    if (record.kind == PictureKind::Icon && record.id == id) pictures.emplace_back(record.png, record.length);
  }
  return pictures;
}

}  // namespace platform
