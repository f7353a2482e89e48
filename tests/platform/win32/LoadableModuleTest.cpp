#include "platform/LoadableModule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Module bytes go to a private file that the loader maps: bytes that are no module give a reason
// naming the module and leave no file behind, and real bytes load.
TEST(LoadableModule, LoadsAModuleFromItsBytesAndNamesWhyBytesAreNone) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "SolaneModules";
  const auto filesOfBroken = [&] {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
      count += entry.path().filename().string().starts_with("Broken.dll-");
    return count;
  };
  for (const std::string& bytes : {std::string(), std::string("MZ garbage", 10), std::string(4096, 'x')}) {
    const platform::ModuleSymbol found =
        platform::LoadModuleFromBytes(bytes.data(), bytes.size(), "Broken.dll", "SolaneTestModuleAnswer");
    EXPECT_EQ(found.address, nullptr) << bytes.size();
    EXPECT_EQ(found.error.rfind("Broken.dll: ", 0), 0u) << found.error;
  }
  EXPECT_EQ(filesOfBroken(), 0);

  std::ifstream file(SOLANE_TEST_MODULE, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), {}};
  ASSERT_FALSE(bytes.empty()) << SOLANE_TEST_MODULE;
  const platform::ModuleSymbol found =
      platform::LoadModuleFromBytes(bytes.data(), bytes.size(), "Answer.dll", "SolaneTestModuleAnswer");
  ASSERT_NE(found.address, nullptr) << found.error;
  EXPECT_EQ(reinterpret_cast<int (*)()>(found.address)(), 42);
}

}  // namespace
