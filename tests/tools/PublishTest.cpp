#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <tuple>
#include <string>
#include <vector>

#include "patch/FileVersion.h"
#include "patch/TextChecksum.h"
#include "patch/ReleaseSignature.h"
#include "patch/UpdateInfo.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"
#include "tools/publish/Publisher.h"
#include "tools/publish/ReleaseFiles.h"
#include "tools/publish/ServerVerify.h"
#include "tools/publish/Signing.h"

namespace {

namespace fs = std::filesystem;

const char* const kDescription =
    "[Release]\nVersionLine = Solane 2.1 - the spring patch\nNoticeAddress = http://127.0.0.1/notice.html\n"
    "BandWidth = 512\nErrorMessage = Welcome back.\\r\\nEnjoy.\n\n"
    "[Launcher]\nFile = SolaneLauncher.exe\n\n"
    "[Client]\nFile = SolaneClient.exe\nZip = yes\nRegKey = HKLM\nRegSubKey = Software\\Solane\n\n"
    "[ErrorReporter]\nFile = SolaneError.exe\nMD5 = no\n\n"
    "[Pack]\nFile = Data.SPF\nZip = yes\nCheck = 3\n\n"
    "[Pack]\nFile = maps/World.SPF\nFlag = MD5\nCheck = 2\n\n"
    "[Pack]\nFile = Sound.SPF\nMD5 = no\nVersion = 1\n\n"
    "[Delete]\nFile = Old.SPF\nFile = logs\\old.txt\n\n"
    "[LoginServers]\nAddress = 127.0.0.1:7000\nAddress = 127.0.0.1:7001\n\n"
    "[ListedServer]\nName = First\nLabel = first\nAddress = 127.0.0.1:7100\n\n"
    "[RegistryMove]\nFrom = HKCU\\Software\\Solane\\Old\nFromValue = Path\nDeleteSource = yes\n"
    "To = HKLM\nToValue = Path\n";

// A release folder with stamped stand-ins and three packs, and a server folder beside it.
class PublishTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.Path().empty());
    ASSERT_EQ(InstallProgram(SOLANE_ERROR_REPORTER, Release() + "/SolaneLauncher.exe", "2.1.0.3"), "");
    ASSERT_EQ(InstallProgram(SOLANE_CLIENT_STANDIN, Release() + "/SolaneClient.exe", "1.2.3.4"), "");
    ASSERT_EQ(InstallProgram(SOLANE_ERROR_REPORTER, Release() + "/SolaneError.exe", "1.0.0.9"), "");
    // Line ends and an end-of-file byte make the text-mode checksum differ from a plain CRC.
    scratch_.Write("release/Data.SPF", PackBytes(PatternBytes(300000) + "a\r\nb\x1a" + "c", 3));
    scratch_.Write("release/maps/World.SPF", PackBytes(PatternBytes(5000, 2), 7));
    scratch_.Write("release/Sound.SPF", PackBytes("sound", 1));
  }

  std::string Release() const { return scratch_.PathOf("release"); }
  std::string Server() const { return scratch_.PathOf("server"); }
  std::string ServerFile(const std::string& name) const { return Server() + "/" + name; }

  PublishResult PublishText(const std::string& description, const std::string& signingKey = "") {
    return Publish(PublishRequest{Release(), "", description, Server(), signingKey});
  }

  ScratchDir scratch_;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// What the end-to-end update does not show on its own: every key as the launcher reads it.
