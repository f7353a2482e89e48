#include "diagnostics/DirectXCheck.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/WindowsProgramImage.h"
#include "window/Catalogue.h"

namespace {

std::string SystemReg(const std::string& version) {
  return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
         "[Software\\\\Microsoft\\\\Direct3D] 1700000000\n\"Version\"=\"1.2.3\"\n\n"
         "[Software\\\\Microsoft\\\\DirectX] 1700000000\n#time=1da0000000000\n"
         "\"InstalledVersion\"=hex:00,00,00,09,00,00,00,00\n\"Version\"=\"" + version + "\"\n";
}

std::string Dll(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return WindowsProgram(false, a << 16 | b, c << 16 | d); }

std::string Warning(const std::string& found) {
  return "Direct X Version of this computer is [ " + found + " ].\n Please, install [ 9.0 C ] the latest version.";
}

struct Machine {
  const char* name;
  std::map<std::string, std::string> prefixFiles;  // empty: no prefix at all
  std::string expectedWarning;                     // empty: accepted
};

TEST(DirectXCheckTest, VersionOfTheWinePrefixAgainstNineC) {
  const std::string d3d9 = Dll(5, 3, 2600, 2180);
  const Machine machines[] = {
      {"registry 9.0c", {{"system.reg", SystemReg("4.09.00.0904")}}, ""},
      {"registry 9.0C", {{"system.reg", SystemReg("9.0C")}}, ""},
      {"registry 9.0b", {{"system.reg", SystemReg("4.09.00.0902")}}, Warning("9.0b")},
      {"registry 8.1", {{"system.reg", SystemReg("4.08.01.0881")}}, Warning("8.1")},
      {"no registry value, only d3d9.dll",
       {{"system.reg", "WINE REGISTRY Version 2\n"}, {"drive_c/windows/system32/d3d9.dll", d3d9}}, Warning("9.0")},
      {"unreadable registry value, d3d9.dll in other letter case",
       {{"system.reg", SystemReg("nine")}, {"drive_c/Windows/System32/D3D9.DLL", d3d9}}, Warning("9.0")},
      {"ddraw and d3d8 of 8.1",
       {{"drive_c/windows/system32/ddraw.dll", Dll(5, 1, 2258, 400)},
        {"drive_c/windows/system32/d3d8.dll", Dll(5, 1, 2600, 881)},
        {"drive_c/windows/system32/dplayx.dll", Dll(4, 6, 3, 517)}},
       Warning("8.1")},
      {"ddraw of 7.0, a dinput without a version", {{"drive_c/windows/system32/ddraw.dll", Dll(4, 7, 0, 700)},
        {"drive_c/windows/system32/dinput.dll", "MZ"}}, Warning("7.0")},
      {"no prefix", {}, Warning("0.0")},
  };
  for (const Machine& machine : machines) {
    ScratchDir scratch;
    for (const auto& [name, bytes] : machine.prefixFiles) scratch.Write("prefix/" + name, bytes);
    ScopedEnvironment prefix("WINEPREFIX", scratch.PathOf("prefix"));
    const std::string client = scratch.Write("SolaneClient.exe", WindowsProgram(false, 1, 0));
    const DirectXVerdict verdict = CheckDirectXFor(client, kLanguageEnglish);
    EXPECT_EQ(verdict.ok, machine.expectedWarning.empty()) << machine.name;
    EXPECT_EQ(verdict.warning, machine.expectedWarning) << machine.name;
  }
}

TEST(DirectXCheckTest, NativeOrMissingClientNeedsNoDirectX) {
  ScratchDir scratch;
  ScopedEnvironment prefix("WINEPREFIX", scratch.PathOf("no prefix here"));
  const std::string native = scratch.Write("SolaneClient.exe", "\x7f" "ELF\x02\x01\x01");
  EXPECT_TRUE(CheckDirectXFor(native, kLanguageEnglish).ok);
  EXPECT_TRUE(CheckDirectXFor(scratch.PathOf("missing.exe"), kLanguageEnglish).ok);
}

TEST(DirectXCheckTest, PackedAndTextForms) {
  EXPECT_EQ(PackDirectXVersion(9, 0, 'c'), 0x00090003u);
  EXPECT_EQ(PackDirectXVersion(8, 1, ' '), 0x00080100u);
  EXPECT_EQ(PackDirectXVersion(6, 1, 'a'), 0x00060101u);
  EXPECT_EQ(DirectXVersionText(9, 0, 'C'), "9.0c");
  EXPECT_EQ(DirectXVersionText(123456, 789012, 'z'), "123456.78");  // cut at 9 characters
}

}  // namespace
