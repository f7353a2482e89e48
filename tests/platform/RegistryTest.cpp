#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/RegistryFile.h"
#include "tests/platform/ScratchFolder.h"

using namespace platform;
using testing_support::ReadFile;
using testing_support::ScopedEnvironment;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

namespace {

constexpr RegistryRoot kRoot = RegistryRoot::LocalMachine;
constexpr const char* kKey = "Software\\Orvex Soft\\SolaneLauncher";

class RegistryTest : public ::testing::Test {
 protected:
  std::string StoreText(const char* rootName = "HKEY_LOCAL_MACHINE") {
    return ReadFile(folder_ / (std::string(rootName) + ".reg")).value_or("<missing>");
  }
  bool Set(std::string_view path, std::string_view name, uint32_t type, std::string_view bytes) {
    return RegistrySetValue(kRoot, path, name, type, bytes.data(), bytes.size());
  }
  static std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

  ScratchFolder folder_;
  ScopedEnvironment storeFolder_{"SOLANE_REGISTRY_DIR", folder_.path()};
};

}  // namespace

TEST_F(RegistryTest, ValuesOfEveryTypeRoundTripInTheExportFormat) {
  struct Case {
    const char* name;
    uint32_t type;
    std::string data;
    const char* storedLine;
  };
  const Case cases[] = {
      {"", kRegSz, "default text", "@=\"default text\""},
      {"Text", kRegSz, "C:\\Games\\\"Solane\"", "\"Text\"=\"C:\\\\Games\\\\\\\"Solane\\\"\""},
      {"Empty", kRegSz, "", "\"Empty\"=\"\""},
      {"Terminated", kRegSz, std::string("abc\0", 4), "\"Terminated\"=hex(1):61,62,63,00"},
      {"Lines", kRegSz, "a\r\nb", "\"Lines\"=hex(1):61,0d,0a,62"},
      {"Count", kRegDword, std::string("\x2a\x00\x00\x80", 4), "\"Count\"=dword:8000002a"},
      {"ShortDword", kRegDword, "\x01\x02", "\"ShortDword\"=hex(4):01,02"},
      {"Blob", kRegBinary, "\x01\xff", "\"Blob\"=hex:01,ff"},
      {"NoBytes", kRegBinary, "", "\"NoBytes\"=hex:"},
      {"Multi", 7, std::string("A\0\0", 3), "\"Multi\"=hex(7):41,00,00"},
      {"Odd type", 0x12345678, "z", "\"Odd type\"=hex(12345678):7a"},
      {"Quote\"And\\Slash", kRegSz, "x", "\"Quote\\\"And\\\\Slash\"=\"x\""},
  };
  for (const Case& c : cases) ASSERT_TRUE(Set(kKey, c.name, c.type, c.data)) << c.name;

  const std::string text = StoreText();
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n", 0), 0u)
      << text;
  for (const Case& c : cases) {
    EXPECT_NE(text.find(std::string("\r\n") + c.storedLine + "\r\n"), std::string::npos) << c.storedLine;
    std::optional<RegistryValue> value = RegistryQueryValue(kRoot, kKey, c.name);
    ASSERT_TRUE(value) << c.name;
    EXPECT_EQ(value->type, c.type) << c.name;
    EXPECT_EQ(value->data, Bytes(c.data)) << c.name;
  }
}

TEST_F(RegistryTest, DefaultValueIsDistinctFromNoneAndFromNamedValues) {
  ASSERT_TRUE(RegistryCreateKey(kRoot, kKey));
  EXPECT_EQ(RegistryOpenKey(kRoot, "Software")->subkeyCount, 1u);
  std::optional<RegistryKeyInfo> info = RegistryOpenKey(kRoot, kKey);
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->hasDefaultValue);
  EXPECT_EQ(info->namedValueCount, 0u);
  EXPECT_EQ(RegistryQueryValue(kRoot, kKey, ""), std::nullopt);

  ASSERT_TRUE(Set(kKey, "", kRegSz, ""));
  ASSERT_TRUE(Set(kKey, "Named", kRegSz, "n"));
  info = RegistryOpenKey(kRoot, kKey);
  EXPECT_TRUE(info->hasDefaultValue);
  EXPECT_EQ(info->namedValueCount, 1u);
  EXPECT_EQ(RegistryQueryValue(kRoot, kKey, "")->data, Bytes(""));

  EXPECT_TRUE(RegistryDeleteValue(kRoot, kKey, ""));
  EXPECT_FALSE(RegistryDeleteValue(kRoot, kKey, ""));
  EXPECT_FALSE(RegistryOpenKey(kRoot, kKey)->hasDefaultValue);
  EXPECT_EQ(RegistryQueryValue(kRoot, kKey, "Named")->data, Bytes("n"));
  EXPECT_FALSE(RegistryDeleteValue(kRoot, kKey, "Absent"));
  EXPECT_FALSE(RegistryDeleteValue(kRoot, "Software\\Absent", "Named"));
  EXPECT_EQ(RegistryOpenKey(kRoot, "Software\\Absent"), std::nullopt);
  EXPECT_EQ(RegistryQueryValue(kRoot, "Software\\Absent", "Named"), std::nullopt);
}

