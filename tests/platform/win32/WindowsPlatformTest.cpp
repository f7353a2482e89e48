// The Windows side of the platform layer against the real system (under Wine in CI): the
// registry, the named mutex, the installation lock, names outside ASCII, replacing a program that
// runs, a full disk, version resources and the ICMP echo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "patch/FileVersion.h"
#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/DirectoryList.h"
#include "platform/FileIdentity.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "platform/HostLookup.h"
#include "platform/NamedMutex.h"
#include "platform/Path.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/RunningExecutable.h"
#include "platform/StoreFile.h"
#include "platform/win32/WideText.h"
#include "servers/Ping.h"
#include "tests/support/Requirement.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"

namespace {

using platform::RegistryRoot;

std::string Contents(const std::string& path) {
  std::string contents;
  return platform::ReadWholeFile(path, contents) == platform::FileReadStatus::Ok ? contents : "<unreadable>";
}

TEST(WindowsRegistryTest, ValuesRoundTripThroughTheSystemRegistry) {
  const std::string key = "Software\\SolaneTest-" + std::to_string(platform::CurrentProcessId());
  const std::string sub = key + "\\Settings";
  const std::string korean = "\xea\xb2\x8c\xec\x9e\x84 \xed\x8f\xb4\xeb\x8d\x94";  // "게임 폴더"
  const uint32_t dword = 0x2a;
  const std::string binary("\x00\xff\x10", 3);
  ASSERT_TRUE(platform::RegistrySetValue(RegistryRoot::CurrentUser, sub, "Folder", platform::kRegSz, korean.data(),
                                         korean.size()));
  ASSERT_TRUE(platform::RegistrySetValue(RegistryRoot::CurrentUser, sub, "Count", platform::kRegDword, &dword, 4));
  ASSERT_TRUE(platform::RegistrySetValue(RegistryRoot::CurrentUser, sub, "", platform::kRegBinary, binary.data(),
                                         binary.size()));

  // A text reads back as exactly the bytes set, without a terminating zero; names ignore case.
  const auto text = platform::RegistryQueryValue(RegistryRoot::CurrentUser, sub, "FOLDER");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->type, platform::kRegSz);
  EXPECT_EQ(std::string(text->data.begin(), text->data.end()), korean);
  const auto count = platform::RegistryQueryValue(RegistryRoot::CurrentUser, sub, "Count");
  ASSERT_TRUE(count);
  EXPECT_EQ(count->data, (std::vector<uint8_t>{0x2a, 0, 0, 0}));
  const auto unnamed = platform::RegistryQueryValue(RegistryRoot::CurrentUser, sub, "");
  ASSERT_TRUE(unnamed);
  EXPECT_EQ(std::string(unnamed->data.begin(), unnamed->data.end()), binary);

  const auto info = platform::RegistryOpenKey(RegistryRoot::CurrentUser, sub);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->hasDefaultValue);
  EXPECT_EQ(info->namedValueCount, 2u);
  EXPECT_EQ(info->subkeyCount, 0u);

  // A key with a subkey stays, and so does a key that still holds values.
  EXPECT_FALSE(platform::RegistryDeleteKey(RegistryRoot::CurrentUser, key));
  EXPECT_FALSE(platform::RegistryDeleteKeyIfEmpty(RegistryRoot::CurrentUser, sub));
  EXPECT_TRUE(platform::RegistryDeleteValue(RegistryRoot::CurrentUser, sub, "Folder"));
  EXPECT_FALSE(platform::RegistryDeleteValue(RegistryRoot::CurrentUser, sub, "Folder"));
  EXPECT_TRUE(platform::RegistryDeleteValue(RegistryRoot::CurrentUser, sub, "Count"));
  EXPECT_TRUE(platform::RegistryDeleteValue(RegistryRoot::CurrentUser, sub, ""));
  EXPECT_TRUE(platform::RegistryDeleteKeyIfEmpty(RegistryRoot::CurrentUser, sub));
  EXPECT_FALSE(platform::RegistryOpenKey(RegistryRoot::CurrentUser, sub));
  EXPECT_TRUE(platform::RegistryDeleteKey(RegistryRoot::CurrentUser, key));
  EXPECT_FALSE(platform::RegistryDeleteKey(RegistryRoot::CurrentUser, ""));  // never the root
}

TEST(WindowsNamedMutexTest, ASecondHolderOfTheNameIsTurnedAwayUntilTheFirstGoes) {
  const std::string name = "Solane\\Test-" + std::to_string(platform::CurrentProcessId());
  {
    platform::NamedMutex first(name);
    ASSERT_EQ(first.status(), platform::NamedMutex::Status::Created);
    platform::NamedMutex second(name);
    EXPECT_EQ(second.status(), platform::NamedMutex::Status::AlreadyExists);
    platform::NamedMutex other(name + "-other");
    EXPECT_EQ(other.status(), platform::NamedMutex::Status::Created);
  }
  platform::NamedMutex again(name);
  EXPECT_EQ(again.status(), platform::NamedMutex::Status::Created);
}