TEST_F(PublishTest, PublishedReleaseIsWhatInstallationsRead) {
  const PublishResult result = PublishText(kDescription);
  ASSERT_TRUE(result.ok) << Joined(result.errors) << Joined(result.warnings);
  EXPECT_EQ(Joined(VerifyServerFolder(Server())), "");
  const std::string text = *scratch_.Read("server/Update.NFO");
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "lines end with CR LF";
  UpdateInfo info;
  info.Parse(text);
  info.SetLoadedPath(ServerFile("Update.NFO"));
  ASSERT_TRUE(info.IsProper());

  // Versions come from the programs' own records, so an installed copy of each is current.
  for (const char* section : {"SolaneLauncher", "SolaneClient", "SolaneError"}) {
    FileVersion installed(Release() + "/" + info.ReadString(section, "FileName", ""));
    EXPECT_FALSE(installed.Differs(info.ReadInt(section, "VersionMajorHigh", 0), info.ReadInt(section, "VersionMajorLow", 0),
                                   info.ReadInt(section, "VersionMinorHigh", 0), info.ReadInt(section, "VersionMinorLow", 0)))
        << section;
  }
  // Digests, pack versions, the delete list and login addresses are the end-to-end test's.
  const std::tuple<const char*, const char*, std::string> values[] = {
      {"SolaneError", "MD5", "No"},
      {"SolaneError", "Update", "1"}, {"SolaneLauncher", "ZIP", "0"}, {"SolaneClient", "RegKey", "3"},
      {"SolaneClient", "RegSubKey", "Software\\Solane"}, {"SolaneLauncher", "VersionDesc", "Solane 2.1 - the spring patch"},
      {"SolaneLauncher", "Emergency_NoticeURL", "http://127.0.0.1/notice.html"}, {"SolaneLauncher", "BandWidth", "512"},
      {"SolaneLauncher", "ErrorMessage", "Welcome back.\\r\\nEnjoy."}, {"SolaneLauncher", "1_From_RegKey", "2"},
      {"SolaneLauncher", "1_From_RegSubKey", "Software\\Solane\\Old"}, {"SolaneLauncher", "1_Delete", "1"},
      {"SolaneLauncher", "1_To_RegKey", "3"}, {"SolaneLauncher", "1_To_RegSubKey", "NoData"},  // the default location
      {"Resource", "3_MD5", "No"}, {"Resource", "1_ZIP", "Yes"}, {"Resource", "2_Flag", "MD5"},
      {"Resource", "1_SHA256", "NoData"}, {"SolaneLauncher", "Serial", "NoData"},  // unsigned: as before
      {"Delete", "2_FileName", "logs\\old.txt"}, {"LoginServerList", "1_Label", "first"},
  };
  for (const auto& [section, key, value] : values) EXPECT_EQ(info.ReadString(section, key, "NoData"), value) << key;
  // Checksums are text-mode ones of the server copies.
  const char* const packs[] = {"Data.SPF", "maps/World.SPF"};
  for (const int i : {1, 2})
    EXPECT_EQ(static_cast<uint32_t>(std::stoll(info.ReadString("Resource", std::to_string(i) + "_CRC", "0"))), TextModeCrc32(ServerFile(packs[i - 1])));
  EXPECT_TRUE(IsPackDateText(info.ReadString("Resource", "1_Date", "0")));

  // Two independent readers accept the archive (the launcher's own reader is the end-to-end
  // test's): one deflated entry, named as the file, with its "UT" time.
  const std::string archivePath = ServerFile("Data.zip");
  const ProgramResult unzip = RunProgram({"/usr/bin/unzip", "-t", archivePath});
  EXPECT_EQ(unzip.exitCode, 0) << unzip.output;
  const std::string script =
      "import os, sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1]); i = z.infolist()[0]\n"
      "assert len(z.infolist()) == 1 and i.filename == 'Data.SPF'\n"
      "assert z.testzip() is None and i.compress_type == zipfile.ZIP_DEFLATED\n"
      "assert i.extra[:2] == b'UT' and i.extra[4] == 1\n"
      "assert int.from_bytes(i.extra[5:9], 'little') == int(os.stat(sys.argv[2]).st_mtime)\n";
  const ProgramResult python = RunProgram({"/usr/bin/python3", "-c", script, archivePath, Release() + "/Data.SPF"});
  EXPECT_EQ(python.exitCode, 0) << python.output;
}

