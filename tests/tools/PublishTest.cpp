#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "download/ZipArchive.h"
#include "patch/FileVersion.h"
#include "patch/Md5.h"
#include "patch/TextChecksum.h"
#include "patch/UpdateInfo.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"
#include "tools/publish/Publisher.h"
#include "tools/publish/ReleaseFiles.h"
#include "tools/publish/ServerVerify.h"

namespace {

namespace fs = std::filesystem;

std::string WithTrailer(const std::string& body, uint32_t version) {
  std::string bytes = body;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(version >> (8 * i));
  return bytes;
}

const char* const kDescription = R"(; sample release
[Release]
VersionLine = Solane 2.1 - the spring patch
NoticeAddress = http://127.0.0.1/notice.html
BandWidth = 512
ErrorShow = 1
ErrorRun = 1
ErrorMessage = Welcome back.\r\nEnjoy.

[Launcher]
File = SolaneLauncher.exe

[Client]
File = SolaneClient.exe
Zip = yes
RegKey = HKLM
RegSubKey = Software\Solane

[ErrorReporter]
File = SolaneError.exe
MD5 = no

[Pack]
File = Data.SPF
Zip = yes
Check = 3

[Pack]
File = maps/World.SPF
Flag = MD5
Check = 2

[Pack]
File = Sound.SPF
MD5 = no
Version = 1

[Delete]
File = Old.SPF
File = logs\old.txt

[LoginServers]
Address = 127.0.0.1:7000
Address = 127.0.0.1:7001

[ListedServer]
Name = First
Label = first
Address = 127.0.0.1:7100

[RegistryMove]
From = HKCU\Software\Solane\Old
FromValue = Path
DeleteSource = yes
To = HKLM
ToValue = Path
)";

