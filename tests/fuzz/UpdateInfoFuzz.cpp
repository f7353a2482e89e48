// Feeds arbitrary server bodies through decoding, parsing and the typed reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "patch/UpdateInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  const int locale = size > 0 ? data[0] % 5 : 1;
  const std::string text = DecodeServerText(body, locale);

  UpdateInfo info;
  info.Parse(text);
  info.SetLoadedPath("Temp/Update.NFO");
  info.IsProper();
  info.ReadInt("SolaneLauncher", "BandWidth", 0);
  info.ReadInt("Resource", "1_Version", 0);
  std::string name = info.ReadString("Resource", "1_FileName", "Test.SPF");
  if (name.size() > UpdateInfo::kMaxStringLength) __builtin_trap();
  IsSafeInstallName(name);
  IsSafeInstallName(info.ReadString("Delete", "1_FileName", "Test.SPF"));
  info.ReadString("SolaneLauncher", "ErrorMessage", "");
  ConvertDecimal(body);
  return 0;
}
