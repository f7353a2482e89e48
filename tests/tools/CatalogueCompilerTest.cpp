#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

namespace {

namespace fs = std::filesystem;

struct Outcome { bool succeeded; std::string errors; bool wroteOutput; };

// Runs the compiler on catalogue files with the given contents (file name -> text) in a fresh folder.
Outcome Compile(const std::map<std::string, std::string>& files) {
  const fs::path folder = fs::path(testing::TempDir()) / "catalogue-compiler" /
                          testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::vector<std::string> argv = {SOLANE_CATALOGUE_COMPILER, (folder / "out.cpp").string(), "https://help.solane.example"};
  for (const auto& [name, text] : files) {
    std::ofstream(folder / name, std::ios::binary) << text;
    argv.push_back((folder / name).string());
  }
  const ProgramResult result = RunProgram(argv);
  return {result.exitCode == 0, result.output, fs::exists(folder / "out.cpp")};
}

// Consistent catalogues compile; faulty ones stop the build with a reason and write nothing.
TEST(CatalogueCompilerTest, OnlyConsistentCataloguesCompile) {
  const std::string english = "101 = %1 of %2\n102 = Update failed.\n";
  const std::pair<std::map<std::string, std::string>, const char*> vectors[] = {
      {{{"1033.txt", "# comment\n\n101 = %1 of %2\n167 = Visit ${HELPDESK}.\\r\\n\n"},
        {"1041.txt", "101 = %1 \xE3\x81\xAE %2\n167 = ${HELPDESK}\n"}}, ""},
      {{{"1033.txt", "abc = text\n"}}, "1033.txt:1: error: expected a message number"},
      {{{"1033.txt", english + "100 = text\n"}}, "1033.txt:3: error: message number 100 is outside 101..191"},
      {{{"1033.txt", english + "102 = again\n"}}, "1033.txt:3: error: message 102 appears twice (first on line 2)"},
      {{{"1033.txt", english}, {"1042.txt", "101 = %2 / %1\n102 = x\n"}},
       "1042.txt:1: error: message 101 has the placeholders %2 %1 where 1033.txt has %1 %2"},
      {{{"1033.txt", english}, {"1041.txt", "101 = %1 %2\n"}}, "1041.txt: error: message 102 is missing"},
      {{{"1033.txt", "101 = ${ADDRESS}\n"}}, "unknown token"}, {{{"1033.txt", "101 = caf\xE9\n"}}, "not valid UTF-8"},
      {{{"1041.txt", "101 = x\n"}}, "English catalogue"},
  };
  for (const auto& [files, reason] : vectors) {
    const Outcome outcome = Compile(files);
    EXPECT_EQ(std::pair(outcome.succeeded, outcome.wroteOutput), std::pair(!*reason, !*reason)) << reason;
    EXPECT_NE(outcome.errors.find(reason), std::string::npos) << reason << ": " << outcome.errors;
  }
}

}  // namespace
