#include "window/Catalogue.h"

#include <algorithm>
#include <span>

#include "platform/Resources.h"

uint16_t CatalogueLanguageForLocale(int locale) {
  switch (locale) {
    case 2: return kLanguageJapanese;
    case 3: return kLanguageChinese;
    case 4: return kLanguageEnglish;
    default: return kLanguageKorean;
  }
}

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// A surrogate without its partner becomes U+FFFD rather than invalid UTF-8.
std::string Utf16ToUtf8(std::span<const uint16_t> units) {
  constexpr uint32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(units.size() * 3);
  for (size_t i = 0; i < units.size(); ++i) {
    const uint32_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace

std::string LoadCatalogueStringIn(uint16_t languageId, int id) {
  if (id < 0) return {};
  std::span<const uint16_t> block = platform::FindStringBlock(id / 16 + 1, languageId);
  size_t pos = 0;
  for (int entry = 0; entry < id % 16; ++entry) {
    if (pos >= block.size()) return {};
    pos += 1 + block[pos];
  }
  if (pos >= block.size() || block[pos] == 0) return {};
  const size_t length = block[pos];
  // A block cut short keeps what it holds rather than reading past its end.
  const size_t available = std::min<size_t>(length, block.size() - pos - 1);
  return Utf16ToUtf8(block.subspan(pos + 1, available));
}

std::string FormatCatalogueInserts(std::string text, std::string_view first, std::string_view second) {
  std::string out;
  out.reserve(text.size() + first.size() + second.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
      out.append(text[i + 1] == '1' ? first : second);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}
