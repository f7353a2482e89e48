#include "download/ZipArchive.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/FileAttributes.h"
#include "tests/platform/ScratchFolder.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;

namespace {

// Archives come from Python's zipfile, a writer independent of this reader; the few shapes it
// cannot write are made by patching its bytes.
const char kPythonPrelude[] = R"(
import os, struct, zipfile
def entry(name, date=(2020, 5, 17, 12, 34, 56), system=3, attr=0o100644 << 16, extra=b''):
    info = zipfile.ZipInfo(name, date)
    info.create_system = system
    info.external_attr = attr
    info.extra = extra
    return info
def patch(path, old, new):
    data = open(path, 'rb').read()
    assert old in data
    open(path, 'wb').write(data.replace(old, new))
)";

class ZipArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.empty());
    fs::create_directories(base_);
  }

  // Runs a Python script (after the prelude) in the scratch folder.
  void MakeWithPython(const std::string& script) {
    std::string path = scratch_ + "/make.py";
    std::ofstream(path) << kPythonPrelude << script;
    std::string command = "cd '" + scratch_ + "' && /usr/bin/python3 make.py";
    ASSERT_EQ(std::system(command.c_str()), 0) << script;
  }

  std::unique_ptr<ZipArchive> OpenInBase(const std::string& name) {
    auto archive = ZipArchive::Open(scratch_ + "/" + name);
    if (archive) EXPECT_EQ(archive->SetBaseDir(base_), kZipSuccess);
    return archive;
  }

  // Unpacks the way the download thread does: every entry to its own safe name.
  std::vector<uint32_t> UnpackAll(const std::string& name) {
    std::vector<uint32_t> codes;
    auto archive = OpenInBase(name);
    if (!archive) return {ZipLastResult()};
    ZipEntryInfo info;
    EXPECT_EQ(archive->GetEntry(-1, info), kZipSuccess);
    for (int32_t i = 0; i < info.index; ++i) {
      ZipEntryInfo entry;
      uint32_t code = archive->GetEntry(i, entry);
      codes.push_back(code == kZipSuccess ? archive->ExtractEntry(i, entry.name) : code);
    }
    EXPECT_EQ(archive->Close(), kZipSuccess);
    return codes;
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Every path under the scratch folder, relative to it, symbolic links marked with "@".
  std::set<std::string> Tree() {
    std::set<std::string> paths;
    for (const auto& item : fs::recursive_directory_iterator(scratch_)) {
      std::string relative = item.path().string().substr(scratch_.size() + 1);
      paths.insert(item.is_symlink() ? relative + "@" : relative);
    }
    return paths;
  }

  ScratchDir folder_;
  const std::string scratch_ = folder_.Path();
  const std::string base_ = scratch_ + "/base/temp";
};

TEST(ZipNames, ArchiveNameIsTextBeforeFirstDot) {
  const std::pair<const char*, const char*> vectors[] = {
      {"Data.SPF", "Data.zip"}, {"a.b.c", "a.zip"}, {"SolaneClient.exe", "SolaneClient.zip"},
      {"", ""}, {"NoDot", ""}, {".hidden", ""}, {"x.", "x.zip"},
  };
  for (const auto& [name, expected] : vectors) EXPECT_EQ(ZipNameFor(name), expected) << name;
}

TEST(ZipNames, StoredNamesCannotLeaveTheBase) {
  const std::pair<const char*, const char*> vectors[] = {
      {"C:\\a\\..\\b.txt", "b.txt"},
      {"/x/y.dat", "x/y.dat"},
      {"d:e.dat", "e.dat"},
      {"x/../../y", "y"},
      {"../a", "a"},
      {"..\\a", "a"},
      {"../../../../etc/passwd", "etc/passwd"},
      {"/etc/passwd", "etc/passwd"},
      {"C:\\x", "x"},
      {"\\\\server\\share\\f", "server\\share\\f"},
      {"../C:/x", "x"},
      {"a/./b\\c", "a/b\\c"},
      {"dir/", "dir/"},
      {"dir/sub/../", "dir/"},
      {"..", ""},
      {"..../x", "..../x"},
      {"Data/Pack.SPF", "Data/Pack.SPF"},
  };
  for (const auto& [stored, expected] : vectors) EXPECT_EQ(SafeEntryName(stored), expected) << stored;
}