// A release folder with stamped stand-ins and three packs, and a server folder beside it.
class PublishTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.Path().empty());
    fs::create_directories(Release());
    CopyProgram(SOLANE_ERROR_STANDIN, "SolaneLauncher.exe", "2.1.0.3");
    CopyProgram(SOLANE_CLIENT_STANDIN, "SolaneClient.exe", "1.2.3.4");
    CopyProgram(SOLANE_ERROR_STANDIN, "SolaneError.exe", "1.0.0.9");
    // Line ends and an end-of-file byte make the text-mode checksum differ from a plain CRC.
    scratch_.Write("release/Data.SPF", WithTrailer(PatternBytes(300000) + "a\r\nb\x1a" + "c", 3));
    scratch_.Write("release/maps/World.SPF", WithTrailer(PatternBytes(5000, 2), 7));
    scratch_.Write("release/Sound.SPF", WithTrailer("sound", 1));
  }

  void CopyProgram(const char* built, const std::string& name, const std::string& version) {
    const std::string target = Release() + "/" + name;
    fs::copy_file(built, target, fs::copy_options::overwrite_existing);
    ASSERT_EQ(StampVersion(target, version), "") << name;
  }

  std::string Release() const { return scratch_.PathOf("release"); }
  std::string Server() const { return scratch_.PathOf("server"); }
  std::string ServerFile(const std::string& name) const { return Server() + "/" + name; }

  PublishResult PublishText(const std::string& description) {
    PublishRequest request;
    request.releaseDir = Release();
    request.descriptionText = description;
    request.serverDir = Server();
    return Publish(request);
  }

  void ReadServerInfo(UpdateInfo& info) const {
    info.Parse(*scratch_.Read("server/Update.NFO"));
    info.SetLoadedPath(ServerFile("Update.NFO"));
  }

  ScratchDir scratch_;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST_F(PublishTest, PublishedReleaseIsWhatInstallationsRead) {
  const PublishResult result = PublishText(kDescription);
  ASSERT_TRUE(result.ok) << Joined(result.errors);
  EXPECT_EQ(Joined(VerifyServerFolder(Server())), "");

  const std::string text = *scratch_.Read("server/Update.NFO");
  EXPECT_EQ(text, result.updateInfo);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "lines end with CR LF";
  UpdateInfo info;
  ReadServerInfo(info);
  ASSERT_TRUE(info.IsProper());

  // Versions come from the programs' own records, so an installed copy of each is current.
  const struct {
    const char* section;
    const char* file;
  } components[] = {{"SolaneLauncher", "SolaneLauncher.exe"}, {"SolaneClient", "SolaneClient.exe"},
                    {"SolaneError", "SolaneError.exe"}};
  for (const auto& component : components) {
    FileVersion installed(Release() + "/" + component.file);
    EXPECT_FALSE(installed.Differs(info.ReadInt(component.section, "VersionMajorHigh", 0),
                                   info.ReadInt(component.section, "VersionMajorLow", 0),
                                   info.ReadInt(component.section, "VersionMinorHigh", 0),
                                   info.ReadInt(component.section, "VersionMinorLow", 0)))
        << component.section;
    EXPECT_EQ(info.ReadString(component.section, "FileName", ""), component.file);
  }
  EXPECT_EQ(info.ReadInt("SolaneClient", "VersionMinorLow", 0), 4);
  EXPECT_EQ(info.ReadString("SolaneClient", "MD5", ""), Md5OfFile(ServerFile("SolaneClient.exe")));
  EXPECT_EQ(info.ReadString("SolaneError", "MD5", ""), "No");
  EXPECT_EQ(info.ReadInt("SolaneError", "Update", 0), 1);
  EXPECT_NE(info.ReadString("SolaneClient", "ZIP", "0"), "0");
  EXPECT_EQ(info.ReadString("SolaneLauncher", "ZIP", ""), "0");
  EXPECT_EQ(info.ReadInt("SolaneClient", "RegKey", 0), 3);
  EXPECT_EQ(info.ReadString("SolaneClient", "RegSubKey", ""), "Software\\Solane");

  EXPECT_EQ(info.ReadString("SolaneLauncher", "VersionDesc", ""), "Solane 2.1 - the spring patch");
  EXPECT_EQ(info.ReadString("SolaneLauncher", "Emergency_NoticeURL", ""), "http://127.0.0.1/notice.html");
  EXPECT_EQ(info.ReadInt("SolaneLauncher", "BandWidth", 0), 512);
  EXPECT_EQ(info.ReadString("SolaneLauncher", "ErrorMessage", ""), "Welcome back.\\r\\nEnjoy.");
  EXPECT_EQ(info.ReadInt("SolaneLauncher", "RegMoveCount", 0), 1);
  EXPECT_EQ(info.ReadInt("SolaneLauncher", "1_From_RegKey", 0), 2);
  EXPECT_EQ(info.ReadString("SolaneLauncher", "1_From_RegSubKey", ""), "Software\\Solane\\Old");
  EXPECT_EQ(info.ReadInt("SolaneLauncher", "1_Delete", 0), 1);
  EXPECT_EQ(info.ReadInt("SolaneLauncher", "1_To_RegKey", 0), 3);
  EXPECT_EQ(info.ReadString("SolaneLauncher", "1_To_RegSubKey", "NoData"), "NoData") << "default location";

  // Packs: the trailer is the version, digests and checksums are those of the server copies.
  EXPECT_EQ(info.ReadInt("Resource", "ResourceCount", 0), 3);
  const char* const packs[] = {"Data.SPF", "maps/World.SPF", "Sound.SPF"};
  for (int i = 1; i <= 3; ++i) {
    const std::string key = std::to_string(i) + "_";
    EXPECT_EQ(info.ReadString("Resource", key + "FileName", ""), packs[i - 1]);
    EXPECT_EQ(static_cast<uint32_t>(info.ReadInt("Resource", key + "Version", 0)),
              *ReadPackTrailer(ServerFile(packs[i - 1])));
  }
  EXPECT_EQ(info.ReadString("Resource", "1_MD5", ""), Md5OfFile(ServerFile("Data.SPF")));
  EXPECT_EQ(info.ReadString("Resource", "3_MD5", ""), "No");
  EXPECT_EQ(info.ReadString("Resource", "1_ZIP", "No"), "Yes");
  EXPECT_EQ(info.ReadString("Resource", "2_ZIP", ""), "No");
  EXPECT_EQ(info.ReadString("Resource", "2_Flag", ""), "MD5");
  EXPECT_TRUE(IsPackDateText(info.ReadString("Resource", "1_Date", "0")));
  for (const int i : {1, 2}) {
    const std::string crc = info.ReadString("Resource", std::to_string(i) + "_CRC", "0");
    EXPECT_EQ(static_cast<uint32_t>(std::stoll(crc)), TextModeCrc32(ServerFile(packs[i - 1]))) << packs[i - 1];
  }

  EXPECT_EQ(info.ReadInt("Delete", "DeleteCount", 0), 2);
  EXPECT_EQ(info.ReadString("Delete", "2_FileName", ""), "logs\\old.txt");
  EXPECT_EQ(info.ReadInt("LoginServer", "LoginServerCount", 0), 2);
  EXPECT_EQ(info.ReadString("LoginServer", "2_IP", ""), "127.0.0.1:7001");
  EXPECT_EQ(info.ReadInt("LoginServerList", "LoginServerListCount", 0), 1);
  EXPECT_EQ(info.ReadString("LoginServerList", "1_Label", ""), "first");
  EXPECT_EQ(result.warnings.size(), 0u) << Joined(result.warnings);
}

