#include "platform/ProfileText.h"

#include <vector>

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

enum class LineKind { Other, Blank, Comment, Section, Entry };

struct Line {
  LineKind kind = LineKind::Other;
  size_t contentEnd = 0;  // before the line ending
  size_t end = 0;         // after the line ending
  std::string_view name;  // section or key name, trimmed
  size_t equalsEnd = 0;   // entries: the byte after "="
  size_t valueStart = 0;  // entries: the byte after "=" and the blanks that follow it
};

Line ClassifyLine(std::string_view text, size_t start, size_t contentEnd, size_t end) {
  Line line;
  line.contentEnd = contentEnd;
  line.end = end;
  std::string_view content = text.substr(start, contentEnd - start);
  std::string_view trimmed = Trim(content);
  if (trimmed.empty()) {
    line.kind = LineKind::Blank;
  } else if (trimmed.front() == ';') {
    line.kind = LineKind::Comment;
  } else if (trimmed.front() == '[') {
    size_t close = trimmed.find(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::Section;
      line.name = Trim(trimmed.substr(1, close - 1));
    }
  } else if (size_t equals = content.find('='); equals != std::string_view::npos) {
    line.kind = LineKind::Entry;
    line.name = Trim(content.substr(0, equals));
    size_t value = equals + 1;
    while (value < content.size() && IsBlank(content[value])) ++value;
    line.equalsEnd = start + equals + 1;
    line.valueStart = start + value;
  }
  return line;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t start = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") start = 3;
  while (start < text.size()) {
    size_t newline = text.find('\n', start);
    size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
    size_t contentEnd = newline == std::string_view::npos ? text.size() : newline;
    if (contentEnd > start && text[contentEnd - 1] == '\r') --contentEnd;
    lines.push_back(ClassifyLine(text, start, contentEnd, end));
    start = end;
  }
  return lines;
}

// Where a section stands: the index of its first header and of the line after its last entry.
struct Location {
  std::optional<size_t> entry;          // the key's line
  std::optional<size_t> sectionHeader;  // the first header of the section
  size_t lastOfSection = 0;             // the section's last line that is neither blank nor comment
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  Location found;
  bool inSection = false;
  bool inFirstSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (line.kind == LineKind::Section) {
      inSection = EqualIgnoringCase(line.name, section);
      inFirstSection = inSection && !found.sectionHeader;
      if (inFirstSection) {
        found.sectionHeader = i;
        found.lastOfSection = i;
      }
      continue;
    }
    if (inFirstSection && line.kind != LineKind::Blank && line.kind != LineKind::Comment)
      found.lastOfSection = i;
    if (inSection && line.kind == LineKind::Entry && EqualIgnoringCase(line.name, key)) {
      found.entry = i;
      return found;
    }
  }
  return found;
}

std::string_view LineEndingOf(std::string_view text) {
  size_t newline = text.find('\n');
  if (newline == std::string_view::npos) return "\r\n";
  return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::string EntryValue(std::string_view text, const Line& line) {
  return std::string(Unquote(Trim(text.substr(line.valueStart, line.contentEnd - line.valueStart))));
}

// Ends `out` with a complete line; a lone CR at the end only lacks its LF, and adding a whole
// line ending after it would leave the CR inside the previous line's value.
void FinishLastLine(std::string& out, std::string_view lineEnding) {
  if (out.empty() || out.back() == '\n') return;
  if (out.back() == '\r')
    out.push_back('\n');
  else
    out.append(lineEnding);
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  std::vector<Line> lines = SplitLines(text);
  Location location = Locate(lines, section, key);
  if (!location.entry) return std::nullopt;
  return EntryValue(text, lines[*location.entry]);
}

std::vector<ProfileLine> ListProfileLines(std::string_view text) {
  std::vector<ProfileLine> result;
  const std::vector<Line> lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    switch (line.kind) {
      case LineKind::Blank:
      case LineKind::Comment: break;
      case LineKind::Section: result.push_back({ProfileLine::Kind::Section, i + 1, std::string(line.name), {}}); break;
      case LineKind::Entry:
        result.push_back({ProfileLine::Kind::Entry, i + 1, std::string(line.name), EntryValue(text, line)});
        break;
      case LineKind::Other: result.push_back({ProfileLine::Kind::Other, i + 1, {}, {}}); break;
    }
  }
  return result;
}

bool IsWritableProfileEntry(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) return false;
  if (section.find(']') != std::string_view::npos) return false;
  std::string_view trimmedKey = Trim(key);
  return !trimmedKey.empty() && trimmedKey.find('=') == std::string_view::npos &&
         trimmedKey.front() != ';' && trimmedKey.front() != '[';
}

std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value) {
  std::vector<Line> lines = SplitLines(text);
  Location location = Locate(lines, section, key);
  const std::string_view lineEnding = LineEndingOf(text);
  std::string result;
  result.reserve(text.size() + section.size() + key.size() + value.size() + 8);

  if (location.entry) {
    const Line& line = lines[*location.entry];
    // A value with its own leading blanks replaces the old ones, so writing it twice is stable.
    const bool ownBlanks = !value.empty() && IsBlank(value.front());
    result.append(text.substr(0, ownBlanks ? line.equalsEnd : line.valueStart));
    result.append(value);
    result.append(text.substr(line.contentEnd));
    return result;
  }

  std::string entry = std::string(Trim(key)) + "=" + std::string(value);
  if (location.sectionHeader) {
    const Line& last = lines[location.lastOfSection];
    result.append(text.substr(0, last.end));
    FinishLastLine(result, lineEnding);
    result.append(entry).append(lineEnding);
    result.append(text.substr(last.end));
    return result;
  }

  result.append(text);
  FinishLastLine(result, lineEnding);
  result.append("[").append(Trim(section)).append("]").append(lineEnding);
  result.append(entry).append(lineEnding);
  return result;
}

}  // namespace platform