TEST(ZipResults, TextsAndTruncation) {
  EXPECT_EQ(ZipResultText(0x100), "Culdn't duplicate handle");
  EXPECT_EQ(ZipResultText(0x12345), "unknown zip result code");

  char small[5];
  EXPECT_EQ(ZipResultText(0x700, small, sizeof small), 35u);
  EXPECT_STREQ(small, "Zipf");
  EXPECT_EQ(ZipResultText(0x700, nullptr, 0), 35u);

  EXPECT_EQ(ZipArchive::Open("/nonexistent/archive.zip"), nullptr);
  EXPECT_EQ(ZipResultText(kZipLastResult), "Couldn't create/open file");
}

TEST_F(ZipArchiveTest, StoredDeflatedAndDescribedEntriesUnpack) {
  MakeWithPython(R"(
big = bytes((i * 7 + i // 1000) % 251 for i in range(1500000))
open('big.bin', 'wb').write(big)
with zipfile.ZipFile('plain.zip', 'w') as z:
    z.writestr(entry('stored.txt'), b'stored text', zipfile.ZIP_STORED)
    z.writestr(entry('Data/deflated.bin'), big, zipfile.ZIP_DEFLATED)
    z.writestr(entry('empty.txt'), b'', zipfile.ZIP_DEFLATED)
    z.writestr(entry('Data/Sub/', attr=(0o40755 << 16) | 0x10), b'')
class Unseekable:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
with open('described.zip', 'wb') as f:
    with zipfile.ZipFile(Unseekable(f), 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr(entry('described.txt'), b'described ' * 1000)
        assert z.infolist()[0].flag_bits & 8
)");
  EXPECT_EQ(UnpackAll("plain.zip"), std::vector<uint32_t>(4, kZipSuccess));
  EXPECT_EQ(Read(base_ + "/stored.txt"), "stored text");
  EXPECT_EQ(Read(base_ + "/Data/deflated.bin"), Read(scratch_ + "/big.bin"));
  EXPECT_TRUE(fs::is_regular_file(base_ + "/empty.txt"));
  EXPECT_EQ(fs::file_size(base_ + "/empty.txt"), 0u);
  EXPECT_TRUE(fs::is_directory(base_ + "/Data/Sub"));

  EXPECT_EQ(UnpackAll("described.zip"), std::vector<uint32_t>{kZipSuccess});
  std::string described;
  for (int i = 0; i < 1000; ++i) described += "described ";
  EXPECT_EQ(Read(base_ + "/described.txt"), described);

  // Only the unpacked names remain: no temporary file is left beside them.
  std::set<std::string> expected = {"big.bin", "plain.zip", "described.zip", "make.py", "base",
                                    "base/temp", "base/temp/stored.txt", "base/temp/Data",
                                    "base/temp/Data/deflated.bin", "base/temp/empty.txt",
                                    "base/temp/Data/Sub", "base/temp/described.txt"};
  EXPECT_EQ(Tree(), expected);
}

TEST_F(ZipArchiveTest, EntryInformationAndCountAndRange) {
  MakeWithPython(R"(
with zipfile.ZipFile('info.zip', 'w') as z:
    z.writestr(entry('a.txt'), b'12345', zipfile.ZIP_DEFLATED)
    z.writestr(entry('b.txt'), b'x' * 1000, zipfile.ZIP_DEFLATED)
zipfile.ZipFile('empty.zip', 'w').close()
)");
  auto archive = OpenInBase("info.zip");
  ASSERT_NE(archive, nullptr);
  ZipEntryInfo info;
  ASSERT_EQ(archive->GetEntry(-1, info), kZipSuccess);
  EXPECT_EQ(info.index, 2);
  EXPECT_EQ(info.name, "");
  ASSERT_EQ(archive->GetEntry(1, info), kZipSuccess);
  EXPECT_EQ(info.index, 1);
  EXPECT_EQ(info.name, "b.txt");
  EXPECT_EQ(info.size, 1000u);
  EXPECT_LT(info.compressedSize, 100u);
  ASSERT_EQ(archive->GetEntry(0, info), kZipSuccess);  // moving back to an earlier entry
  EXPECT_EQ(info.name, "a.txt");
  EXPECT_EQ(info.size, 5u);

  EXPECT_EQ(archive->GetEntry(2, info), kZipArgs);
  EXPECT_EQ(archive->GetEntry(-2, info), kZipArgs);
  EXPECT_EQ(archive->ExtractEntry(2, "x"), kZipArgs);
  EXPECT_EQ(ZipLastResult(), kZipArgs);
  EXPECT_EQ(archive->SetBaseDir(""), kZipArgs);
  EXPECT_EQ(archive->Close(), kZipSuccess);
  EXPECT_EQ(archive->GetEntry(0, info), kZipArgs);
  EXPECT_EQ(archive->ExtractEntry(0, "a.txt"), kZipArgs);

  auto empty = OpenInBase("empty.zip");
  ASSERT_NE(empty, nullptr);
  ASSERT_EQ(empty->GetEntry(-1, info), kZipSuccess);
  EXPECT_EQ(info.index, 0);
}

TEST_F(ZipArchiveTest, LeadingDataTrailingCommentAndNonArchives) {
  MakeWithPython(R"(
with zipfile.ZipFile('inner.zip', 'w') as z:
    z.writestr(entry('inside.txt'), b'inside', zipfile.ZIP_DEFLATED)
    z.comment = b'a comment behind the archive ' * 20
open('wrapped.zip', 'wb').write(b'\x7fELF stub in front ' * 100 + open('inner.zip', 'rb').read())
open('error.zip', 'w').write('<html><head><title>404 Not Found</title></head><body>gone</body></html>\n')
open('cut.zip', 'wb').write(open('inner.zip', 'rb').read()[:-700])
open('tiny.zip', 'wb').write(b'PK')
)");
  EXPECT_EQ(UnpackAll("wrapped.zip"), std::vector<uint32_t>{kZipSuccess});
  EXPECT_EQ(Read(base_ + "/inside.txt"), "inside");

  for (const char* name : {"error.zip", "cut.zip", "tiny.zip"}) {
    EXPECT_EQ(ZipArchive::Open(scratch_ + "/" + name), nullptr) << name;
    EXPECT_EQ(ZipLastResult(), kZipNoFile) << name;
  }
}

TEST_F(ZipArchiveTest, AttributesFollowTheHostSystem) {
  MakeWithPython(R"(
with zipfile.ZipFile('attributes.zip', 'w') as z:
    z.writestr(entry('dos-ro-hidden.txt', system=0, attr=0x23), b'1')
    z.writestr(entry('dos-plain.txt', system=0, attr=0x20), b'2')
    z.writestr(entry('dos-dir/', system=0, attr=0x10), b'')
    z.writestr(entry('unix-ro.txt', attr=0o100444 << 16), b'3')
    z.writestr(entry('unix-rw.txt', attr=0o100644 << 16), b'4')
    z.writestr(entry('unix-dir/', attr=0o40755 << 16), b'')
    z.writestr(entry('link', attr=0o120777 << 16), b'/etc/passwd')
)");
  auto archive = OpenInBase("attributes.zip");
  ASSERT_NE(archive, nullptr);
  const uint32_t expected[] = {0x23, 0x20, 0x10, 0x21, 0x20, 0x30, 0x20};
  for (int32_t i = 0; i < 7; ++i) {
    ZipEntryInfo info;
    ASSERT_EQ(archive->GetEntry(i, info), kZipSuccess);
    EXPECT_EQ(info.attributes, expected[i]) << info.name;
    EXPECT_EQ(archive->ExtractEntry(i, info.name), kZipSuccess) << info.name;
  }
  struct stat status;
  ASSERT_EQ(stat((base_ + "/dos-ro-hidden.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0222, 0u);
  ASSERT_EQ(stat((base_ + "/unix-rw.txt").c_str(), &status), 0);
  EXPECT_NE(status.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(platform::GetFileAttributes(base_ + "/unix-ro.txt").value() & 1, 1u);
  EXPECT_TRUE(fs::is_directory(base_ + "/dos-dir"));
  EXPECT_TRUE(fs::is_directory(base_ + "/unix-dir"));

  // A link entry becomes a plain file holding the link text, never a link.
  EXPECT_FALSE(fs::is_symlink(base_ + "/link"));
  EXPECT_EQ(Read(base_ + "/link"), "/etc/passwd");

  // A read-only file from an earlier run is replaced.
  EXPECT_EQ(archive->ExtractEntry(0, "dos-ro-hidden.txt"), kZipSuccess);
  EXPECT_EQ(archive->ExtractEntry(1, "dos-ro-hidden.txt"), kZipSuccess);
  EXPECT_EQ(Read(base_ + "/dos-ro-hidden.txt"), "2");
}

TEST_F(ZipArchiveTest, TimesComeFromDosFieldsAndExtendedTimestamp) {
  // DOS times count local time; pinning the zone keeps the expectation exact.
  struct RereadZone {
    ~RereadZone() { tzset(); }
  } rereadOnceRestored;  // declared first, so it runs after the zone is restored
  testing_support::ScopedEnvironment zone("TZ", "UTC0");
  tzset();
  MakeWithPython(R"(
ut = struct.pack('<HHBIII', 0x5455, 13, 7, 1000000000, 1100000000, 1200000000)
write_only = struct.pack('<HHBI', 0x5455, 5, 1, 1300000000)
with zipfile.ZipFile('times.zip', 'w') as z:
    z.writestr(entry('dos.txt'), b'dos')
    z.writestr(entry('ut.txt', extra=ut), b'ut')
    z.writestr(entry('write-only.txt', extra=b'\x99\x99\x02\x00ab' + write_only), b'w')
)");
  auto archive = OpenInBase("times.zip");
  ASSERT_NE(archive, nullptr);
  struct Expected {
    int64_t write, access, creation;
  };
  const int64_t dos = 1589718896;  // 2020-05-17 12:34:56
  const Expected expected[] = {{dos, dos, dos},
                               {1000000000, 1100000000, 1200000000},
                               {1300000000, dos, dos}};
  for (int32_t i = 0; i < 3; ++i) {
    ZipEntryInfo info;
    ASSERT_EQ(archive->GetEntry(i, info), kZipSuccess);
    SCOPED_TRACE(info.name);
    EXPECT_EQ(info.writeTime, platform::UnixToFileTime(expected[i].write));
    EXPECT_EQ(info.accessTime, platform::UnixToFileTime(expected[i].access));
    EXPECT_EQ(info.creationTime, platform::UnixToFileTime(expected[i].creation));
    ASSERT_EQ(archive->ExtractEntry(i, info.name), kZipSuccess);
    struct stat status;
    ASSERT_EQ(stat((base_ + "/" + info.name).c_str(), &status), 0);
    EXPECT_EQ(status.st_mtim.tv_sec, expected[i].write);
    EXPECT_EQ(status.st_atim.tv_sec, expected[i].access);
  }
}

TEST_F(ZipArchiveTest, DamagedOrLockedEntriesLeaveNoFile) {
  MakeWithPython(R"(
with zipfile.ZipFile('crc.zip', 'w') as z:
    z.writestr(entry('crc.txt'), b'hello world', zipfile.ZIP_STORED)
patch('crc.zip', b'hello world', b'hellO world')
with zipfile.ZipFile('locked.zip', 'w') as z:
    z.writestr(entry('locked.txt'), b'\x00' * 12 + b'secret', zipfile.ZIP_STORED)
data = bytearray(open('locked.zip', 'rb').read())
data[6] |= 1                              # local header flags
data[data.find(b'PK\x01\x02') + 8] |= 1   # central record flags
open('locked.zip', 'wb').write(bytes(data))
with zipfile.ZipFile('flate.zip', 'w') as z:
    z.writestr(entry('flate.txt'), b'compressible ' * 500, zipfile.ZIP_DEFLATED)
data = bytearray(open('flate.zip', 'rb').read())
start = 30 + len('flate.txt')
data[start:start + 20] = b'\xff' * 20
open('flate.zip', 'wb').write(bytes(data))
with zipfile.ZipFile('method.zip', 'w') as z:
    z.writestr(entry('method.txt'), b'bz', zipfile.ZIP_BZIP2)
with zipfile.ZipFile('mismatch.zip', 'w') as z:
    z.writestr(entry('mismatch.txt'), b'abc', zipfile.ZIP_STORED)
patch('mismatch.zip', struct.pack('<II', 3, 3), struct.pack('<II', 4, 4))
)");
  EXPECT_EQ(UnpackAll("crc.zip"), std::vector<uint32_t>{kZipCorrupt});
  EXPECT_EQ(UnpackAll("locked.zip"), std::vector<uint32_t>{kZipPassword});
  EXPECT_EQ(UnpackAll("flate.zip"), std::vector<uint32_t>{kZipFlate});
  EXPECT_EQ(UnpackAll("method.zip"), std::vector<uint32_t>{kZipCorrupt});
  EXPECT_EQ(UnpackAll("mismatch.zip"), std::vector<uint32_t>{kZipCorrupt});
  EXPECT_TRUE(fs::is_empty(base_));
}

// The name rule itself is tabled above; here extraction must follow it for every entry.
TEST_F(ZipArchiveTest, NoEntryLandsOutsideTheBase) {
  const std::string outside = scratch_ + "/outside";
  MakeWithPython(R"(
with zipfile.ZipFile('evil.zip', 'w') as z:
    for name in ['../a', '..\\b', 'x/../../y', '../../../../../../../../tmp/../up', '/x/y.dat',
                 'C:\\c.txt', '..', 'ok/../ok.txt']:
        z.writestr(entry(name), name.encode())
)");
  std::vector<uint32_t> codes = UnpackAll("evil.zip");
  ASSERT_EQ(codes.size(), 8u);
  EXPECT_EQ(codes[6], kZipNoFile);  // ".." names nothing
  EXPECT_EQ(Tree(), (std::set<std::string>{"make.py", "evil.zip", "base", "base/temp", "base/temp/a", "base/temp/b",
                                           "base/temp/y", "base/temp/up", "base/temp/x", "base/temp/x/y.dat",
                                           "base/temp/c.txt", "base/temp/ok.txt"}));
  EXPECT_EQ(Read(base_ + "/y"), "x/../../y");

  // Callers cannot climb out either; an absolute target is the caller's explicit choice.
  auto archive = OpenInBase("evil.zip");
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->ExtractEntry(0, "../escape"), kZipArgs);
  EXPECT_EQ(archive->ExtractEntry(0, "C:\\escape"), kZipArgs);
  EXPECT_EQ(archive->ExtractEntry(0, outside + "/chosen.txt"), kZipSuccess);
  EXPECT_EQ(Read(outside + "/chosen.txt"), "../a");
}

}  // namespace