TEST_F(PublishTest, RefusesWhatInstallationsWouldRejectOrMishandle) {
  ASSERT_TRUE(PublishText(kDescription).ok);
  const std::string published = *scratch_.Read("server/Update.NFO");
  scratch_.Write("release/Zero.SPF", PackBytes("zero", 0));
  scratch_.Write("release/Data.old.SPF", PackBytes("old", 2));
  // Sparse: 4 GiB that cost no disk, refused from their size before any digest or archive.
  const std::string huge = scratch_.Write("release/Huge.SPF", "");
  fs::resize_file(huge, (uint64_t{4} << 30) - 4);
  std::ofstream(huge, std::ios::binary | std::ios::app) << PackBytes("", 9);
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const std::string base = kDescription;
  const std::pair<std::string, const char*> vectors[] = {
      {replaced(base, "[Client]\nFile = SolaneClient.exe\nZip = yes\nRegKey = HKLM\nRegSubKey = Software\\Solane\n", ""), "no [Client] section"},
      {base.substr(0, base.find("[Pack]")) + base.substr(base.find("[Delete]")), "no [Pack] section"},
      {base + "[Pack]\nFile = Zero.SPF\n", "Zero.SPF: its version (last four bytes) is 0"},
      {replaced(base, "Version = 1", "Version = 5"), "announced as version 5 but its last four bytes say 1"},
      {replaced(base, "Solane 2.1 - the spring patch", std::string(260, 'v')), "a value of 260 bytes"},
      {replaced(base, "File = SolaneError.exe", "File = ../SolaneError.exe"), "climbs out of the folder"},
      {replaced(base, "notice.html", "notice.html?a=1;b=2"), "holds a \";\""},
      {base + "[Pack]\nFile = Data.old.SPF\nZip = yes\n", "share the server name Data.zip"},
      {base + "[Pack]\nFile = Huge.SPF\nZip = yes\n", "Huge.SPF: 4 GiB or more cannot be zipped"},
      {replaced(base, "File = SolaneClient.exe", "File = SolaneError.exe"), "installations start SolaneClient.exe"},
      {base + "[Delete]\nFile = DATA.spf\n", "DATA.spf is also published"},
      {replaced(base, "Zip = yes\nCheck = 3", "Zip = yes\nChek = 3"), "unknown key \"Chek\" in [Pack]"},
  };
  for (const auto& [description, reason] : vectors) {
    const PublishResult result = PublishText(description);
    EXPECT_FALSE(result.ok) << reason;
    EXPECT_NE(Joined(result.errors).find(reason), std::string::npos) << reason << ":\n" << Joined(result.errors);
    EXPECT_EQ(*scratch_.Read("server/Update.NFO"), published) << reason << ": the earlier publish must stay";
  }
  EXPECT_TRUE(PublishText(replaced(base, "Solane 2.1 - the spring patch", std::string(259, 'v'))).ok);
}

TEST_F(PublishTest, NeverReplacesAFolderThatIsNotAServerFolder) {
  scratch_.Write("server/precious.txt", "operator's notes");
  EXPECT_FALSE(PublishText(kDescription).ok);
  EXPECT_EQ(*scratch_.Read("server/precious.txt"), "operator's notes");
  const PublishResult result = Publish(PublishRequest{Release(), "", kDescription, scratch_.Path(), ""});
  EXPECT_NE(Joined(result.errors).find("holds the release folder"), std::string::npos) << Joined(result.errors);
  EXPECT_TRUE(scratch_.Exists("release/Data.SPF"));
}

