#include "platform/RegistryFile.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kLineEnding = "\r\n";
constexpr char kHexDigits[] = "0123456789abcdef";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// ---- Parsing ----

struct Parser {
  std::string_view rest;  // what is left of the current line
  std::string problem;

  bool Fail(std::string why) {
    if (problem.empty()) problem = std::move(why);
    return false;
  }

  bool Consume(std::string_view expected) {
    if (rest.substr(0, expected.size()) != expected) return false;
    rest.remove_prefix(expected.size());
    return true;
  }

  // A quoted text with \\ and \" escapes; `rest` starts at the opening quote.
  bool QuotedText(std::string& out) {
    if (!Consume("\"")) return Fail("expected a quote");
    while (!rest.empty()) {
      char c = rest.front();
      rest.remove_prefix(1);
      if (c == '"') return true;
      if (c == '\\') {
        if (rest.empty() || (rest.front() != '\\' && rest.front() != '"')) return Fail("bad escape");
        c = rest.front();
        rest.remove_prefix(1);
      }
      out.push_back(c);
    }
    return Fail("unterminated quote");
  }

  // "aa,bb,..." up to the end of the line; may be empty.
  bool HexList(std::vector<uint8_t>& out) {
    while (!rest.empty()) {
      if (!out.empty() && !Consume(",")) return Fail("expected a comma");
      if (rest.size() < 2) return Fail("short hex byte");
      int high = HexDigitValue(rest[0]);
      int low = HexDigitValue(rest[1]);
      if (high < 0 || low < 0) return Fail("bad hex byte");
      out.push_back(static_cast<uint8_t>(high * 16 + low));
      rest.remove_prefix(2);
    }
    return true;
  }

  bool HexNumber(uint32_t& out, size_t minDigits, size_t maxDigits) {
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < rest.size() && HexDigitValue(rest[digits]) >= 0) {
      value = value * 16 + static_cast<uint64_t>(HexDigitValue(rest[digits]));
      if (++digits > maxDigits) return Fail("hex number too long");
    }
    if (digits < minDigits) return Fail("hex number too short");
    rest.remove_prefix(digits);
    out = static_cast<uint32_t>(value);
    return true;
  }

  // The part after "=": the value in one of its four forms, ending the line.
  bool ValueData(RegistryValue& value) {
    value.data.clear();
    if (!rest.empty() && rest.front() == '"') {
      std::string text;
      if (!QuotedText(text)) return false;
      value.type = kRegSz;
      value.data.assign(text.begin(), text.end());
    } else if (Consume("dword:")) {
      uint32_t number = 0;
      if (!HexNumber(number, 8, 8)) return false;
      value.type = kRegDword;
      for (int shift = 0; shift < 32; shift += 8) value.data.push_back(static_cast<uint8_t>(number >> shift));
    } else if (Consume("hex:")) {
      value.type = kRegBinary;
      if (!HexList(value.data)) return false;
    } else if (Consume("hex(")) {
      if (!HexNumber(value.type, 1, 8) || !Consume("):")) return Fail("bad hex type");
      if (!HexList(value.data)) return false;
    } else {
      return Fail("unknown value form");
    }
    return rest.empty() || Fail("text after the value");
  }

  // "[ROOT\a\b]": the key, created with its ancestors.
  RegistryKey* KeyLine(RegistryKey& tree, std::string_view rootName) {
    if (rest.size() < 2 || rest.back() != ']') {
      Fail("bad key line");
      return nullptr;
    }
    std::string_view path = rest.substr(1, rest.size() - 2);
    size_t separator = path.find('\\');
    if (!EqualIgnoringCase(path.substr(0, separator), rootName)) {
      Fail("key outside this root");
      return nullptr;
    }
    if (separator == std::string_view::npos) return &tree;
    path.remove_prefix(separator + 1);
    if (!IsValidRegistryPath(path) || path.empty()) {
      Fail("bad key path");
      return nullptr;
    }
    RegistryKey* key = &tree;
    while (!path.empty()) {
      size_t next = path.find('\\');
      std::string_view name = path.substr(0, next);
      auto found = key->subkeys.find(name);
      if (found == key->subkeys.end()) found = key->subkeys.emplace(std::string(name), RegistryKey{}).first;
      key = &found->second;
      path.remove_prefix(next == std::string_view::npos ? path.size() : next + 1);
    }
    return key;
  }

  bool ValueLine(RegistryKey& key) {
    RegistryValue value;
    if (Consume("@=")) {
      if (!ValueData(value)) return false;
      key.defaultValue = std::move(value);
      return true;
    }
    std::string name;
    if (!QuotedText(name)) return false;
    if (name.empty() || !IsValidRegistryValueName(name)) return Fail("bad value name");
    if (!Consume("=")) return Fail("expected =");
    if (!ValueData(value)) return false;
    auto found = key.values.find(name);
    if (found != key.values.end())
      found->second = std::move(value);
    else
      key.values.emplace(std::move(name), std::move(value));
    return true;
  }
};

