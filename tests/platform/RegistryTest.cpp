#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/RegistryFile.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"

using namespace platform;

namespace {

constexpr RegistryRoot kRoot = RegistryRoot::LocalMachine;
constexpr const char* kKey = "Software\\Orvex Soft\\SolaneLauncher";

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

class RegistryTest : public ::testing::Test {
 protected:
  std::string StoreText() const { return folder_.Read("HKEY_LOCAL_MACHINE.reg").value_or("<missing>"); }
  static bool Set(std::string_view path, std::string_view name, uint32_t type, std::string_view bytes) {
    return RegistrySetValue(kRoot, path, name, type, bytes.data(), bytes.size());
  }
  static std::vector<uint8_t> Get(std::string_view path, std::string_view name) {
    const std::optional<RegistryValue> value = RegistryQueryValue(kRoot, path, name);
    return value ? value->data : Bytes("<absent>");
  }

  ScratchDir folder_;
  ScopedEnvironment storeFolder_{"SOLANE_REGISTRY_DIR", folder_.Path()};
};

}  // namespace

TEST_F(RegistryTest, ValuesOfEveryTypeRoundTripInTheExportFormat) {
  const struct {
    const char* name;
    uint32_t type;
    std::string data;
    const char* storedLine;
  } cases[] = {
      {"", kRegSz, "default text", "@=\"default text\""},
      {"Text", kRegSz, "C:\\Games\\\"Solane\"", "\"Text\"=\"C:\\\\Games\\\\\\\"Solane\\\"\""},
      {"Terminated", kRegSz, std::string("abc\0", 4), "\"Terminated\"=hex(1):61,62,63,00"},
      {"Count", kRegDword, std::string("\x2a\x00\x00\x80", 4), "\"Count\"=dword:8000002a"},
      {"ShortDword", kRegDword, "\x01\x02", "\"ShortDword\"=hex(4):01,02"},
      {"Odd type", 0x12345678, "z", "\"Odd type\"=hex(12345678):7a"},
      {"Quote\"And\\Slash", kRegSz, "x", "\"Quote\\\"And\\\\Slash\"=\"x\""},
  };
  for (const auto& c : cases) ASSERT_TRUE(Set(kKey, c.name, c.type, c.data)) << c.name;

  const std::string text = StoreText();
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n", 0), 0u)
      << text;
  for (const auto& c : cases) {
    EXPECT_NE(text.find(std::string("\r\n") + c.storedLine + "\r\n"), std::string::npos) << c.storedLine;
    const std::optional<RegistryValue> value = RegistryQueryValue(kRoot, kKey, c.name);
    ASSERT_TRUE(value) << c.name;
    EXPECT_EQ(std::pair(value->type, value->data), std::pair(c.type, Bytes(c.data))) << c.name;
  }
}

TEST_F(RegistryTest, ValuesAndKeysAreDeletedOnlyWhenTheyCanBe) {
  ASSERT_TRUE(RegistryCreateKey(kRoot, kKey));
  EXPECT_FALSE(RegistryOpenKey(kRoot, kKey)->hasDefaultValue);
  ASSERT_TRUE(Set(kKey, "", kRegSz, ""));
  EXPECT_TRUE(RegistryOpenKey(kRoot, kKey)->hasDefaultValue);
  EXPECT_EQ(RegistryOpenKey(kRoot, kKey)->namedValueCount, 0u);
  EXPECT_TRUE(RegistryDeleteValue(kRoot, kKey, ""));
  EXPECT_FALSE(RegistryDeleteValue(kRoot, kKey, ""));
  EXPECT_FALSE(RegistryOpenKey(kRoot, kKey)->hasDefaultValue);
  // Keys with subkeys cannot be deleted; paths and names ignore case.
  ASSERT_TRUE(Set("Software\\A\\B", "v", kRegSz, "1"));
  ASSERT_TRUE(Set("SOFTWARE\\a", "V", kRegSz, "2"));
  EXPECT_EQ(Get("software\\A", "v"), Bytes("2"));
  EXPECT_FALSE(RegistryDeleteKey(kRoot, "Software\\A"));
  EXPECT_TRUE(RegistryDeleteKey(kRoot, "Software\\A\\B"));
  EXPECT_TRUE(RegistryDeleteKey(kRoot, "software\\a"));

  // Only a key with nothing in it goes when it must be empty.
  ASSERT_TRUE(Set("Software\\E\\F", "", kRegSz, "default"));
  ASSERT_TRUE(Set("Software\\E", "named", kRegSz, "1"));
  for (const char* kept : {"Software\\E\\F", "Software\\E", "Software", ""})
    EXPECT_FALSE(RegistryDeleteKeyIfEmpty(kRoot, kept)) << kept;
  EXPECT_TRUE(RegistryDeleteValue(kRoot, "Software\\E\\F", ""));
  EXPECT_TRUE(RegistryDeleteKeyIfEmpty(kRoot, "Software\\E\\F"));
}

