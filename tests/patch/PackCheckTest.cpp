// The pack integrity check: the date test and the checksum/size mode with its report file.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "patch/PackDate.h"
#include "patch/PatchEngine.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestEngine.h"

namespace {

TEST(PackDate, OutdatedOnlyWhenTheServerCopyIsLater) {
  using Case = std::tuple<const char*, const char*, bool>;  // local, server, outdated
  for (const Case& c : {Case{"[2024-05-01][10:00:00]", "[2024-05-01][10:00:01]", true},
                        Case{"[2024-05-01][10:00:00]", "[2024-05-01][10:00:00]", false},
                        Case{"[2025-01-01][00:00:00]", "[2024-12-31][23:59:59]", false},  // later local year
                        Case{"[2024-05-01][10:00:00]", "0", true},
                        Case{"", "[2024-05-01][10:00:00]", true},
                        Case{"[2024-05-01][10:00:00]", "yesterday", true}})
    EXPECT_EQ(IsPackDateOutdated(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << std::get<0>(c) << " / " << std::get<1>(c);
}

TEST(PackCheck, ModeSelectsWhatIsCompared) {
  TestInstallation install;
  install.WriteFile("Data.SPF", "abc");
  install.WriteConfig("CRC=FILE\r\n");
  PatchEngine& engine = install.Engine();
  // 891568578 is the CRC-32 of "abc"; the size cannot be asked of a server here, so mode 2 fails.
  ASSERT_TRUE(engine.MutableInfo().Parse("[Resource]\r\n1_FileName=Data.SPF\r\n1_Check=2\r\n1_CRC=891568578\r\n"
                                         "2_FileName=Data.SPF\r\n2_Check=5\r\n3_Check=2\r\n"));
  engine.MutableInfo().SetLoadedPath("Update.NFO");
  EXPECT_EQ(engine.CheckPackIntegrity("Resource", "1"), 1);
  EXPECT_EQ(engine.CheckPackIntegrity("Resource", "2"), 1);
  EXPECT_EQ(engine.CheckPackIntegrity("Resource", "3"), 0);  // no file name: no check
  EXPECT_EQ(engine.CheckPackIntegrity("Resource", "4"), 0);  // no mode
  const std::string report = install.Path("SolaneLauncher.CRC");
  EXPECT_EQ(platform::GetProfileString(report, "Resource", "1_Local_Crc", ""), "891568578");
  EXPECT_EQ(platform::GetProfileString(report, "Resource", "1_Local_Size", ""), "3");
  EXPECT_EQ(platform::GetProfileString(report, "Resource", "1_Ftp___File", ""), "Data.SPF");
}

}  // namespace