TEST(WindowsFileLockTest, TheInstallationLockIsHeldOnceAndFreedWithItsHolder) {
  ScratchDir scratch;
  const std::string path = scratch.PathOf("SolaneLauncher.lock");
  {
    platform::FileLock first(path);
    ASSERT_EQ(first.status(), platform::FileLock::Status::Held);
    platform::FileLock second(path);
    EXPECT_EQ(second.status(), platform::FileLock::Status::Busy);
  }
  platform::FileLock again(path);
  EXPECT_EQ(again.status(), platform::FileLock::Status::Held);
  EXPECT_TRUE(platform::PathExists(path));  // the lock file stays
}

// A game folder under a Korean and Japanese user name: every name crosses to the system intact.
TEST(WindowsPathTest, NamesOutsideAsciiSurviveEveryFileOperation) {
  ScratchDir scratch;
  const std::string folder = platform::JoinPath(scratch.Path(), "\xed\x94\x8c\xeb\xa0\x88\xec\x9d\xb4\xec\x96\xb4"
                                                                "_\xe3\x83\x97\xe3\x83\xac\xe3\x82\xa4\xe3\x83\xa4\xe3\x83\xbc");
  const std::string name = "\xec\x84\xa4\xec\xa0\x95.ini";  // "설정.ini"
  const std::string file = platform::JoinPath(folder, name);
  ASSERT_TRUE(platform::CreateFolders(folder));
  ASSERT_TRUE(platform::IsDirectory(folder));
  ASSERT_TRUE(platform::ReplaceFileContents(file, "[Solane]\r\n"));
  EXPECT_EQ(Contents(file), "[Solane]\r\n");
  EXPECT_EQ(platform::FileSizeOf(file), 10);
  EXPECT_TRUE(platform::IdentityOf(file));
  EXPECT_EQ(platform::ListFileNames(folder), std::vector<std::string>{name});
  EXPECT_TRUE(platform::StaysInside(scratch.Path(), file));
  EXPECT_TRUE(platform::FreeDiskSpace(file));

  const std::string copy = platform::JoinPath(folder, "\xe3\x82\xb3\xe3\x83\x94\xe3\x83\xbc.ini");  // "コピー.ini"
  ASSERT_TRUE(platform::CopyFileTo(file, copy, false));
  EXPECT_EQ(Contents(copy), "[Solane]\r\n");
  ASSERT_TRUE(platform::ReplaceFileContents(copy, "new"));
  ASSERT_TRUE(platform::ReplaceFile(copy, file, false));
  EXPECT_EQ(Contents(file), "new");
  EXPECT_FALSE(platform::PathExists(copy));
  EXPECT_TRUE(platform::RemoveTree(folder));
  EXPECT_FALSE(platform::PathExists(folder));
}

TEST(WindowsPathTest, TheExecutablePathUsesTheLaunchersSeparator) {
  const std::string self = platform::ExecutablePath();
  EXPECT_EQ(self.find('\\'), std::string::npos) << self;
  EXPECT_TRUE(platform::PathExists(self));
}

TEST(WindowsRunningExecutableTest, ARunningProgramIsReplacedAndItsOldFileRemovedLater) {
  ScratchDir scratch;
  const std::string program = scratch.PathOf("SolaneClient.exe");
  ASSERT_TRUE(platform::CopyFileTo(SOLANE_CLIENT_STANDIN, program, true));
  {
    ScopedEnvironment stay("SOLANE_CLIENT_STAY_SECONDS", "60");
    ASSERT_EQ(platform::StartProgram(scratch.Path(), "SolaneClient.exe", "running"), platform::kStartOk);
  }
  // The stand-in writes its log once it runs.
  for (int waited = 0; waited < 300 && !scratch.Exists("SolaneClient.log"); ++waited) platform::SleepMs(100);
  ASSERT_TRUE(scratch.Exists("SolaneClient.log"));

  // A folder in a program's place stays where it is.
  const std::string folder = scratch.PathOf("Folder.exe");
  ASSERT_TRUE(platform::MakeDirectory(folder));
  EXPECT_FALSE(platform::ReplaceRunningExecutable(scratch.Write("Folder.exe.new", "new program"), folder));
  EXPECT_TRUE(platform::IsDirectory(folder));
  ASSERT_TRUE(platform::RemoveTree(folder));
  ASSERT_TRUE(platform::RemoveTree(folder + ".new"));

  const std::string replacement = scratch.Write("SolaneClient.exe.new", "new program");
  // What the plain replacement does: the running program's file cannot be overwritten.
  EXPECT_FALSE(MoveFileExW(platform::WidePath(replacement).c_str(), platform::WidePath(program).c_str(),
                           MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  ASSERT_TRUE(platform::ReplaceRunningExecutable(replacement, program));
  EXPECT_EQ(Contents(program), "new program");
  EXPECT_FALSE(platform::PathExists(replacement));
  std::vector<std::string> names = *platform::ListFileNames(scratch.Path());
  EXPECT_EQ(names.size(), 3u);  // the new program, the log and the old program set aside

  // Once the old program has ended, the next start removes its file.
  const auto processes = platform::SnapshotProcesses();
  ASSERT_TRUE(processes);
  for (const platform::ProcessEntry& process : *processes) {
    const auto modules = platform::SnapshotModules(process.pid);
    if (!modules || modules->empty() ||
        !platform::EqualsIgnoringCase(platform::ParentOf(modules->front()), scratch.Path()))
      continue;
    platform::ScopedHandle handle(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(process.pid)));
    if (!handle.Valid()) continue;
    TerminateProcess(handle.Get(), 0);
    WaitForSingleObject(handle.Get(), 30000);
  }
  platform::RemoveReplacedExecutables(program);
  names = *platform::ListFileNames(scratch.Path());
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(Contents(program), "new program");
}

}  // namespace

