#pragma once
// The pictures compiled into the executable. The bitmap compiler generates the table at build
// time from resources/bitmaps; only platform/Resources.cpp reads it.

#include <cstddef>
#include <cstdint>

namespace platform {

enum class PictureKind : uint8_t { Bitmap, Icon };

struct PictureRecord {
  PictureKind kind;
  int id;
  const uint8_t* png;  // a complete PNG file
  size_t length;
};

// An icon's pictures appear smallest first.
extern const PictureRecord kPictures[];
extern const size_t kPictureCount;

}  // namespace platform
