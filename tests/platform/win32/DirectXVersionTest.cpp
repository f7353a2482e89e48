// The DirectX diagnostic component and the system folder as the running system has them (under
// Wine: whatever the prefix reports).
#include "platform/DirectXVersion.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "patch/FileVersion.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/win32/WideText.h"
// COM (outside the lean windows.h).
#include <objbase.h>

namespace {

TEST(DirectXVersionTest, ComponentReportsAVersionAndSystemFolderHoldsDirectXFiles) {
  const std::optional<platform::DirectXRelease> version = platform::ReportedDirectXVersion();
  ASSERT_TRUE(version.has_value());
  EXPECT_GE(version->major, 9u);
  std::printf("DirectX reported: %u.%u '%c'\n", version->major, version->minor, version->letter);
  // The check leaves the thread's COM as it found it: free to enter another apartment.
  const HRESULT multithreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(multithreaded, S_OK);
  if (SUCCEEDED(multithreaded)) CoUninitialize();

  const std::string folder = platform::DirectXSystemFolder();
  ASSERT_TRUE(platform::IsDirectory(folder)) << folder;
  EXPECT_TRUE(ReadVersionWords(platform::ResolvePath(platform::JoinPath(folder, "d3d9.dll"))).has_value()) << folder;
}

}  // namespace
