// Registry locations named by the update-information file and the deletion walk.

#include <gtest/gtest.h>

#include <map>

#include "app/RegistrySettings.h"
#include "tests/support/TestEngine.h"

namespace {

using platform::RegistryRoot;

class FakeInfo : public UpdateInfoReader {
 public:
  std::map<std::string, std::string> values;  // "section/key" -> text
  int ReadInt(const std::string& section, const std::string& key, int defaultValue) const override {
    auto found = values.find(section + "/" + key);
    return found == values.end() ? defaultValue : std::stoi(found->second);
  }
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const override {
    auto found = values.find(section + "/" + key);
    return found == values.end() ? defaultValue : found->second;
  }
};

TEST(RegistryLocation, ResolvedFromTheFileOrTheDefault) {
  FakeInfo info;
  info.values = {{"S/Root", "2"}, {"S/Path", "Software\\Solane"}, {"N/Root", "1"}, {"N/Path", "NoData"},
                 {"Z/Root", "0"}, {"Z/Path", "Software\\X"},      {"H/Root", "9"}, {"H/Path", "Software\\Y"}};
  RegistryLocation user = ResolveRegistryLocation(&info, "S", "Root", "Path");
  EXPECT_EQ(user.root, RegistryRoot::CurrentUser);
  EXPECT_EQ(user.path, "Software\\Solane");
  for (const char* section : {"N", "Z", "missing"}) {
    RegistryLocation fallback = ResolveRegistryLocation(&info, section, "Root", "Path");
    EXPECT_EQ(fallback.root, RegistryRoot::LocalMachine) << section;
    EXPECT_EQ(fallback.path, kDefaultRegistryPath) << section;
  }
  EXPECT_EQ(ResolveRegistryLocation(&info, "H", "Root", "Path").root, RegistryRoot::LocalMachine);
  EXPECT_EQ(ResolveRegistryLocation(nullptr, "S", "Root", "Path").path, kDefaultRegistryPath);
}

TEST(RegistryLocation, ReadWriteThroughTheEngine) {
  TestInstallation install;
  FakeInfo info;
  info.values = {{"SolaneClient/RegKey", "2"}, {"SolaneClient/RegSubKey", "Software\\Solane\\Client"}};
  PatchEngine& engine = install.Engine();
  engine.SetUpdateInfoReader(&info);
  EXPECT_EQ(engine.RegistryRead("Excutable", "SolaneClient", "RegKey", "RegSubKey"), "");
  EXPECT_TRUE(engine.RegistryWrite("Excutable", "SolaneClient", "RegKey", "RegSubKey", "/games/solane", 1));
  EXPECT_EQ(engine.RegistryRead("Excutable", "SolaneClient", "RegKey", "RegSubKey"), "/games/solane");
  // A value larger than the 260-byte buffer reads as empty.
  EXPECT_TRUE(engine.RegistryWrite("Long", "SolaneClient", "RegKey", "RegSubKey", std::string(300, 'x'), 1));
  EXPECT_EQ(engine.RegistryRead("Long", "SolaneClient", "RegKey", "RegSubKey"), "");
  engine.SetUpdateInfoReader(nullptr);
}

TEST(RegistryDeletionWalk, RemovesTheValueUpwardsAndOnlyEmptyKeys) {
  TestInstallation install;
  const RegistryRoot root = RegistryRoot::CurrentUser;
  auto set = [&](const char* path, const char* name) {
    ASSERT_TRUE(platform::RegistrySetValue(root, path, name, platform::kRegSz, "v", 1));
  };
  set("Software\\A\\B\\C", "Gone");
  set("Software\\A\\B", "Gone");
  set("Software\\A", "Gone");
  set("Software\\A", "Keep");           // A keeps another named value
  set("Software\\A\\Sibling", "Other");  // and a subkey anyway
  set("Software\\Solo\\Leaf", "Gone");

  EXPECT_TRUE(DeleteRegistryValueWalk({root, "Software\\A\\B\\C"}, "Gone"));
  EXPECT_FALSE(platform::RegistryOpenKey(root, "Software\\A\\B\\C"));
  EXPECT_FALSE(platform::RegistryOpenKey(root, "Software\\A\\B"));
  ASSERT_TRUE(platform::RegistryOpenKey(root, "Software\\A"));
  EXPECT_FALSE(platform::RegistryQueryValue(root, "Software\\A", "Gone"));
  EXPECT_TRUE(platform::RegistryQueryValue(root, "Software\\A", "Keep"));
  EXPECT_TRUE(platform::RegistryQueryValue(root, "Software\\A\\Sibling", "Other"));

  // A key with a default value stays even when its last named value goes.
  ASSERT_TRUE(platform::RegistrySetValue(root, "Software\\Solo", "", platform::kRegSz, "d", 1));
  EXPECT_TRUE(DeleteRegistryValueWalk({root, "Software\\Solo\\Leaf"}, "Gone"));
  EXPECT_FALSE(platform::RegistryOpenKey(root, "Software\\Solo\\Leaf"));
  EXPECT_TRUE(platform::RegistryOpenKey(root, "Software\\Solo"));

  EXPECT_FALSE(DeleteRegistryValueWalk({root, "Software\\Missing"}, "Gone"));
  EXPECT_FALSE(DeleteRegistryValueWalk({root, "Software\\A"}, "NotThere"));
  EXPECT_TRUE(platform::RegistryQueryValue(root, "Software\\A", "Keep"));
}

}  // namespace
