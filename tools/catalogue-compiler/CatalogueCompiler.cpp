// Turns the message catalogue's text files (resources/catalogue/<language id>.txt) into a C++
// source holding the string blocks the launcher looks its messages up in.
//
//   CatalogueCompiler <output.cpp> <help-desk address> <catalogue file>...
//
// A file that breaks the format, or a translation that does not match the English catalogue
// (1033.txt) in its message numbers or placeholders, stops the build with a message naming the
// file and line. Nothing is written then.

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "tools/generator-support/GeneratedSource.h"

namespace {

constexpr int kFirstId = 101;
constexpr int kLastId = 191;  // room for the launcher's own messages after the original set
constexpr uint16_t kEnglish = 1033;
constexpr std::string_view kHelpDeskToken = "${HELPDESK}";

struct Message {
  int line = 0;
  std::u16string text;
  std::vector<std::string> placeholders;
};

struct Catalogue {
  std::string fileName;
  uint16_t languageId = 0;
  std::map<int, Message> messages;
};

std::string Where(const std::string& fileName, int line) { return fileName + ":" + std::to_string(line); }

// Decodes strict UTF-8 (no overlong forms, no surrogates) into UTF-16.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    uint32_t code = 0;
    size_t extra = 0;
    if (lead < 0x80) {
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      code = lead & 0x1Fu;
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      code = lead & 0x0Fu;
      extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      code = lead & 0x07u;
      extra = 3;
    } else {
      return std::nullopt;
    }
    if (i + extra >= text.size() && extra > 0) return std::nullopt;  // truncated sequence
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0u) != 0x80u) return std::nullopt;
      code = (code << 6) | (next & 0x3Fu);
    }
    const bool overlong = (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FFu)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += extra + 1;
  }
  return out;
}

// The inserts of a text in order: %1 to %9 and the printf-style %s and %d.
std::vector<std::string> PlaceholdersOf(std::string_view text) {
  std::vector<std::string> found;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%') continue;
    const char kind = text[i + 1];
    if ((kind >= '1' && kind <= '9') || kind == 's' || kind == 'd') {
      found.push_back(std::string("%") + kind);
      ++i;
    }
  }
  return found;
}

std::string Joined(const std::vector<std::string>& items) {
  if (items.empty()) return "(none)";
  std::string joined;
  for (const auto& item : items) joined += (joined.empty() ? "" : " ") + item;
  return joined;
}

std::optional<std::string> Unescape(std::string_view raw, std::string& problem) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      text.push_back(raw[i]);
      continue;
    }
    if (i + 1 == raw.size()) {
      problem = "the text ends with a lone \"\\\"";
      return std::nullopt;
    }
    const char escape = raw[++i];
    if (escape == 'n') {
      text.push_back('\n');
    } else if (escape == 'r') {
      text.push_back('\r');
    } else if (escape == '\\') {
      text.push_back('\\');
    } else {
      problem = std::string("unknown escape \"\\") + escape + "\" (only \\n, \\r and \\\\ exist)";
      return std::nullopt;
    }
  }
  return text;
}

// The help-desk token is the only "${...}" the texts may hold.
std::optional<std::string> ReplaceTokens(std::string text, std::string_view helpDesk, std::string& problem) {
  std::string out;
  size_t pos = 0;
  while (true) {
    const size_t token = text.find("${", pos);
    if (token == std::string::npos) break;
    if (text.compare(token, kHelpDeskToken.size(), kHelpDeskToken) != 0) {
      problem = "unknown token at \"" + text.substr(token, 16) + "\" (only " + std::string(kHelpDeskToken) + " exists)";
      return std::nullopt;
    }
    out.append(text, pos, token - pos);
    out.append(helpDesk);
    pos = token + kHelpDeskToken.size();
  }
  out.append(text, pos);
  return out;
}

bool ParseMessageLine(const std::string& line, const std::string& where, std::string_view helpDesk, int& id,
                      Message& message) {
  size_t digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  if (digits == 0 || digits > 6) return Fail(where, "expected a message number at the start of the line");
  if (line.compare(digits, 3, " = ") != 0) return Fail(where, "expected \" = \" after the message number");
  id = std::stoi(line.substr(0, digits));
  if (id < kFirstId || id > kLastId)
    return Fail(where, "message number " + std::to_string(id) + " is outside " + std::to_string(kFirstId) +
                           ".." + std::to_string(kLastId));

  std::string problem;
  std::optional<std::string> text = Unescape(std::string_view(line).substr(digits + 3), problem);
  if (text) text = ReplaceTokens(*text, helpDesk, problem);
  if (!text) return Fail(where, problem);
  if (text->empty()) return Fail(where, "message " + std::to_string(id) + " has an empty text");
  std::optional<std::u16string> units = Utf8ToUtf16(*text);
  if (!units) return Fail(where, "the text is not valid UTF-8");
  if (units->size() > 0xFFFF) return Fail(where, "the text is longer than 65535 UTF-16 units");
  message.text = std::move(*units);
  message.placeholders = PlaceholdersOf(*text);
  return true;
}

