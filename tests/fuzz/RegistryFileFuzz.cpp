// Parses arbitrary text as a registry store; whatever parses must format into text that parses
// back into the same tree, and formatting that tree again must give the same text.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<platform::RegistryKey> tree = platform::ParseRegistryFile(text, kRoot);
  if (!tree) return 0;
  std::string formatted = platform::FormatRegistryFile(*tree, kRoot);
  std::optional<platform::RegistryKey> reparsed = platform::ParseRegistryFile(formatted, kRoot);
  if (!reparsed || !(*reparsed == *tree)) std::abort();
  if (platform::FormatRegistryFile(*reparsed, kRoot) != formatted) std::abort();
  return 0;
}