// The archives are read back by the launcher's own reader and by two independent ones.
TEST_F(PublishTest, ArchivesHoldTheFileUnderItsNameWithItsTime) {
  ASSERT_TRUE(PublishText(kDescription).ok);
  for (const std::string name : {"Data.SPF", "SolaneClient.exe"}) {
    const std::string archivePath = ServerFile(ZipNameFor(name));
    auto archive = ZipArchive::Open(archivePath);
    ASSERT_TRUE(archive) << name;
    ZipEntryInfo entry;
    ASSERT_EQ(archive->GetEntry(-1, entry), kZipSuccess);
    EXPECT_EQ(entry.index, 1);
    ASSERT_EQ(archive->GetEntry(0, entry), kZipSuccess);
    EXPECT_EQ(entry.name, name);
    ASSERT_EQ(archive->SetBaseDir(scratch_.PathOf("unpacked")), kZipSuccess);
    ASSERT_EQ(archive->ExtractEntry(0, entry.name), kZipSuccess);
    EXPECT_EQ(Md5OfFile(scratch_.PathOf("unpacked/" + name)), Md5OfFile(Release() + "/" + name));

    const ProgramResult unzip = RunProgram({"/usr/bin/unzip", "-t", archivePath});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.output;
    const std::string script =
        "import os, sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1]); i = z.infolist()[0]\n"
        "assert z.testzip() is None and i.compress_type == zipfile.ZIP_DEFLATED\n"
        "assert i.extra[:2] == b'UT' and i.extra[4] == 1\n"
        "assert int.from_bytes(i.extra[5:9], 'little') == int(os.stat(sys.argv[2]).st_mtime)\n";
    const ProgramResult python = RunProgram({"/usr/bin/python3", "-c", script, archivePath, Release() + "/" + name});
    EXPECT_EQ(python.exitCode, 0) << python.output;
  }
}

TEST_F(PublishTest, RefusesWhatInstallationsWouldRejectOrMishandle) {
  ASSERT_TRUE(PublishText(kDescription).ok);
  const std::string published = *scratch_.Read("server/Update.NFO");
  scratch_.Write("release/Zero.SPF", WithTrailer("zero", 0));
  scratch_.Write("release/Data.old.SPF", WithTrailer("old", 2));
  scratch_.Write("release/notes.txt", "not a program");

  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const std::string base = kDescription;
  const struct {
    const char* name;
    std::string description;
    const char* reason;
  } vectors[] = {
      {"no client", replaced(base, "[Client]\nFile = SolaneClient.exe\nZip = yes\nRegKey = HKLM\nRegSubKey = Software\\Solane\n", ""), "no [Client] section"},
      {"no packs", base.substr(0, base.find("[Pack]")) + base.substr(base.find("[Delete]")), "no [Pack] section"},
      {"pack version 0", base + "[Pack]\nFile = Zero.SPF\n", "Zero.SPF: its version (last four bytes) is 0"},
      {"trailer mismatch", replaced(base, "Version = 1", "Version = 5"), "announced as version 5 but its last four bytes say 1"},
      {"260-byte value", replaced(base, "Solane 2.1 - the spring patch", std::string(260, 'v')), "a value of 260 bytes"},
      {"climbing name", replaced(base, "File = SolaneError.exe", "File = ../SolaneError.exe"), "climbs out of the folder"},
      {"absolute name", replaced(base, "File = Sound.SPF", "File = /etc/Sound.SPF"), "is an absolute name"},
      {"cut value", replaced(base, "notice.html", "notice.html?a=1;b=2"), "holds a \";\""},
      {"no version record", replaced(base, "File = SolaneError.exe", "File = notes.txt"), "notes.txt: the error reporter carries no version"},
      {"missing file", replaced(base, "File = Sound.SPF", "File = Music.SPF"), "Music.SPF: no such file"},
      {"versionless without digest", replaced(base, "Flag = MD5", "Flag = MD5\nMD5 = no"), "needs MD5 = yes"},
      {"archive name clash", base + "[Pack]\nFile = Data.old.SPF\nZip = yes\n", "share the server name Data.zip"},
      {"deleting a published file", base + "[Delete]\nFile = DATA.spf\n", "DATA.spf is also published"},
      {"no login server", replaced(replaced(base, "Address = 127.0.0.1:7000\nAddress = 127.0.0.1:7001\n", ""),
                                   "[ListedServer]\nName = First\nLabel = first\nAddress = 127.0.0.1:7100\n", ""), "no login server"},
      {"typing mistake", replaced(base, "Zip = yes\nCheck = 3", "Zip = yes\nChek = 3"), "unknown key \"Chek\" in [Pack]"},
      {"bad switch", replaced(base, "MD5 = no\nVersion", "MD5 = maybe\nVersion"), "expected yes or no"},
      {"launcher digest in a folder", replaced(base, "File = SolaneLauncher.exe", "File = bin/SolaneLauncher.exe"),
       "a launcher inside a server folder needs MD5 = no"},
      {"check mode 4", replaced(base, "Check = 3", "Check = 4"), "Check: expected a number from 0 to 3"},
  };
  for (const auto& v : vectors) {
    const PublishResult result = PublishText(v.description);
    EXPECT_FALSE(result.ok) << v.name;
    EXPECT_NE(Joined(result.errors).find(v.reason), std::string::npos) << v.name << ":\n" << Joined(result.errors);
    EXPECT_EQ(*scratch_.Read("server/Update.NFO"), published) << v.name << ": the earlier publish must stay";
  }
  EXPECT_TRUE(PublishText(replaced(base, "Solane 2.1 - the spring patch", std::string(259, 'v'))).ok);
}

