// Locale and publisher resolution from the configuration file and the switches, and the
// server profile that selects the patch server.

#include <gtest/gtest.h>

#include "app/Profiles.h"
#include "app/Settings.h"
#include "tests/support/TestEngine.h"

namespace {

struct Resolution {
  const char* config;       // lines of SolaneLauncher.CFG, nullptr = no file
  const char* commandLine;
  int locale;
  int publisher;
};

TEST(ProfileResolution, FileAndSwitches) {
  const Resolution cases[] = {
      {nullptr, "", kLocaleKorea, kPublisherOrvex},
      {"LOCALE=china\r\nPUBLISHER=ORVEX\r\n", "", kLocaleChina, kPublisherVorn},
      {"LOCALE=USA\r\nPUBLISHER=MIRELLA\r\n", "", kLocaleUsa, kPublisherQuadrium},
      {"LOCALE=JAPAN\r\nPUBLISHER=NULL\r\n", "", kLocaleJapan, kPublisherOrvex},
      {"LOCALE=JAPAN\r\nPUBLISHER=KESTRIL\r\n", "/PUBLISHER:mirella /", kLocaleJapan, kPublisherMirella},
      {"LOCALE=NULL\r\n", "", kLocaleKorea, kPublisherOrvex},
      {"LOCALE = Japan \r\n", "/LOCALE:usa /", kLocaleUsa, kPublisherQuadrium},
      {"LOCALE=KOREA\r\nPUBLISHER=halverston\r\n", "/LOCALE:JAPAN", kLocaleKorea, kPublisherHalverston},
      {"LOCALE=FRANCE\r\nPUBLISHER=NOBODY\r\n", "", kLocaleKorea, kPublisherOrvex},
  };
  for (const Resolution& c : cases) {
    TestInstallation install;
    if (c.config) install.WriteConfig(c.config);
    PatchEngine& engine = install.Engine();
    engine.ParseCommandLineForTesting(c.commandLine);
    engine.ResolveLocale();
    engine.ResolvePublisher();
    EXPECT_EQ(engine.GetLocale(), c.locale) << (c.config ? c.config : "(no file)") << " | " << c.commandLine;
    EXPECT_EQ(engine.GetPublisher(), c.publisher) << (c.config ? c.config : "(no file)") << " | " << c.commandLine;
  }
}

TEST(ProfileResolution, ProfileTableRows) {
  RegionalProfile japan = ProfileFor(kLocaleJapan, kPublisherOrvex);
  EXPECT_EQ(japan.layout, WindowLayout::Japan);
  EXPECT_EQ(japan.patchPath, "solane/patch/");
  EXPECT_EQ(japan.languageId, 1041);
  EXPECT_EQ(ProfileFor(kLocaleJapan, kPublisherMirella).patchPath, "solane/patch/Solane-Mirella/");
  EXPECT_EQ(ProfileFor(kLocaleKorea, kPublisherHalverston).layout, WindowLayout::KoreaHalverston);
  EXPECT_EQ(ProfileFor(kLocaleKorea, kPublisherHalverston).patchPath, "orvexweb/solanehalverston/");
  EXPECT_FALSE(ProfileFor(kLocaleChina, kPublisherVorn).hasScreenModeChoice);
  EXPECT_EQ(ProfileFor(kLocaleChina, kPublisherVorn).secondButton, SecondButton::Registration);
  EXPECT_TRUE(ProfileFor(kLocaleUsa, kPublisherQuadrium).hasServerList);
  // A locale outside the table gets Korea's values with a publisher other than HALVERSTON.
  RegionalProfile unknown = ProfileFor(7, kPublisherHalverston);
  EXPECT_EQ(unknown.patchPath, "orvexweb/solane/");
  EXPECT_EQ(unknown.patchHost, ProfileFor(kLocaleKorea, kPublisherOrvex).patchHost);
  for (int locale = 1; locale <= 4; ++locale)
    EXPECT_NE(ProfileFor(locale, ForcedPublisher(locale, kPublisherOrvex)).patchHost.find(".example"),
              std::string::npos);
}

TEST(ServerProfile, BuiltInProfilesIgnoreTheFileAndOthersReadIt) {
  TestInstallation install;
  install.WriteConfig(
      "Url_1=ignored.example\r\nUrl_7=127.0.0.1:8080\r\nType_7=2\r\nServer_Path_7=patch/\r\n"
      "Loacl_Path_7=Downloads\r\nRun=7\r\n");
  PatchEngine& engine = install.Engine();
  EXPECT_EQ(engine.ReadSetting(kSettingRun), "7");
  EXPECT_EQ(engine.ServerProfileValue(kProfileUrl, "1"), engine.PatchHost());
  EXPECT_EQ(engine.ServerProfileValue(kProfileServerPath, "1"), "Solane-MainServer/");
  EXPECT_EQ(engine.ServerProfileValue(kProfileServerPath, "2"), "Solane-TestServer/");
  EXPECT_EQ(engine.ServerProfileValue(kProfileDescription, "2"), "Solane-TestServer");
  EXPECT_EQ(engine.ServerProfileValue(kProfileUrl, "7"), "127.0.0.1:8080");
  EXPECT_EQ(engine.ServerProfileValue(kProfilePort, "7"), "80");
  EXPECT_EQ(engine.ServerProfileValue(kProfileServerPath, "7"), "patch/");
  EXPECT_EQ(engine.ServerProfileValue(kProfileLocalPath, "7"), "Downloads");
  EXPECT_EQ(engine.ServerProfileValue(kProfileDescription, "7"), "Solane-MainServer");
  EXPECT_EQ(engine.ServerProfileValue(kProfileUrl, ""), engine.PatchHost());
}

TEST(Settings, DefaultsLimitsAndTheOnlyWrite) {
  TestInstallation install;
  PatchEngine& engine = install.Engine();
  EXPECT_EQ(engine.ReadSetting(kSettingScreenMode), "Window");
  EXPECT_EQ(engine.ReadSetting(kSettingRun), "1");
  EXPECT_EQ(engine.ReadSetting(kSettingCrc), "0");
  EXPECT_EQ(engine.ReadSetting(kSettingLocale), "NULL");

  install.WriteConfig("; kept\r\nCRC=" + std::string(400, 'x') + "\r\n");
  EXPECT_EQ(engine.ReadSetting(kSettingCrc).size(), 259u);
  engine.WriteSetting(kSettingScreenMode, "FULL");
  engine.WriteSetting(kSettingCrc, "SHOW");  // never written
  EXPECT_EQ(engine.ReadSetting(kSettingScreenMode), "FULL");
  EXPECT_EQ(engine.ReadSetting(kSettingCrc).size(), 259u);
  EXPECT_NE(install.ReadFile("SolaneLauncher.CFG").find("; kept\r\n"), std::string::npos);
}

}  // namespace