namespace {

// Drive S: is a 1 MB tmpfs that ctest mounts for this test (cmake/small-drive.sh). A large write
// there can report success with fewer bytes written: only the counts tell.
TEST(WindowsDiskFullTest, AFullDiskFailsTheWriteAndLeavesNoPartialFile) {
  const char* drive = std::getenv("SOLANE_SMALL_DRIVE");
  SOLANE_REQUIRE(drive != nullptr, "run by ctest, which mounts the small drive");
  const std::string root = std::string(drive) + "/";
  const auto free = platform::FreeDiskSpace(root);
  ASSERT_TRUE(free);
  EXPECT_LE(*free, 1u << 20);

  const std::string big(2 << 20, 'x');
  EXPECT_FALSE(platform::ReplaceFileContents(root + "Update.NFO", big));
  EXPECT_FALSE(platform::PathExists(root + "Update.NFO"));
  ScratchDir scratch;
  const std::string source = scratch.Write("big.pak", big);
  EXPECT_FALSE(platform::CopyFileTo(source, root + "big.pak", false));
  EXPECT_FALSE(platform::PathExists(root + "big.pak"));
  EXPECT_EQ(platform::ListFileNames(root), std::vector<std::string>{});  // no temporary file left either

  EXPECT_TRUE(platform::ReplaceFileContents(root + "small.ini", "[S]\r\n"));
  EXPECT_TRUE(platform::RemoveTree(root + "small.ini"));
}

}  // namespace

namespace {

// The version resource windres compiles in reads the same through the engine's own reader and
// through the system's.
TEST(WindowsVersionResourceTest, TheSystemAndTheEngineReadTheSameVersion) {
  const std::wstring program = platform::WidePath(SOLANE_CLIENT_STANDIN);
  DWORD ignored = 0;
  std::vector<uint8_t> block(GetFileVersionInfoSizeW(program.c_str(), &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  const auto words = ReadVersionWords(SOLANE_CLIENT_STANDIN);
  ASSERT_TRUE(words);
  EXPECT_EQ(words->high, fixed->dwFileVersionMS);
  EXPECT_EQ(words->low, fixed->dwFileVersionLS);
}

}  // namespace

namespace {

// The system's ICMP service stands behind the measurement's socket: a loopback echo comes back as
// our own reply, without privileges.
TEST(WindowsIcmpTest, ALoopbackEchoIsMeasured) {
  CPing ping;
  ASSERT_TRUE(ping.Init());
  PingReply reply;
  EXPECT_GE(ping.Ping2("127.0.0.1", reply, 5000, 32), 0) << ping.GetError();
  EXPECT_EQ(platform::DottedIPv4(reply.address), "127.0.0.1");
}

}  // namespace

namespace {

// A folder name outside the system's code page reaches a started program intact: the self-update
// hands the launcher's path over on the command line.
TEST(WindowsProgramArgumentsTest, AStartedProgramGetsItsArgumentsInUtf8) {
  ScratchDir scratch;
  ASSERT_TRUE(platform::CopyFileTo(SOLANE_CLIENT_STANDIN, scratch.PathOf("SolaneClient.exe"), true));
  const std::string parameters = "/TO:C:/\xea\xb2\x8c\xec\x9e\x84/\xe3\x82\xb2\xe3\x83\xbc\xe3\x83\xa0.exe /EXEC:x";
  ASSERT_EQ(platform::StartProgram(scratch.Path(), "SolaneClient.exe", parameters), platform::kStartOk);
  for (int waited = 0; waited < 300 && !scratch.Exists("SolaneClient.log"); ++waited) platform::SleepMs(100);
  platform::SleepMs(200);  // the line is written at once after the file is made
  EXPECT_EQ(scratch.Read("SolaneClient.log"), parameters + "\n");
}

}  // namespace