TEST_F(RegistryTest, RefusesPathsAndNamesTheStoreCannotHold) {
  for (const char* path : {"Software\\\\A", "Software\\", "\\Software", "Soft\nware"}) {
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
  folder_.Write("HKEY_LOCAL_MACHINE.reg", damaged);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(Set(kKey, "Fresh", kRegSz, "1"));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("HKEY_LOCAL_MACHINE.reg"), std::string::npos);

  std::vector<std::string> aside;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path()))
    if (entry.path().filename().string().starts_with("HKEY_LOCAL_MACHINE.reg.damaged-"))
      aside.push_back(folder_.Read(entry.path().filename().string()).value_or(""));
  EXPECT_EQ(aside, std::vector<std::string>{damaged});
  EXPECT_EQ(Get(kKey, "Fresh"), Bytes("1"));
}

TEST(RegistryFileTest, ParserAcceptsHandWrittenFilesAndRejectsMalformedOnes) {
  const std::string handWritten =
      "Windows Registry Editor Version 5.00\n\n; a comment\n[hkey_local_machine\\A\\B]\n\"X\"=dword:0000000A\n"
      "[HKEY_LOCAL_MACHINE\\a]\n@=\"top\"\n";
  std::optional<RegistryKey> tree = ParseRegistryFile(handWritten, "HKEY_LOCAL_MACHINE");
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->subkeys.at("A").defaultValue->data, Bytes("top"));
  EXPECT_EQ(tree->subkeys.at("a").subkeys.at("b").values.at("x").data, std::vector<uint8_t>({10, 0, 0, 0}));
  EXPECT_EQ(ParseRegistryFile(FormatRegistryFile(*tree, "HKEY_LOCAL_MACHINE"), "HKEY_LOCAL_MACHINE"), tree);

  for (const char* body : {"\"v\"=\"outside a key\"", "[HKEY_USERS\\A]", "[HKEY_LOCAL_MACHINE\\A",
                           "[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=dword:123", "[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=hex:01,"}) {
    std::string error;
    const std::string text = std::string("Windows Registry Editor Version 5.00\r\n") + body + "\r\n";
    EXPECT_EQ(ParseRegistryFile(text, "HKEY_LOCAL_MACHINE", &error), std::nullopt) << body;
    EXPECT_FALSE(error.empty()) << body;
  }
}

TEST(RegistryStoreFolderTest, FollowsTheEnvironmentAtEveryCall) {
  ScopedEnvironment home("HOME", "/home/player");
  ScopedEnvironment config("XDG_CONFIG_HOME", "");
  ScopedEnvironment store("SOLANE_REGISTRY_DIR", std::nullopt);
  EXPECT_EQ(RegistryStoreFolder(), "/home/player/.config/SolaneLauncher/registry");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(RegistryStoreFolder(), "/cfg/SolaneLauncher/registry");
  setenv("SOLANE_REGISTRY_DIR", "/scratch/registry", 1);
  EXPECT_EQ(RegistryStoreFolder(), "/scratch/registry");
}

// Two launcher processes writing at once: every value of both must survive.
TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValuesPerProcess = 200;
  auto valueName = [](int child, int i) { return "p" + std::to_string(child) + "-" + std::to_string(i); };
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] != 0) continue;
    bool ok = true;
    for (int i = 0; i < kValuesPerProcess && ok; ++i) ok = Set(kKey, valueName(child, i), kRegSz, valueName(child, i));
    _exit(ok ? 0 : 1);
  }
  for (pid_t child : children) {
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(RegistryOpenKey(kRoot, kKey)->namedValueCount, 2u * kValuesPerProcess);
  for (int child = 0; child < 2; ++child)
    for (int i = 0; i < kValuesPerProcess; ++i) EXPECT_EQ(Get(kKey, valueName(child, i)), Bytes(valueName(child, i)));
}
