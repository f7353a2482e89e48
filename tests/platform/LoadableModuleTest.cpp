#include "platform/LoadableModule.h"

#include <dlfcn.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// The window module travels as bytes inside the executable; bytes that are no module (a damaged
// executable) give a reason naming the module, never a crash, and real bytes load.
TEST(LoadableModule, LoadsAModuleFromItsBytesAndNamesWhyBytesAreNone) {
  for (const std::string& bytes : {std::string(), std::string("\x7f" "ELF garbage", 12), std::string(4096, 'x')}) {
    const platform::ModuleSymbol found =
        platform::LoadModuleFromBytes(bytes.data(), bytes.size(), "Broken.so", "zlibVersion");
    EXPECT_EQ(found.address, nullptr) << bytes.size();
    EXPECT_EQ(found.error.rfind("Broken.so: ", 0), 0u) << found.error;
  }

  // Any real module does: the compression library this program links.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&zlibVersion), &info), 0);
  std::ifstream file(info.dli_fname, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), {}};
  ASSERT_FALSE(bytes.empty()) << info.dli_fname;
  const platform::ModuleSymbol found = platform::LoadModuleFromBytes(bytes.data(), bytes.size(), "z.so", "zlibVersion");
  ASSERT_NE(found.address, nullptr) << found.error;
  EXPECT_STREQ(reinterpret_cast<const char* (*)()>(found.address)(), zlibVersion());
}

}  // namespace
