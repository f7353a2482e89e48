#include "platform/TerminalText.h"

#include "platform/TextEncoding.h"

namespace platform {

namespace {

constexpr unsigned char kBell = 0x07;
constexpr unsigned char kEscape = 0x1b;

bool InRange(std::string_view text, size_t at, unsigned char low, unsigned char high) {
  return at < text.size() && static_cast<unsigned char>(text[at]) >= low &&
         static_cast<unsigned char>(text[at]) <= high;
}

// OSC, DCS, SOS, PM and APC carry a string up to their terminator; a terminal swallows all of
// it, and so do we, up to the end of the text when the terminator is missing.
bool StartsControlString(char kind) {
  return kind == ']' || kind == 'P' || kind == 'X' || kind == '^' || kind == '_';
}

// Where the control string that starts at `at` ends: after BEL or C1 ST, or at the ESC that
// begins ESC \ (left to be skipped as an escape sequence of its own).
size_t SkipControlString(std::string_view text, size_t at) {
  for (; at < text.size(); ++at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == kBell) return at + 1;
    if (c == kEscape) return at;
    if (c == 0xc2 && InRange(text, at + 1, 0x9c, 0x9c)) return at + 2;
  }
  return at;
}

// Where a CSI sequence whose body starts at `at` ends: after its parameter and intermediate
// bytes and its final byte. Anything else ends it early and is looked at on its own.
size_t SkipCsi(std::string_view text, size_t at) {
  while (InRange(text, at, 0x20, 0x3f)) ++at;
  return InRange(text, at, 0x40, 0x7e) ? at + 1 : at;
}

// `kind` is the byte after ESC, or the ESC form of a C1 control; `at` follows it.
size_t SkipSequence(std::string_view text, size_t at, char kind) {
  if (kind == '[') return SkipCsi(text, at);
  if (StartsControlString(kind)) return SkipControlString(text, at);
  return at;
}

// `at` follows ESC. Besides CSI and the control strings, an escape sequence is intermediate
// bytes and one final byte ("ESC ( B", "ESC c"); a lone ESC is dropped by itself.
size_t SkipEscape(std::string_view text, size_t at) {
  if (at < text.size() && (text[at] == '[' || StartsControlString(text[at])))
    return SkipSequence(text, at + 1, text[at]);
  while (InRange(text, at, 0x20, 0x2f)) ++at;
  return InRange(text, at, 0x30, 0x7e) ? at + 1 : at;
}

std::string Filter(std::string_view text, char lineBreak) {
  std::string shown;
  shown.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == kEscape) {
      at = SkipEscape(text, at + 1);
    } else if (c == '\r' || c == '\n') {
      // A lone CR would let the text that follows overwrite the line before it.
      at += c == '\r' && InRange(text, at + 1, '\n', '\n') ? 2 : 1;
      shown += lineBreak;
    } else if (c == '\t') {
      shown += ' ';
      ++at;
    } else if (c < 0x20 || c == 0x7f) {
      ++at;
    } else if (c < 0x80) {
      shown += static_cast<char>(c);
      ++at;
    } else if (const size_t length = Utf8CharacterLength(text.substr(at)); length == 0) {
      shown += '?';
      ++at;
    } else if (c == 0xc2 && InRange(text, at + 1, 0x80, 0x9f)) {
      // U+0080..U+009F: the C1 controls, which some terminals obey as ESC plus a letter.
      at = SkipSequence(text, at + 2, static_cast<char>(static_cast<unsigned char>(text[at + 1]) - 0x40));
    } else {
      shown.append(text.substr(at, length));
      at += length;
    }
  }
  return shown;
}

}  // namespace

std::string TerminalText(std::string_view text) { return Filter(text, '\n'); }

std::string TerminalLine(std::string_view text, size_t maxBytes) {
  std::string line = Filter(text, ' ');
  if (line.size() <= maxBytes) return line;
  size_t cut = maxBytes;
  // Back up over continuation bytes to the start of the character that does not fit.
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  line.resize(cut);
  return line;
}

}  // namespace platform