TEST_F(RegistryTest, KeysWithSubkeysCannotBeDeleted) {
  ASSERT_TRUE(Set("Software\\A\\B", "v", kRegSz, "1"));
  ASSERT_TRUE(Set("Software\\A", "v", kRegSz, "1"));
  EXPECT_FALSE(RegistryDeleteKey(kRoot, "Software\\A"));
  EXPECT_EQ(RegistryQueryValue(kRoot, "Software\\A", "v")->data, Bytes("1"));

  EXPECT_TRUE(RegistryDeleteKey(kRoot, "Software\\A\\B"));
  EXPECT_EQ(RegistryOpenKey(kRoot, "Software\\A\\B"), std::nullopt);
  EXPECT_TRUE(RegistryDeleteKey(kRoot, "software\\a"));
  EXPECT_EQ(RegistryOpenKey(kRoot, "Software\\A"), std::nullopt);
  EXPECT_FALSE(RegistryDeleteKey(kRoot, "Software\\A"));
  EXPECT_FALSE(RegistryDeleteKey(kRoot, ""));
  EXPECT_TRUE(RegistryOpenKey(kRoot, "Software"));
}

TEST_F(RegistryTest, PathsAndNamesIgnoreCaseAndKeepTheirFirstSpelling) {
  ASSERT_TRUE(Set("Software\\Orvex Soft\\SolaneLauncher", "ScreenMode", kRegSz, "FULL"));
  ASSERT_TRUE(Set("SOFTWARE\\orvex soft\\solanelauncher", "SCREENMODE", kRegSz, "WINDOW"));
  EXPECT_EQ(RegistryQueryValue(kRoot, "software\\ORVEX SOFT\\SolaneLauncher", "screenmode")->data,
            Bytes("WINDOW"));
  EXPECT_EQ(RegistryOpenKey(kRoot, "Software\\Orvex Soft\\SolaneLauncher")->namedValueCount, 1u);
  const std::string text = StoreText();
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Orvex Soft\\SolaneLauncher]\r\n\"ScreenMode\"=\"WINDOW\""),
            std::string::npos)
      << text;

  // Roots are separate stores.
  EXPECT_EQ(RegistryOpenKey(RegistryRoot::CurrentUser, "Software"), std::nullopt);
  ASSERT_TRUE(RegistrySetValue(RegistryRoot::CurrentUser, "Software", "v", kRegSz, "u", 1));
  EXPECT_NE(StoreText("HKEY_CURRENT_USER").find("[HKEY_CURRENT_USER\\Software]"), std::string::npos);
}

TEST_F(RegistryTest, RefusesPathsAndNamesTheStoreCannotHold) {
  const char* badPaths[] = {"Software\\\\A", "Software\\", "\\Software", "Soft\nware", "A\\B\r"};
  for (const char* path : badPaths) {
    EXPECT_FALSE(RegistryCreateKey(kRoot, path)) << path;
    EXPECT_FALSE(Set(path, "v", kRegSz, "x")) << path;
  }
  EXPECT_FALSE(Set(kKey, "line\nbreak", kRegSz, "x"));
  EXPECT_FALSE(Set(kKey, std::string_view("nul\0", 4), kRegSz, "x"));
  std::string deep = "K";
  for (int i = 0; i < 600; ++i) deep += "\\K";
  EXPECT_FALSE(RegistryCreateKey(kRoot, deep));
  EXPECT_EQ(StoreText(), "<missing>");
}

