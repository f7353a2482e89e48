// Locale and publisher resolution from the configuration file and the switches, and the
// server profile that selects the patch server.

#include <gtest/gtest.h>

#include "app/Profiles.h"
#include "app/Settings.h"
#include "tests/support/TestEngine.h"

namespace {

TEST(ProfileResolution, FileAndSwitches) {
  const struct {
    const char* config;  // lines of SolaneLauncher.CFG, nullptr = no file
    const char* commandLine;
    int locale;
    int publisher;
  } cases[] = {
      {nullptr, "", kLocaleKorea, kPublisherOrvex},
      {"LOCALE=china\r\nPUBLISHER=ORVEX\r\n", "", kLocaleChina, kPublisherVorn},  // forced by the locale
      {"LOCALE=JAPAN\r\nPUBLISHER=NULL\r\n", "", kLocaleJapan, kPublisherOrvex},
      {"LOCALE=JAPAN\r\nPUBLISHER=KESTRIL\r\n", "/PUBLISHER:mirella /", kLocaleJapan, kPublisherMirella},
      {"LOCALE = Japan \r\n", "/LOCALE:usa /", kLocaleUsa, kPublisherQuadrium},
      {"LOCALE=KOREA\r\nPUBLISHER=halverston\r\n", "/LOCALE:JAPAN", kLocaleKorea, kPublisherHalverston},
      {"LOCALE=FRANCE\r\nPUBLISHER=NOBODY\r\n", "", kLocaleKorea, kPublisherOrvex},
  };
  for (const auto& c : cases) {
    TestInstallation install;
    if (c.config) install.WriteConfig(c.config);
    PatchEngine& engine = install.Engine();
    engine.ParseCommandLineForTesting(c.commandLine);
    engine.ResolveLocale();
    engine.ResolvePublisher();
    EXPECT_EQ(std::pair(engine.GetLocale(), engine.GetPublisher()), std::pair(c.locale, c.publisher))
        << (c.config ? c.config : "(no file)") << " | " << c.commandLine;
  }
}

TEST(ProfileResolution, LocaleOutsideTheTableGetsKoreasValues) {
  const RegionalProfile unknown = ProfileFor(7, kPublisherHalverston);
  EXPECT_EQ(unknown.patchPath, "orvexweb/solane/");  // not HALVERSTON's own path
  EXPECT_EQ(unknown.patchHost, ProfileFor(kLocaleKorea, kPublisherOrvex).patchHost);
}

// Built-in server profiles ignore the file and others read it; settings are cut to 259
// characters, and only the screen mode is ever written back.
TEST(Settings, ServerProfilesAndSettingsFromTheFile) {
  TestInstallation install;
  install.WriteConfig("; kept\r\nUrl_1=ignored.example\r\nUrl_7=127.0.0.1:8080\r\nServer_Path_7=patch/\r\n"
                      "Loacl_Path_7=Downloads\r\nRun=7\r\nCRC=" + std::string(400, 'x') + "\r\n");
  PatchEngine& engine = install.Engine();
  EXPECT_EQ(engine.ServerProfileValue(kProfileUrl, "1"), engine.PatchHost());
  EXPECT_EQ(engine.ServerProfileValue(kProfileUrl, "7"), "127.0.0.1:8080");
  EXPECT_EQ(engine.ServerProfileValue(kProfilePort, "7"), "80");
  EXPECT_EQ(engine.ServerProfileValue(kProfileServerPath, "7"), "patch/");
  EXPECT_EQ(engine.ServerProfileValue(kProfileLocalPath, "7"), "Downloads");

  EXPECT_EQ(engine.ReadSetting(kSettingCrc).size(), 259u);
  engine.WriteSetting(kSettingScreenMode, "FULL");
  engine.WriteSetting(kSettingCrc, "SHOW");
  EXPECT_EQ(engine.ReadSetting(kSettingScreenMode), "FULL");
  EXPECT_EQ(engine.ReadSetting(kSettingCrc).size(), 259u);
  EXPECT_NE(install.ReadFile("SolaneLauncher.CFG").find("; kept\r\n"), std::string::npos);
}

}  // namespace
