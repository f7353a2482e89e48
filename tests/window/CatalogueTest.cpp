#include "window/Catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(CatalogueTest, LanguageFollowsTheEngineLocaleAtEveryCall) {
  PatchEngine& engine = PatchEngine::Instance();
  const struct {
    int locale;
    const char* launcher;
  } vectors[] = {{3, "登陆窗口"}, {4, "Launcher"}, {2, "ランチャー"}, {1, "런처"}, {0, "런처"}, {5, "런처"}};
  for (const auto& v : vectors) {
    engine.SetLocale(v.locale);
    EXPECT_EQ(LoadCatalogueString(122), v.launcher) << v.locale;
  }
  PatchEngine::Destroy();
}

// The system's own wording, typo and line breaks included, in every language with the English inserts.
TEST(CatalogueTest, EveryMessageExistsInEveryLanguageWithTheEnglishInsertsAndNoOther) {
  EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, 118),
            "It will end automatically after finishing current job.\n\nYou might lose some of your data, and if "
            "nothing happens in 30 minutes, please click finish button.\n\nDo you want to finish now?");
  EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, 111), "Faile to access file server. Will you retry?");
  for (int id = 101; id <= 181; ++id) {
    const std::string english = LoadCatalogueStringIn(kLanguageEnglish, id);
    ASSERT_FALSE(english.empty()) << id;
    for (uint16_t language : kLanguages) {
      const std::string text = LoadCatalogueStringIn(language, id);
      EXPECT_FALSE(text.empty()) << id << " in " << language;
      EXPECT_EQ(PlaceholdersOf(text), PlaceholdersOf(english)) << id << " in " << language;
      EXPECT_EQ(text.find("${"), std::string::npos) << id << " in " << language;
      if (id == 118) {
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << language;
      }
      if (id == 148) {
        EXPECT_NE(text.find(SOLANE_HELPDESK_ADDRESS), std::string::npos) << language;
      }
    }
  }
  for (int id : {-1, 100, 190, 65535}) EXPECT_EQ(LoadCatalogueStringIn(kLanguageEnglish, id), "") << id;
  EXPECT_EQ(LoadCatalogueStringIn(1036, 117), "");  // no fall-back for a language the catalogue lacks
}

TEST(CatalogueTest, InsertsAreFilledOnceEach) {
  EXPECT_EQ(FormatCatalogueInserts("%2 before %1, %1 again", "A", "B"), "B before A, A again");
  EXPECT_EQ(FormatCatalogueInserts("100% %s %d %3", "A", "B"), "100% %s %d %3");
  EXPECT_EQ(FormatCatalogueInserts("%1 and %2", "%2", "%1"), "%2 and %1");  // inserts are not searched again
}

}  // namespace