TEST_F(RegistryTest, DamagedStoreIsMovedAsideNotOverwritten) {
  const std::string damaged = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n"
                              "\"Precious\"=\"unterminated\r\n";
  WriteFile(folder_ / "HKEY_LOCAL_MACHINE.reg", damaged);

  testing::internal::CaptureStderr();
  ASSERT_TRUE(Set(kKey, "Fresh", kRegSz, "1"));
  const std::string warning = testing::internal::GetCapturedStderr();
  EXPECT_NE(warning.find("HKEY_LOCAL_MACHINE.reg"), std::string::npos) << warning;

  int asideCount = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    std::string name = entry.path().filename().string();
    if (name.rfind("HKEY_LOCAL_MACHINE.reg.damaged-", 0) != 0) continue;
    ++asideCount;
    EXPECT_EQ(ReadFile(entry.path().string()), damaged);
  }
  EXPECT_EQ(asideCount, 1);
  EXPECT_EQ(RegistryQueryValue(kRoot, "Software", "Precious"), std::nullopt);
  EXPECT_EQ(RegistryQueryValue(kRoot, kKey, "Fresh")->data, Bytes("1"));
}

TEST(RegistryFileTest, ParserAcceptsHandWrittenFilesAndRejectsMalformedOnes) {
  const std::string handWritten =
      "Windows Registry Editor Version 5.00\n\n; a comment\n[hkey_local_machine\\A\\B]\n\"X\"=dword:0000000A\n"
      "[HKEY_LOCAL_MACHINE\\a]\n@=\"top\"\n";
  std::optional<RegistryKey> tree = ParseRegistryFile(handWritten, "HKEY_LOCAL_MACHINE");
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->subkeys.at("A").defaultValue->data, std::vector<uint8_t>({'t', 'o', 'p'}));
  EXPECT_EQ(tree->subkeys.at("a").subkeys.at("b").values.at("x").data, std::vector<uint8_t>({10, 0, 0, 0}));
  EXPECT_EQ(ParseRegistryFile(FormatRegistryFile(*tree, "HKEY_LOCAL_MACHINE"), "HKEY_LOCAL_MACHINE"), tree);

  const char* malformed[] = {
      "REGEDIT4\r\n",
      "Windows Registry Editor Version 5.00\r\n\"v\"=\"outside a key\"\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\A]\r\n",
      "Windows Registry Editor Version 5.00\r\n[-HKEY_LOCAL_MACHINE\\A]\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A\\\\B]\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"bad \\n escape\"\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"x\" trailing\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=dword:123\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=hex:1,2\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=hex:01,\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=hex(x):01\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=-\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"\"=\"unnamed\"\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\nv=\"unquoted\"\r\n",
  };
  for (const char* text : malformed) {
    std::string error;
    EXPECT_EQ(ParseRegistryFile(text, "HKEY_LOCAL_MACHINE", &error), std::nullopt) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(RegistryStoreFolderTest, FollowsTheEnvironmentAtEveryCall) {
  ScopedEnvironment home("HOME", "/home/player");
  {
    ScopedEnvironment store("SOLANE_REGISTRY_DIR", "/scratch/registry");
    EXPECT_EQ(RegistryStoreFolder(), "/scratch/registry");
  }
  {
    ScopedEnvironment store("SOLANE_REGISTRY_DIR", std::nullopt);
    ScopedEnvironment config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(RegistryStoreFolder(), "/cfg/SolaneLauncher/registry");
  }
  ScopedEnvironment store("SOLANE_REGISTRY_DIR", std::nullopt);
  for (std::optional<std::string> config : {std::optional<std::string>(), std::optional<std::string>("")}) {
    ScopedEnvironment unsetConfig("XDG_CONFIG_HOME", config);
    EXPECT_EQ(RegistryStoreFolder(), "/home/player/.config/SolaneLauncher/registry");
  }
}

// Two launcher processes writing at once: every value of both must survive.
TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValuesPerProcess = 200;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      bool ok = true;
      for (int i = 0; i < kValuesPerProcess && ok; ++i) {
        std::string name = "p" + std::to_string(child) + "-" + std::to_string(i);
        uint32_t number = static_cast<uint32_t>(child * 1000 + i);
        ok = RegistrySetValue(kRoot, kKey, name, kRegDword, &number, sizeof number);
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(RegistryOpenKey(kRoot, kKey)->namedValueCount, 2u * kValuesPerProcess);
  for (int child = 0; child < 2; ++child) {
    for (int i = 0; i < kValuesPerProcess; ++i) {
      std::optional<RegistryValue> value = RegistryQueryValue(kRoot, kKey, "p" + std::to_string(child) + "-" + std::to_string(i));
      ASSERT_TRUE(value) << child << " " << i;
      uint32_t expected = static_cast<uint32_t>(child * 1000 + i);
      EXPECT_EQ(value->data, std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&expected),
                                                  reinterpret_cast<uint8_t*>(&expected) + 4));
    }
  }
}