// ---- Formatting ----

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

std::string HexList(const std::vector<uint8_t>& data) {
  std::string text;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0) text.push_back(',');
    text.push_back(kHexDigits[data[i] >> 4]);
    text.push_back(kHexDigits[data[i] & 0x0f]);
  }
  return text;
}

std::string HexNumber(uint32_t number, size_t minDigits) {
  std::string text;
  do {
    text.insert(text.begin(), kHexDigits[number & 0x0f]);
    number >>= 4;
  } while (number != 0);
  if (text.size() < minDigits) text.insert(0, minDigits - text.size(), '0');
  return text;
}

std::string ValueData(const RegistryValue& value) {
  std::string_view asText(reinterpret_cast<const char*>(value.data.data()), value.data.size());
  if (value.type == kRegSz && !HasLineBreakOrNul(asText)) return QuoteText(asText);
  if (value.type == kRegDword && value.data.size() == 4) {
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = number << 8 | value.data[static_cast<size_t>(i)];
    return "dword:" + HexNumber(number, 8);
  }
  if (value.type == kRegBinary) return "hex:" + HexList(value.data);
  return "hex(" + HexNumber(value.type, 1) + "):" + HexList(value.data);
}

bool HasValues(const RegistryKey& key) { return key.defaultValue || !key.values.empty(); }

void FormatKey(const RegistryKey& key, const std::string& path, std::string& out) {
  out.append("[").append(path).append("]").append(kLineEnding);
  if (key.defaultValue) out.append("@=").append(ValueData(*key.defaultValue)).append(kLineEnding);
  for (const auto& [name, value] : key.values)
    out.append(QuoteText(name)).append("=").append(ValueData(value)).append(kLineEnding);
  out.append(kLineEnding);
}

void FormatSubkeys(const RegistryKey& key, const std::string& path, std::string& out) {
  for (const auto& [name, subkey] : key.subkeys) {
    std::string subpath = path + "\\" + name;
    FormatKey(subkey, subpath, out);
    FormatSubkeys(subkey, subpath, out);
  }
}

}  // namespace

bool RegistryNameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  });
}

std::string_view RegistryRootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegistryRoot::CurrentUser: return "HKEY_CURRENT_USER";
    case RegistryRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::Users: return "HKEY_USERS";
  }
  return "HKEY_LOCAL_MACHINE";
}

bool IsValidRegistryKeyName(std::string_view name) {
  return !name.empty() && name.find('\\') == std::string_view::npos && !HasLineBreakOrNul(name);
}

bool IsValidRegistryValueName(std::string_view name) { return !HasLineBreakOrNul(name); }

bool IsValidRegistryPath(std::string_view path) {
  if (path.empty()) return true;
  size_t depth = 0;
  for (;;) {
    size_t next = path.find('\\');
    if (!IsValidRegistryKeyName(path.substr(0, next)) || ++depth > kMaxRegistryDepth) return false;
    if (next == std::string_view::npos) return true;
    path.remove_prefix(next + 1);
  }
}

std::optional<RegistryKey> ParseRegistryFile(std::string_view text, std::string_view rootName,
                                             std::string* error) {
  RegistryKey tree;
  if (text.empty()) return tree;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  Parser parser;
  RegistryKey* current = nullptr;
  size_t lineNumber = 0;
  bool ok = true;
  while (ok && !text.empty()) {
    size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNumber;
    parser.rest = line;

    if (lineNumber == 1) {
      ok = line == kHeader || parser.Fail("not a registry file");
    } else if (line.empty() || line.front() == ';') {
      continue;
    } else if (line.front() == '[') {
      current = parser.KeyLine(tree, rootName);
      ok = current != nullptr;
    } else if (!current) {
      ok = parser.Fail("value outside a key");
    } else {
      ok = parser.ValueLine(*current);
    }
  }
  if (ok) return tree;
  if (error) *error = "line " + std::to_string(lineNumber) + ": " + parser.problem;
  return std::nullopt;
}

std::string FormatRegistryFile(const RegistryKey& tree, std::string_view rootName) {
  std::string out(kHeader);
  out.append(kLineEnding).append(kLineEnding);
  const std::string rootPath(rootName);
  if (HasValues(tree)) FormatKey(tree, rootPath, out);
  FormatSubkeys(tree, rootPath, out);
  return out;
}

}  // namespace platform
