#pragma once
// The message catalogue: every text the player sees is a numbered message (101 to 167) held in
// the executable in four languages. The locale picks the language.

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr uint16_t kLanguageEnglish = 1033;
inline constexpr uint16_t kLanguageJapanese = 1041;
inline constexpr uint16_t kLanguageKorean = 1042;
inline constexpr uint16_t kLanguageChinese = 2052;

// The catalogue language of a locale number: 1 KOREA, 2 JAPAN, 3 CHINA, 4 USA; any other
// number reads Korean.
uint16_t CatalogueLanguageForLocale(int locale);

// Message `id` in exactly that language, as UTF-8; empty when the message or the language is
// absent (there is no fall-back to another language).
std::string LoadCatalogueStringIn(uint16_t languageId, int id);

// Message `id` in the language of the engine's locale, read at every call so that a locale
// change during the update changes the language of later messages.
std::string LoadCatalogueString(int id);

// `text` with each "%1" replaced by `first` and each "%2" by `second`, in one pass: inserts are
// never searched again.
std::string FormatCatalogueInserts(std::string text, std::string_view first, std::string_view second);
