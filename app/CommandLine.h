#pragma once
// The launcher's switch table: "/NAME:" keys with the text that follows, up to the next " /".

#include <map>
#include <optional>
#include <string>
#include <string_view>

class CCommandLine {
 public:
  // Fills the table from a command line. Clears it first.
  void Parse(std::string_view commandLine);
  // The value of an exact, case-sensitive key such as "/LOCALE:", or none.
  std::optional<std::string> Get(std::string_view key) const;
  // The value or empty text.
  std::string GetOrEmpty(std::string_view key) const { return Get(key).value_or(std::string()); }
  size_t Size() const { return table_.size(); }

 private:
  std::map<std::string, std::string, std::less<>> table_;
};