TEST_F(PublishTest, NeverReplacesAFolderThatIsNotAServerFolder) {
  scratch_.Write("server/precious.txt", "operator's notes");
  PublishResult result = PublishText(kDescription);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(*scratch_.Read("server/precious.txt"), "operator's notes");

  PublishRequest intoRelease{Release(), "", kDescription, scratch_.Path()};
  result = Publish(intoRelease);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(Joined(result.errors).find("holds the release folder"), std::string::npos) << Joined(result.errors);
  EXPECT_TRUE(scratch_.Exists("release/Data.SPF"));
}

// Each damage is published afresh, applied to the server folder and must be named by verify.
TEST_F(PublishTest, VerifyNamesEveryInconsistency) {
  const struct {
    const char* name;
    std::function<void()> damage;
    const char* finding;
  } vectors[] = {
      {"corrupted pack", [&] { scratch_.Write("server/maps/World.SPF", WithTrailer(PatternBytes(5000, 3), 7)); },
       "maps/World.SPF: MD5 is"},
      {"checksum", [&] { scratch_.Write("server/maps/World.SPF", WithTrailer(PatternBytes(5000, 3), 7)); },
       "maps/World.SPF: checksum is"},
      {"missing file", [&] { fs::remove(ServerFile("SolaneClient.exe")); }, "SolaneClient.exe: missing"},
      {"missing archive", [&] { fs::remove(ServerFile("Data.zip")); }, "Data.zip: missing"},
      {"wrong size", [&] { scratch_.Write("server/Data.SPF", WithTrailer(PatternBytes(300001) + "a\r\nb\x1a" + "c", 3)); },
       "Data.zip: holds 300010 bytes for Data.SPF, the file has 300011"},
      {"trailer", [&] { scratch_.Write("server/Sound.SPF", WithTrailer("sound", 2)); },
       "Sound.SPF: its last four bytes say version 2, announced 1"},
      {"other version", [&] { fs::copy_file(Release() + "/SolaneError.exe", ServerFile("SolaneLauncher.exe"), fs::copy_options::overwrite_existing); },
       "SolaneLauncher.exe: its version differs"},
      {"bare line feeds", [&] {
         std::string text = *scratch_.Read("server/Update.NFO");
         std::erase(text, '\r');
         scratch_.Write("server/Update.NFO", text);
       }, "a line ends without CR LF"},
      {"no information file", [&] { fs::remove(ServerFile("Update.NFO")); }, "Update.NFO: missing"},
  };
  for (const auto& v : vectors) {
    ASSERT_TRUE(PublishText(kDescription).ok) << v.name;
    v.damage();
    const std::string findings = Joined(VerifyServerFolder(Server()));
    EXPECT_NE(findings.find(v.finding), std::string::npos) << v.name << ":\n" << findings;
  }
}

