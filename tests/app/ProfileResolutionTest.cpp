// Locale and publisher resolution from the configuration file and the switches, and the
// server profile that selects the patch server.

#include <gtest/gtest.h>

#include <filesystem>

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

// The file's mistakes still fall back as before, but each is named with its line and what is
// used instead; a file that exists but cannot be read stops the launcher.
TEST(Settings, ConfigurationMistakesAreNamed) {
  const struct {
    const char* text;
    std::vector<std::string> warnings;  // without the leading "SolaneLauncher.CFG line "
  } cases[] = {
      {"[SolaneLauncher.CFG]\r\n; fine\r\nlocale=japan\r\nPUBLISHER=NULL\r\nRun=7\r\nurl_7=h\r\nType_7=1\r\n"
       "Port_7=21\r\nCRC=SHOW\r\nRATE=1\r\nScreenMode=FULL\r\nMaxDownloadKBps=300\r\nPublisherKey=k\r\n"
       "CrashReportUrl=u\r\nDescription_3=other profile\r\n",
       {}},
      {"[SolaneLauncher]\r\nLOCALE=USA\r\n",
       {"1: the section [SolaneLauncher] is not [SolaneLauncher.CFG]; its keys are ignored."}},
      {"LOCALE=USA\n[SolaneLauncher.CFG]\nUrl7=h\nPublisherKy=k\nLOCALE KOREA\n",
       {"1: LOCALE stands before [SolaneLauncher.CFG] and is ignored.", "3: the key Url7 is unknown and ignored.",
        "4: the key PublisherKy is unknown and ignored.", "5: not a \"key=value\" line; ignored."}},
      {"[SolaneLauncher.CFG]\nLOCALE=US\nPUBLISHER=Orvex Soft\nRun=7\nType_7=HTTP\nPort_7=80a\nCRC=file\nRATE=yes\n"
       "ScreenMode=Window\nMaxDownloadKBps=12k\nLOCALE=JAPAN\n",
       {"2: LOCALE=US is not KOREA, JAPAN, CHINA or USA; KOREA is used.",
        "3: PUBLISHER=Orvex Soft is not ORVEX, KESTRIL, VORN, HALVERSTON, MIRELLA or QUADRIUM; ORVEX is used.",
        "5: Type_7=HTTP is not 2 (HTTP) or 1 (FTP); FTP is used.", "6: Port_7=80a is not a port number; 80 is used.",
        "7: CRC=file is not FILE, SHOW or 0; no report is made.", "8: RATE=yes is not 1 or 0; 0 is used.",
        "9: ScreenMode=Window is not WINDOW or FULL; the game starts full screen.",
        "10: MaxDownloadKBps=12k is not a whole number of kilobytes per second; 12 is used.",
        "11: LOCALE is set again and ignored; the value of line 2 is used."}},
      {"[SolaneLauncher.CFG]\nRun=8\nUrl_7=h\n",
       {"2: Run=8 names a server profile without any key (Url_8, ...); the built-in main server is used."}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> expected;
    for (const std::string& warning : c.warnings) expected.push_back("SolaneLauncher.CFG line " + warning);
    EXPECT_EQ(ConfigWarnings(c.text), expected) << c.text;
  }

  TestInstallation install;
  PatchEngine& engine = install.Engine();
  EXPECT_EQ(engine.CheckConfiguration(), std::nullopt);
  ASSERT_EQ(engine.StartupWarnings().size(), 1u);
  EXPECT_EQ(engine.StartupWarnings()[0].find(install.Path("SolaneLauncher.CFG") + " is missing; "), 0u);
  install.WriteConfig("Url7=h\r\n");
  EXPECT_EQ(engine.CheckConfiguration(), std::nullopt);
  EXPECT_EQ(engine.StartupWarnings(), ConfigWarnings(install.ReadFile("SolaneLauncher.CFG")));

  // Read as empty, a file that cannot be read would switch every setting off without a word.
  std::filesystem::remove(install.Path("SolaneLauncher.CFG"));
  std::filesystem::create_directory(install.Path("SolaneLauncher.CFG"));
  const std::optional<std::string> unreadable = engine.CheckConfiguration();
  ASSERT_TRUE(unreadable.has_value());
  EXPECT_NE(unreadable->find(install.Path("SolaneLauncher.CFG") + ": Is a directory"), std::string::npos)
      << *unreadable;
}

}  // namespace
