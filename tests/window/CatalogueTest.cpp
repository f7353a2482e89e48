#include "window/Catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <regex>
#include <string>
#include <vector>

#include "patch/PatchEngine.h"

namespace {

const std::vector<uint16_t> kLanguages = {kLanguageEnglish, kLanguageJapanese, kLanguageKorean, kLanguageChinese};

std::vector<std::string> PlaceholdersOf(const std::string& text) {
  static const std::regex placeholder("%[1-9sd]");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder); it != std::sregex_iterator(); ++it)
    found.push_back(it->str());
  return found;
}

TEST(CatalogueTest, LocaleChoosesTheLanguage) {
  const struct {
    int locale;
    uint16_t language;
  } vectors[] = {{1, 1042}, {2, 1041}, {3, 2052}, {4, 1033}, {0, 1042}, {5, 1042}, {-1, 1042}};
  for (const auto& v : vectors) EXPECT_EQ(CatalogueLanguageForLocale(v.locale), v.language) << v.locale;
}

TEST(CatalogueTest, WindowTextsReadAsTheirLanguageShowsThem) {
  const struct {
    int id;
    const char* english;
    const char* japanese;
    const char* korean;
    const char* chinese;
  } rows[] = {
      {122, "Launcher", "ランチャー", "런처", "登陆窗口"},
      {160, "Starting update", "アップデートスタート", "업데이트 시작", "开始更新"},
      {161, "Window Mode", "ウィンドウモード", "창 모드", "窗口模式"},
      {162, "Auto run after update is done.", "アップデート完了後、ゲーム自動実行", "업데이트 완료후 게임 자동 실행",
       "更新结束后自动运行游戏"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, row.id), row.english);
    EXPECT_EQ(LoadCatalogueStringIn(kLanguageJapanese, row.id), row.japanese);
    EXPECT_EQ(LoadCatalogueStringIn(kLanguageKorean, row.id), row.korean);
    EXPECT_EQ(LoadCatalogueStringIn(kLanguageChinese, row.id), row.chinese);
  }
}

TEST(CatalogueTest, LineBreaksAndTheSystemsOwnWordingSurvive) {
  EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, 118),
            "It will end automatically after finishing current job.\n\nYou might lose some of your data, and if "
            "nothing happens in 30 minutes, please click finish button.\n\nDo you want to finish now?");
  for (uint16_t language : kLanguages) {
    const std::string text = LoadCatalogueStringIn(language, 118);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << language;
    EXPECT_NE(text.find("\n\n"), std::string::npos) << language;
  }
  EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, 111), "Faile to access file server. Will you retry?");
  EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, 152), "Start > Run > type \"dxdiag\" and click ok,\r\n");
}

TEST(CatalogueTest, HelpDeskAddressComesFromTheBuild) {
  EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, 148),
            "SolaneLauncher Version : %d.%d.%d.%d\r\n\r\nSolane Launcher Error : Launching was closed in wrong way "
            "because of [%s] error.\r\n\r\nVisit " SOLANE_HELPDESK_ADDRESS " for help desk.\r\n\r\n %s \r\n %s \r\n\r\n");
  for (uint16_t language : kLanguages)
    EXPECT_NE(LoadCatalogueStringIn(language, 148).find(SOLANE_HELPDESK_ADDRESS), std::string::npos) << language;
}

TEST(CatalogueTest, AbsentMessagesAndLanguagesAreEmpty) {
  for (int id : {INT_MIN, -1, 0, 15, 100, 130, 168, 175, 176, 65535, INT_MAX})
    EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, id), "") << id;
  // No fall-back: a language the catalogue lacks has no texts at all.
  EXPECT_EQ(LoadCatalogueStringIn(1036, 117), "");
  EXPECT_EQ(LoadCatalogueStringIn(0, 117), "");
}

TEST(CatalogueTest, EveryMessageExistsInEveryLanguageWithTheEnglishInserts) {
  const std::vector<int> sameInEveryLanguage = {101, 131, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143};
  for (int id = 101; id <= 167; ++id) {
    if (id == 130) continue;
    const std::string english = LoadCatalogueStringIn(kLanguageEnglish, id);
    ASSERT_FALSE(english.empty()) << id;
    for (uint16_t language : kLanguages) {
      const std::string text = LoadCatalogueStringIn(language, id);
      EXPECT_FALSE(text.empty()) << id << " in " << language;
      EXPECT_EQ(PlaceholdersOf(text), PlaceholdersOf(english)) << id << " in " << language;
      EXPECT_EQ(text.find("${"), std::string::npos) << id << " in " << language;
      if (std::count(sameInEveryLanguage.begin(), sameInEveryLanguage.end(), id))
        EXPECT_EQ(text, english) << id << " in " << language;
    }
  }
}

TEST(CatalogueTest, LanguageFollowsTheEngineLocaleAtEveryCall) {
  PatchEngine& engine = PatchEngine::Instance();
  const struct {
    int locale;
    const char* launcher;
  } vectors[] = {{3, "登陆窗口"}, {4, "Launcher"}, {2, "ランチャー"}, {1, "런처"}, {7, "런처"}};
  for (const auto& v : vectors) {
    engine.SetLocale(v.locale);
    EXPECT_EQ(LoadCatalogueString(122), v.launcher) << v.locale;
  }
  PatchEngine::Destroy();
}

TEST(CatalogueTest, InsertsAreFilledOnceEach) {
  const struct {
    const char* text;
    const char* first;
    const char* second;
    const char* expected;
  } vectors[] = {
      {"%1 (%2 copied)", "2 min", "1 KB of 2 KB", "2 min (1 KB of 2 KB copied)"},
      {"%1% of %2 Completed", "50", "x.zip", "50% of x.zip Completed"},
      {"%2 before %1, %1 again", "a", "b", "b before a, a again"},
      {"%1 and %2", "%2", "%1", "%2 and %1"},  // inserts are not searched again
      {"100%", "a", "b", "100%"},
      {"%s %d %3", "a", "b", "%s %d %3"},
  };
  for (const auto& v : vectors) EXPECT_EQ(FormatCatalogueInserts(v.text, v.first, v.second), v.expected) << v.text;
}

}  // namespace
