#pragma once
// Gives a Linux program a file version that FileVersion can read: an ELF note in the section
// ".note.solane.version", note name "Solane", type 1, whose descriptor holds the two version
// words (high = major << 16 | minor, low = patch << 16 | tweak) as little-endian bytes.
//
// Use once per program, at namespace scope in one source file:
//   SOLANE_DEFINE_VERSION_NOTE(1, 0, 0, 7);

#include <cstdint>

namespace solane_version_note {

struct Note {
  uint32_t nameSize;  // "Solane" and its terminating NUL
  uint32_t descriptorSize;
  uint32_t type;
  char name[8];  // padded to four bytes
  unsigned char words[8];
};

constexpr uint32_t kNoteType = 1;

constexpr uint32_t Word(uint32_t high, uint32_t low) { return (high & 0xffff) << 16 | (low & 0xffff); }

constexpr Note Make(uint32_t major, uint32_t minor, uint32_t patch, uint32_t tweak) {
  const uint32_t high = Word(major, minor), low = Word(patch, tweak);
  return Note{7, 8, kNoteType, {'S', 'o', 'l', 'a', 'n', 'e', 0, 0},
              {static_cast<unsigned char>(high), static_cast<unsigned char>(high >> 8),
               static_cast<unsigned char>(high >> 16), static_cast<unsigned char>(high >> 24),
               static_cast<unsigned char>(low), static_cast<unsigned char>(low >> 8),
               static_cast<unsigned char>(low >> 16), static_cast<unsigned char>(low >> 24)}};
}

}  // namespace solane_version_note

// The address sanitizer would pad the note with a red zone inside the note section.
#if defined(__clang__)
#define SOLANE_VERSION_NOTE_NO_SANITIZE __attribute__((no_sanitize("address")))
#else
#define SOLANE_VERSION_NOTE_NO_SANITIZE
#endif

#define SOLANE_DEFINE_VERSION_NOTE(major, minor, patch, tweak)                                    \
  __attribute__((section(".note.solane.version"), used, aligned(4))) SOLANE_VERSION_NOTE_NO_SANITIZE \
  static const solane_version_note::Note solaneVersionNote =                                      \
      solane_version_note::Make((major), (minor), (patch), (tweak))
