#include "download/TransferUrl.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(TransferUrlTest, BuildsAddressesFromHostsAndNames) {
  const std::tuple<const char*, const char*, const char*> vectors[] = {  // host, path, address
      {"10.0.0.1", "patch/Update.NFO", "http://10.0.0.1/patch/Update.NFO"},
      {"10.0.0.1:8080", "patch/Update.NFO", "http://10.0.0.1:8080/patch/Update.NFO"},
      {"http://10.0.0.1/", "/patch/Update.NFO", "http://10.0.0.1/patch/Update.NFO"},
      {"https://patch.example", "Data\\Pack 1.SPF", "https://patch.example/Data/Pack%201.SPF"},
      {"patch.example", "a#b?c%d&e+f~g_h-i.j", "http://patch.example/a%23b%3Fc%25d%26e%2Bf~g_h-i.j"},
      {"patch.example", "\xC3\xA9t\xC3\xA9.txt", "http://patch.example/%C3%A9t%C3%A9.txt"},
      {"patch.example", "", "http://patch.example/"},
      {"patch.example", "dir//x", "http://patch.example/dir//x"},
      {"1http://x", "a", "http://1http://x/a"},
  };
  for (const auto& [host, path, expected] : vectors)
    EXPECT_EQ(BuildTransferUrl(host, path, "http"), expected) << host << " " << path;
  EXPECT_EQ(BuildTransferUrl("127.0.0.1:2121", "patch/a", "ftp"), "ftp://127.0.0.1:2121/patch/a");
}

}  // namespace