// Each damage is published afresh, applied to the server folder and must be named by verify.
TEST_F(PublishTest, VerifyNamesEveryInconsistency) {
  const std::pair<std::function<void()>, const char*> vectors[] = {
      {[&] { scratch_.Write("server/maps/World.SPF", PackBytes(PatternBytes(5000, 3), 7)); }, "maps/World.SPF: MD5 is"},
      {[&] { fs::remove(ServerFile("Data.zip")); }, "Data.zip: missing"},
      {[&] { scratch_.Write("server/Data.SPF", PackBytes(PatternBytes(300001) + "a\r\nb\x1a" + "c", 3)); },
       "Data.zip: holds 300010 bytes for Data.SPF, the file has 300011"},
      {[&] { scratch_.Write("server/Sound.SPF", PackBytes("sound", 2)); }, "Sound.SPF: its last four bytes say version 2, announced 1"},
      {[&] { fs::copy_file(Release() + "/SolaneError.exe", ServerFile("SolaneLauncher.exe"), fs::copy_options::overwrite_existing); },
       "SolaneLauncher.exe: its version differs"},
      {[&] { scratch_.Write("server/Update.NFO", std::regex_replace(*scratch_.Read("server/Update.NFO"), std::regex("\r"), "")); },
       "a line ends without CR LF"},
  };
  for (const auto& [damage, finding] : vectors) {
    ASSERT_TRUE(PublishText(kDescription).ok) << finding;
    damage();
    const std::string findings = Joined(VerifyServerFolder(Server()));
    EXPECT_NE(findings.find(finding), std::string::npos) << finding << ":\n" << findings;
  }
}

