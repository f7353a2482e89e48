// Registry locations named by the update-information file and the deletion walk.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "app/RegistrySettings.h"
#include "tests/support/TestEngine.h"

namespace {

using platform::RegistryRoot;

struct FakeInfo : UpdateInfoReader {
  std::map<std::string, std::string> values;  // "section/key" -> text
  int ReadInt(const std::string& section, const std::string& key, int defaultValue) const override {
    const std::string text = ReadString(section, key, "");
    return text.empty() ? defaultValue : std::stoi(text);
  }
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const override {
    auto found = values.find(section + "/" + key);
    return found == values.end() ? defaultValue : found->second;
  }
};

TEST(RegistryLocation, ResolvedFromTheFileOrTheDefault) {
  TestInstallation install;
  FakeInfo info;
  info.values = {{"S/Root", "2"}, {"S/Path", "Software\\Solane"}, {"N/Root", "1"}, {"N/Path", "NoData"},
                 {"H/Root", "9"}, {"H/Path", "Software\\Y"}};
  const RegistryLocation user = ResolveRegistryLocation(&info, "S", "Root", "Path");
  EXPECT_EQ(user.root, RegistryRoot::CurrentUser);
  EXPECT_EQ(user.path, "Software\\Solane");
  for (const char* section : {"N", "missing"})
    EXPECT_EQ(ResolveRegistryLocation(&info, section, "Root", "Path").path, kDefaultRegistryPath) << section;
  EXPECT_EQ(ResolveRegistryLocation(&info, "H", "Root", "Path").root, RegistryRoot::LocalMachine);

  // The engine's reads and writes there; values longer than the read buffer read as empty.
  PatchEngine& engine = install.Engine();
  engine.SetUpdateInfoReader(&info);
  EXPECT_TRUE(engine.RegistryWrite("Excutable", "S", "Root", "Path", "/games/solane", 1));
  EXPECT_EQ(ReadRegistryText(user, "Excutable"), "/games/solane");
  EXPECT_EQ(engine.RegistryRead("Excutable", "S", "Root", "Path"), "/games/solane");
  EXPECT_TRUE(engine.RegistryWrite("Long", "S", "Root", "Path", std::string(300, 'x'), 1));
  EXPECT_EQ(engine.RegistryRead("Long", "S", "Root", "Path"), "");
  engine.SetUpdateInfoReader(nullptr);
}

TEST(RegistryDeletionWalk, RemovesTheValueUpwardsAndOnlyEmptyKeys) {
  TestInstallation install;
  const RegistryRoot root = RegistryRoot::CurrentUser;
  for (const auto& [path, name] : {std::pair{"Software\\A\\B\\C", "Gone"}, {"Software\\A\\B", "Gone"},
                                   {"Software\\A", "Gone"}, {"Software\\A", "Keep"}, {"Software\\Solo\\Leaf", "Gone"},
                                   {"Software\\Solo", ""}})
    ASSERT_TRUE(platform::RegistrySetValue(root, path, name, platform::kRegSz, "v", 1));

  EXPECT_TRUE(DeleteRegistryValueWalk({root, "Software\\A\\B\\C"}, "Gone"));
  EXPECT_FALSE(platform::RegistryOpenKey(root, "Software\\A\\B"));
  EXPECT_FALSE(platform::RegistryQueryValue(root, "Software\\A", "Gone"));
  EXPECT_TRUE(platform::RegistryQueryValue(root, "Software\\A", "Keep"));  // so A stays

  // A key with a default value stays even when its last named value goes.
  EXPECT_TRUE(DeleteRegistryValueWalk({root, "Software\\Solo\\Leaf"}, "Gone"));
  EXPECT_FALSE(platform::RegistryOpenKey(root, "Software\\Solo\\Leaf"));
  EXPECT_TRUE(platform::RegistryOpenKey(root, "Software\\Solo"));
  EXPECT_FALSE(DeleteRegistryValueWalk({root, "Software\\Missing"}, "Gone"));
}

// Another launcher writes into the key while the walk empties it: the key goes only when it is
// empty at the moment it is removed.
TEST(RegistryDeletionWalk, AValueWrittenMeanwhileKeepsItsKey) {
  TestInstallation install;
  const RegistryLocation leaf{RegistryRoot::CurrentUser, "SolaneRace"};  // one level: a short walk races most
  std::atomic<bool> writing{true};
  std::thread walker([&] {
    while (writing) DeleteRegistryValueWalk(leaf, "Gone");
  });
  int lost = 0;
  for (int i = 0; i < 300; ++i) {
    if (!WriteRegistryValue(leaf, "Kept", "v", platform::kRegSz) ||
        !platform::RegistryQueryValue(leaf.root, leaf.path, "Kept"))
      ++lost;
    platform::RegistryDeleteValue(leaf.root, leaf.path, "Kept");
  }
  writing = false;
  walker.join();
  EXPECT_EQ(lost, 0);
}

}  // namespace