// The operator's commands, run as the operator runs them.
TEST_F(PublishTest, CommandLineStampsPublishesAndVerifies) {
  const std::string client = Release() + "/SolaneClient.exe";
  EXPECT_EQ(RunProgram({SOLANE_PUBLISH_TOOL, "stamp", client, "3.0.65535.1"}).exitCode, 0);
  const auto words = ReadVersionWords(client);
  ASSERT_TRUE(words);
  EXPECT_EQ(words->high, 3u << 16);
  EXPECT_EQ(words->low, 65535u << 16 | 1);
  for (const char* bad : {"3.0.65536.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1..2.3"}) {
    const ProgramResult stamp = RunProgram({SOLANE_PUBLISH_TOOL, "stamp", client, bad});
    EXPECT_NE(stamp.exitCode, 0) << bad;
    EXPECT_NE(stamp.output.find("A.B.C.D"), std::string::npos) << stamp.output;
  }
  EXPECT_NE(RunProgram({SOLANE_PUBLISH_TOOL, "stamp", Release() + "/Sound.SPF", "1.0.0.0"}).exitCode, 0);

  const std::string description = scratch_.Write("release.ini", kDescription);
  ProgramResult publish = RunProgram({SOLANE_PUBLISH_TOOL, description, Release(), Server()});
  ASSERT_EQ(publish.exitCode, 0) << publish.output;
  ProgramResult verify = RunProgram({SOLANE_PUBLISH_TOOL, "verify", Server()});
  EXPECT_EQ(verify.exitCode, 0) << verify.output;

  fs::remove(ServerFile("Sound.SPF"));
  verify = RunProgram({SOLANE_PUBLISH_TOOL, "verify", Server()});
  EXPECT_NE(verify.exitCode, 0);
  EXPECT_NE(verify.output.find("Sound.SPF: missing"), std::string::npos) << verify.output;

  scratch_.Write("release.ini", std::string(kDescription) + "[Pack]\nFile = ../x.SPF\n");
  publish = RunProgram({SOLANE_PUBLISH_TOOL, "publish", description, Release(), Server()});
  EXPECT_NE(publish.exitCode, 0);
  EXPECT_NE(publish.output.find("error: \"../x.SPF\" climbs out of the folder"), std::string::npos) << publish.output;

  const ProgramResult help = RunProgram({SOLANE_PUBLISH_TOOL, "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("[ListedServer]"), std::string::npos);
}

// The stand-ins record each start beside themselves and carry a version record to stamp.
TEST_F(PublishTest, StandInsRecordTheirCommandLines) {
  const struct {
    const char* program;
    const char* installedAs;
    const char* log;
  } standIns[] = {{SOLANE_CLIENT_STANDIN, "SolaneClient.exe", "SolaneClient.log"},
                  {SOLANE_ERROR_STANDIN, "SolaneError.exe", "SolaneError.log"}};
  for (const auto& standIn : standIns) {
    const std::string installed = scratch_.PathOf(std::string("game/") + standIn.installedAs);
    fs::create_directories(scratch_.PathOf("game"));
    fs::copy_file(standIn.program, installed);
    EXPECT_TRUE(ReadVersionWords(installed)) << standIn.installedAs;
    for (const char* line : {"/LoginServer:127.0.0.1:7000 /ScreenMode:WINDOW", "second start"}) {
      std::vector<std::string> argv = {installed};
      for (size_t start = 0, end; start < std::string(line).size(); start = end + 1) {
        end = std::string(line).find(' ', start);
        if (end == std::string::npos) end = std::string(line).size();
        argv.push_back(std::string(line).substr(start, end - start));
      }
      const ProgramResult run = RunProgram(argv, {"SOLANE_CLIENT_STAY_SECONDS=0"});
      EXPECT_EQ(run.exitCode, 0);
      EXPECT_EQ(run.output, std::string(line) + "\n");
    }
    EXPECT_EQ(*scratch_.Read(std::string("game/") + standIn.log),
              "/LoginServer:127.0.0.1:7000 /ScreenMode:WINDOW\nsecond start\n");
  }
}

}  // namespace