// The operator's commands, run as the operator runs them. The openssl program checks the
// signature too: another implementation than ours.
TEST_F(PublishTest, CommandLineStampsPublishesSignsAndVerifies) {
  const std::string client = Release() + "/SolaneClient.exe";
  EXPECT_EQ(RunProgram({SOLANE_PUBLISH_TOOL, "stamp", client, "3.0.65535.1"}).exitCode, 0);
  EXPECT_EQ(FileVersion(client).GetParts(), (std::array<uint32_t, 4>{3, 0, 65535, 1}));
  const ProgramResult badStamp = RunProgram({SOLANE_PUBLISH_TOOL, "stamp", client, "3.0.65536.1"});
  EXPECT_NE(badStamp.exitCode, 0);
  EXPECT_NE(badStamp.output.find("A.B.C.D"), std::string::npos) << badStamp.output;
  // A program built without a version record gets one, and still runs.
  const std::string native = Release() + "/Native";
  fs::copy_file("/bin/true", native);
  EXPECT_EQ(RunProgram({SOLANE_PUBLISH_TOOL, "stamp", native, "1.2.3.4"}).output, "");
  EXPECT_EQ(FileVersion(native).GetParts(), (std::array<uint32_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(RunProgram({SOLANE_PUBLISH_TOOL, "stamp", native, "1.2.3.5"}).exitCode, 0);
  EXPECT_EQ(FileVersion(native).GetParts(), (std::array<uint32_t, 4>{1, 2, 3, 5}));
  EXPECT_EQ(RunProgram({native}).exitCode, 0);
  const std::string help = RunProgram({SOLANE_PUBLISH_TOOL, "--help"}).output;
  for (const char* fact : {"last four bytes, a little-endian", "login server", "File = SolaneClient.exe"})
    EXPECT_NE(help.find(fact), std::string::npos) << fact;

  // The description inside the release folder is not published and needs no warning; Native is not named.
  const std::string description = scratch_.Write("release/release.ini", kDescription);
  const ProgramResult plainPublish = RunProgram({SOLANE_PUBLISH_TOOL, description, Release(), Server()});
  ASSERT_EQ(plainPublish.exitCode, 0) << plainPublish.output;
  EXPECT_NE(plainPublish.output.find("warning: Native: in the release folder but named in no section"), std::string::npos)
      << plainPublish.output;
  EXPECT_EQ(plainPublish.output.find("release.ini"), std::string::npos) << plainPublish.output;
  EXPECT_EQ(RunProgram({SOLANE_PUBLISH_TOOL, "verify", Server()}).exitCode, 0);
  fs::remove(ServerFile("Sound.SPF"));
  const ProgramResult missing = RunProgram({SOLANE_PUBLISH_TOOL, "verify", Server()});
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.output.find("Sound.SPF: missing"), std::string::npos) << missing.output;

  const std::string keys = scratch_.PathOf("keys"), privateKey = keys + "/publisher.key";
  const ProgramResult keygen = RunProgram({SOLANE_PUBLISH_TOOL, "keygen", keys});
  ASSERT_EQ(keygen.exitCode, 0) << keygen.output;
  EXPECT_EQ(fs::status(privateKey).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  const std::string publicKey = scratch_.Read("keys/publisher.pub").value_or("");
  EXPECT_NE(keygen.output.find("PublisherKey=" + publicKey.substr(0, publicKey.find('\n'))), std::string::npos) << keygen.output;
  EXPECT_NE(RunProgram({SOLANE_PUBLISH_TOOL, "keygen", keys}).exitCode, 0) << "a key is never replaced";

  const ProgramResult publish = RunProgram({SOLANE_PUBLISH_TOOL, "publish", "--sign", privateKey, description, Release(), Server()});
  ASSERT_EQ(publish.exitCode, 0) << publish.output;
  const ProgramResult verify = RunProgram({SOLANE_PUBLISH_TOOL, "verify", "--key", keys + "/publisher.pub", Server()});
  EXPECT_EQ(verify.exitCode, 0) << verify.output;
  const std::string script = "tr -d '\\r' <'" + ServerFile("Update.NFO.sig") + "' | base64 -d >'" + scratch_.PathOf("sig") + "' && " +
                             "openssl pkey -in '" + privateKey + "' -pubout -out '" + scratch_.PathOf("pub.pem") + "' && " +
                             "openssl pkeyutl -verify -pubin -inkey '" + scratch_.PathOf("pub.pem") + "' -rawin -in '" +
                             ServerFile("Update.NFO") + "' -sigfile '" + scratch_.PathOf("sig") + "'";
  const ProgramResult openssl = RunProgram({"/bin/sh", "-c", script});
  EXPECT_EQ(openssl.exitCode, 0) << openssl.output;

  UpdateInfo info;
  info.Parse(*scratch_.Read("server/Update.NFO"));
  info.SetLoadedPath(ServerFile("Update.NFO"));
  const std::pair<const char*, std::string> digests[] = {
      {"SolaneLauncher", ""}, {"SolaneClient", ""}, {"SolaneError", ""}, {"Resource", "1_"}, {"Resource", "2_"}, {"Resource", "3_"}};
  for (const auto& [section, prefix] : digests) {
    const std::string name = info.ReadString(section, prefix + "FileName", "");
    const ProgramResult sha256sum = RunProgram({"/usr/bin/sha256sum", ServerFile(name)});
    EXPECT_EQ(info.ReadString(section, prefix + "SHA256", "none"), sha256sum.output.substr(0, 64)) << name;
  }
  EXPECT_NE(info.ReadString("Resource", "1_MD5", "No"), "No") << "older launchers still get their MD5";
  const uint64_t serial = ParseReleaseSerial(info.ReadString("SolaneLauncher", "Serial", "")).value_or(0);
  EXPECT_GT(serial, 0u);
  EXPECT_GT(PublishText(kDescription, privateKey).serial, serial);

  const auto otherKey = GenerateKeyPair(scratch_.PathOf("other"));
  const std::string mismatch = "Update.NFO.sig: does not verify";
  const std::tuple<std::function<void()>, std::string, std::string> damages[] = {
      {[] {}, otherKey.publicKeyPath, mismatch},
      {[&] { scratch_.Write("server/Update.NFO", std::regex_replace(*scratch_.Read("server/Update.NFO"), std::regex("BandWidth=512"), "BandWidth=612")); },
       keys + "/publisher.pub", mismatch},
      {[&] { scratch_.Write("server/Sound.SPF", PackBytes("sounD", 1)); }, keys + "/publisher.pub", "Sound.SPF: SHA-256 is"},
      {[] {}, "", "Update.NFO.sig: not checked"},
  };
  for (const auto& [damage, key, finding] : damages) {
    ASSERT_TRUE(PublishText(kDescription, privateKey).ok) << finding;
    damage();
    const std::string findings = Joined(VerifyServerFolder(Server(), key.empty() ? std::nullopt : ReadPublicKey(key)));
    EXPECT_NE(findings.find(finding), std::string::npos) << finding << ":\n" << findings;
  }
}

}  // namespace
