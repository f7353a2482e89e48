#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  bool succeeded;
  std::string errors;
  bool wroteOutput;
};

// Runs the compiler on catalogue files with the given contents (file name -> text) in a fresh folder.
Outcome Compile(const std::map<std::string, std::string>& files) {
  const fs::path folder = fs::path(testing::TempDir()) / "catalogue-compiler" /
                          testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::string command = std::string("'") + SOLANE_CATALOGUE_COMPILER + "' '" + (folder / "out.cpp").string() +
                        "' 'https://help.solane.example'";
  for (const auto& [name, text] : files) {
    std::ofstream(folder / name, std::ios::binary) << text;
    command += " '" + (folder / name).string() + "'";
  }
  command += " 2> '" + (folder / "errors.txt").string() + "'";
  const int status = std::system(command.c_str());
  std::ifstream errorFile(folder / "errors.txt");
  std::stringstream errors;
  errors << errorFile.rdbuf();
  return {status == 0, errors.str(), fs::exists(folder / "out.cpp")};
}

TEST(CatalogueCompilerTest, ConsistentCataloguesCompile) {
  const Outcome outcome = Compile({
      {"1033.txt", "# comment\n\n101 = %1 of %2\n167 = Visit ${HELPDESK}.\\r\\n\n"},
      {"1041.txt", "101 = %1 の %2\n167 = ${HELPDESK} へ\n"},
  });
  EXPECT_TRUE(outcome.succeeded) << outcome.errors;
  EXPECT_TRUE(outcome.wroteOutput);
}

TEST(CatalogueCompilerTest, FaultyCataloguesStopTheBuildWithAReason) {
  const std::string english = "101 = %1 of %2\n102 = Update failed.\n";
  const struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* reason;
  } vectors[] = {
      {"bad number", {{"1033.txt", "abc = text\n"}}, "1033.txt:1: error: expected a message number"},
      {"no separator", {{"1033.txt", "101: text\n"}}, "1033.txt:1: error: expected \" = \""},
      {"below the range", {{"1033.txt", english + "100 = text\n"}}, "1033.txt:3: error: message number 100 is outside 101..167"},
      {"above the range", {{"1033.txt", "168 = text\n"}}, "outside 101..167"},
      {"duplicate", {{"1033.txt", english + "102 = again\n"}}, "1033.txt:3: error: message 102 appears twice (first on line 2)"},
      {"reordered inserts", {{"1033.txt", english}, {"1042.txt", "101 = %2 / %1\n102 = x\n"}},
       "1042.txt:1: error: message 101 has the placeholders %2 %1 where 1033.txt has %1 %2"},
      {"lost insert", {{"1033.txt", english}, {"2052.txt", "101 = %1\n102 = x\n"}}, "has the placeholders %1 where"},
      {"missing message", {{"1033.txt", english}, {"1041.txt", "101 = %1 %2\n"}}, "1041.txt: error: message 102 is missing"},
      {"extra message", {{"1033.txt", english}, {"1041.txt", "101 = %1 %2\n102 = x\n103 = y\n"}},
       "1041.txt:3: error: message 103 is not in 1033.txt"},
      {"unknown escape", {{"1033.txt", "101 = tab\\there\n"}}, "unknown escape \"\\t\""},
      {"lone backslash", {{"1033.txt", "101 = end\\\n"}}, "lone"},
      {"unknown token", {{"1033.txt", "101 = ${ADDRESS}\n"}}, "unknown token"},
      {"carriage return", {{"1033.txt", "101 = text\r\n"}}, "carriage return"},
      {"empty text", {{"1033.txt", "101 = \n"}}, "message 101 has an empty text"},
      {"not UTF-8", {{"1033.txt", "101 = caf\xE9\n"}}, "not valid UTF-8"},
      {"no English", {{"1041.txt", "101 = x\n"}}, "English catalogue"},
      {"not a language", {{"1033.txt", english}, {"korean.txt", english}}, "file name must be a language id"},
  };
  for (const auto& v : vectors) {
    const Outcome outcome = Compile(v.files);
    EXPECT_FALSE(outcome.succeeded) << v.name;
    EXPECT_FALSE(outcome.wroteOutput) << v.name;
    EXPECT_NE(outcome.errors.find(v.reason), std::string::npos) << v.name << ": " << outcome.errors;
  }
}

}  // namespace
