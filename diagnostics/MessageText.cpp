#include "diagnostics/MessageText.h"

#include "window/Catalogue.h"

std::string DiagnosticText(uint16_t languageId, int id) {
  std::string text = LoadCatalogueStringIn(languageId, id);
  return text.empty() ? LoadCatalogueStringIn(kLanguageKorean, id) : text;
}

std::string FillPlaceholders(const std::string& text, const std::vector<std::string>& inserts) {
  std::string filled;
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char following = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '%' && (following == 's' || following == 'd')) {
      if (next < inserts.size()) filled += inserts[next];
      ++next;
      ++i;
    } else if (text[i] == '%' && following == '%') {
      filled += '%';
      ++i;
    } else {
      filled += text[i];
    }
  }
  return filled;
}
