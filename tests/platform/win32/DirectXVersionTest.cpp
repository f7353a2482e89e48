// The DirectX diagnostic component and the system folder as the running system has them (under
// Wine: whatever the prefix reports).
#include "platform/DirectXVersion.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "diagnostics/DirectXCheck.h"
#include "patch/FileVersion.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/win32/WideText.h"
#include "window/Catalogue.h"
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

  // The check as a whole takes the component's answer, not the file table's (which never finds
  // a letter).
  uint32_t packed = 0;
  char text[10];
  ASSERT_EQ(GetDirectXVersion(&packed, text, sizeof(text)), DirectXStatus::kOk);
  EXPECT_EQ(packed, PackDirectXVersion(version->major, version->minor, version->letter)) << text;
  // Every client is a Windows program here (the test's own stand-in).
  const DirectXVerdict verdict = CheckDirectXFor(SOLANE_CLIENT_STANDIN, kLanguageEnglish);
  EXPECT_EQ(verdict.ok, packed >= kRequiredDirectX) << text;
  EXPECT_EQ(verdict.warning.empty(), verdict.ok) << verdict.warning;

  const std::string folder = platform::DirectXSystemFolder();
  ASSERT_TRUE(platform::IsDirectory(folder)) << folder;
  EXPECT_TRUE(ReadVersionWords(platform::ResolvePath(platform::JoinPath(folder, "d3d9.dll"))).has_value()) << folder;
}

}  // namespace