std::optional<uint16_t> LanguageOfFileName(const std::string& path) {
  const std::string stem = std::filesystem::path(path).stem().string();
  if (stem.empty() || stem.size() > 5 || stem.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int language = std::stoi(stem);
  if (language <= 0 || language > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(language);
}

bool ReadCatalogue(const std::string& path, std::string_view helpDesk, Catalogue& catalogue) {
  catalogue.fileName = std::filesystem::path(path).filename().string();
  std::optional<uint16_t> language = LanguageOfFileName(path);
  if (!language) return Fail(path, "the file name must be a language id, such as 1033.txt");
  catalogue.languageId = *language;

  std::ifstream file(path, std::ios::binary);
  if (!file) return Fail(path, "cannot read the file");
  std::stringstream content;
  content << file.rdbuf();
  std::istringstream lines(content.str());
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const std::string where = Where(catalogue.fileName, lineNumber);
    if (line.find('\r') != std::string::npos)
      return Fail(where, "a carriage return in the line (write a carriage return in a text as \\r)");
    if (line.empty() || line[0] == '#') continue;
    int id = 0;
    Message message;
    message.line = lineNumber;
    if (!ParseMessageLine(line, where, helpDesk, id, message)) return false;
    auto [existing, added] = catalogue.messages.emplace(id, std::move(message));
    if (!added)
      return Fail(where, "message " + std::to_string(id) + " appears twice (first on line " +
                             std::to_string(existing->second.line) + ")");
  }
  if (catalogue.messages.empty()) return Fail(path, "the file holds no message");
  return true;
}

// Every language holds exactly the English messages, with the English inserts in their order.
bool MatchesEnglish(const Catalogue& english, const Catalogue& other) {
  bool ok = true;
  for (const auto& [id, message] : english.messages) {
    auto found = other.messages.find(id);
    if (found == other.messages.end()) {
      ok = Fail(other.fileName, "message " + std::to_string(id) + " is missing (" + english.fileName + " has it)");
    } else if (found->second.placeholders != message.placeholders) {
      ok = Fail(Where(other.fileName, found->second.line),
                "message " + std::to_string(id) + " has the placeholders " + Joined(found->second.placeholders) +
                    " where " + english.fileName + " has " + Joined(message.placeholders));
    }
  }
  for (const auto& [id, message] : other.messages) {
    if (!english.messages.count(id))
      ok = Fail(Where(other.fileName, message.line),
                "message " + std::to_string(id) + " is not in " + english.fileName);
  }
  return ok;
}

// Blocks of 16 entries as the lookup expects them: block id / 16 + 1, entry id % 16, each entry
// a length followed by that many units; an absent message is a zero length.
std::map<int, std::vector<uint16_t>> StringBlocksOf(const Catalogue& catalogue) {
  std::map<int, std::map<int, const std::u16string*>> grouped;
  for (const auto& [id, message] : catalogue.messages) grouped[id / 16 + 1][id % 16] = &message.text;
  std::map<int, std::vector<uint16_t>> blocks;
  for (const auto& [block, entries] : grouped) {
    std::vector<uint16_t>& units = blocks[block];
    for (int entry = 0; entry < 16; ++entry) {
      auto found = entries.find(entry);
      if (found == entries.end()) {
        units.push_back(0);
        continue;
      }
      units.push_back(static_cast<uint16_t>(found->second->size()));
      units.insert(units.end(), found->second->begin(), found->second->end());
    }
  }
  return blocks;
}

std::string GeneratedSource(const std::vector<Catalogue>& catalogues) {
  std::ostringstream data;
  std::ostringstream index;
  for (const Catalogue& catalogue : catalogues) {
    for (const auto& [block, units] : StringBlocksOf(catalogue)) {
      const std::string name = "kLanguage" + std::to_string(catalogue.languageId) + "Block" + std::to_string(block);
      data << "const uint16_t " << name << "[] = {";
      for (size_t i = 0; i < units.size(); ++i) {
        data << (i % 12 == 0 ? "\n   " : "") << " 0x";
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", units[i]);
        data << hex << ",";
      }
      data << "\n};\n\n";
      index << "    {" << block << ", " << catalogue.languageId << ", " << name << ", std::size(" << name << ")},\n";
    }
  }
  std::ostringstream source;
  source << "// Generated by CatalogueCompiler from resources/catalogue at build time; do not edit.\n\n"
         << "#include <iterator>\n\n#include \"platform/StringBlockIndex.h\"\n\nnamespace platform {\n"
         << "namespace {\n\n" << data.str() << "}  // namespace\n\n"
         << "const StringBlockRecord kStringBlocks[] = {\n" << index.str() << "};\n"
         << "const size_t kStringBlockCount = std::size(kStringBlocks);\n\n}  // namespace platform\n";
  return source.str();
}

bool Run(const std::string& output, const std::string& helpDesk, const std::vector<std::string>& paths) {
  if (!Utf8ToUtf16(helpDesk)) return Fail("help-desk address", "not valid UTF-8");

  std::vector<Catalogue> catalogues;
  for (const std::string& path : paths) {
    Catalogue catalogue;
    if (!ReadCatalogue(path, helpDesk, catalogue)) return false;
    for (const Catalogue& earlier : catalogues) {
      if (earlier.languageId == catalogue.languageId)
        return Fail(path, "language " + std::to_string(catalogue.languageId) + " is given twice");
    }
    catalogues.push_back(std::move(catalogue));
  }

  const Catalogue* english = nullptr;
  for (const Catalogue& catalogue : catalogues)
    if (catalogue.languageId == kEnglish) english = &catalogue;
  if (!english) return Fail("catalogue", "the English catalogue (1033.txt) is required");
  // Every translation is checked, so one run reports all of their faults.
  bool consistent = true;
  for (const Catalogue& catalogue : catalogues)
    if (&catalogue != english) consistent = MatchesEnglish(*english, catalogue) && consistent;
  return consistent && WriteOutput(output, GeneratedSource(catalogues));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <output.cpp> <help-desk address> <catalogue file>...\n", argv[0]);
    return 2;
  }
  try {
    return Run(argv[1], argv[2], std::vector<std::string>(argv + 3, argv + argc)) ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "catalogue compiler: %s\n", error.what());
    return 1;
  }
}
