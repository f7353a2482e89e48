#include "download/ZipArchive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"
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
def patch(name, *fields):  # 32-bit values at offsets into the last record with a signature
    data = bytearray(open(name, 'rb').read())
    for signature, offset, value in fields:
        struct.pack_into('<I', data, data.rfind(signature) + offset, value)
    open(name, 'wb').write(bytes(data))
central, local = b'PK\x01\x02', b'PK\x03\x04'
)";

class ZipArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::create_directories(base_)); }

  // Runs a Python script (after the prelude) in the scratch folder.
  void MakeWithPython(const std::string& script) {
    std::string path = scratch_ + "/make.py";
    std::ofstream(path) << "import os\nos.chdir(os.path.dirname(os.path.abspath(__file__)))\n" << kPythonPrelude << script;
    const ProgramResult made = RunProgram({"/usr/bin/python3", path});
    ASSERT_EQ(made.exitCode, 0) << script << made.output;
  }

  std::unique_ptr<ZipArchive> OpenInBase(const std::string& name) {
    auto archive = ZipArchive::Open(scratch_ + "/" + name);
    if (archive) {
      EXPECT_EQ(archive->SetBaseDir(base_), kZipSuccess);
    }
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

  ScratchDir folder_;
  const std::string scratch_ = folder_.Path();
  const std::string base_ = scratch_ + "/base/temp";
};

// The archive name is the text before the first dot; stored names cannot leave the base; a result
// text is cut to the buffer given.
TEST(ZipTexts, NamesAndResults) {
  for (const auto& [name, expected] : {std::pair{"a.b.c", "a.zip"}, {"NoDot", ""}, {".hidden", ""}, {"x.", "x.zip"}})
    EXPECT_EQ(ZipNameFor(name), expected) << name;
  const std::pair<const char*, const char*> vectors[] = {
      {"C:\\a\\..\\b.txt", "b.txt"}, {"d:e.dat", "e.dat"},   {"x/../../y", "y"},     {"..\\a", "a"},
      {"../../../../etc/passwd", "etc/passwd"},             {"/etc/passwd", "etc/passwd"},
      {"\\\\server\\share\\f", "server\\share\\f"},    {"../C:/x", "x"},       {"a/./b\\c", "a/b\\c"},
      {"dir/sub/../", "dir/"},     {"..", ""},                {"..../x", "..../x"},
      {"x/../C:../y", "y"},        {"../a:/:b", "b"},
  };
  for (const auto& [stored, expected] : vectors) EXPECT_EQ(SafeEntryName(stored), expected) << stored;
  // Every step brings another prefix to the front; this must not cost a pass per step.
  std::string hostile;
  for (int i = 0; i < 20000; ++i) hostile += "a:../";
  EXPECT_EQ(SafeEntryName(hostile + "keep/me"), "keep/me");
  char small[5];
  EXPECT_EQ(ZipResultText(0x700, small, sizeof small), 35u);
  EXPECT_STREQ(small, "Zipf");
  EXPECT_EQ(ZipResultText(0x700, nullptr, 0), 35u);
}

// Stored, deflated, empty, directory and described (flag bit 3) entries unpack, and entries
// whose names climb land under the base all the same.
TEST_F(ZipArchiveTest, EntriesUnpackUnderTheBaseOnly) {
  MakeWithPython(R"(
big = bytes((i * 7 + i // 1000) % 251 for i in range(1500000))
open('big.bin', 'wb').write(big)
with zipfile.ZipFile('plain.zip', 'w') as z:
    z.writestr(entry('stored.txt'), b'stored text', zipfile.ZIP_STORED)
    z.writestr(entry('Data/deflated.bin'), big, zipfile.ZIP_DEFLATED)
    z.writestr(entry('empty.txt'), b'', zipfile.ZIP_DEFLATED)
    z.writestr(entry('Data/Sub/', attr=(0o40755 << 16) | 0x10), b'')
    for name in ['../a', 'x/../../y', '/x/y.dat', '..']:
        z.writestr(entry(name), name.encode())
class Unseekable:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
with open('described.zip', 'wb') as f:
    with zipfile.ZipFile(Unseekable(f), 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr(entry('described.txt'), b'described ' * 1000)
        assert z.infolist()[0].flag_bits & 8
)");
  std::vector<uint32_t> expected(8, kZipSuccess);
  expected.back() = kZipNoFile;  // ".." names nothing
  EXPECT_EQ(UnpackAll("plain.zip"), expected);
  EXPECT_EQ(UnpackAll("described.zip"), std::vector<uint32_t>{kZipSuccess});
  EXPECT_EQ(FileBytes(base_ + "/stored.txt"), "stored text");
  EXPECT_EQ(FileBytes(base_ + "/Data/deflated.bin"), FileBytes(scratch_ + "/big.bin"));
  EXPECT_EQ(FileBytes(base_ + "/described.txt").size(), 10000u);
  // Only the unpacked names remain, directories included: no temporary file is left beside them.
  std::set<std::string> tree;
  for (const auto& item : fs::recursive_directory_iterator(scratch_)) tree.insert(fs::relative(item.path(), scratch_).generic_string());
  EXPECT_EQ(tree, (std::set<std::string>{"big.bin", "plain.zip", "described.zip", "make.py", "base", "base/temp",
                                         "base/temp/stored.txt", "base/temp/Data", "base/temp/Data/deflated.bin",
                                         "base/temp/empty.txt", "base/temp/Data/Sub", "base/temp/described.txt",
                                         "base/temp/a", "base/temp/y", "base/temp/x", "base/temp/x/y.dat"}));

  auto archive = OpenInBase("plain.zip");
  ASSERT_NE(archive, nullptr);
  ZipEntryInfo info;
  ASSERT_EQ(archive->GetEntry(1, info), kZipSuccess);
  ASSERT_EQ(archive->GetEntry(0, info), kZipSuccess);  // moving back to an earlier entry
  EXPECT_EQ(info.name, "stored.txt");
  EXPECT_EQ(archive->ExtractEntry(8, "x"), kZipArgs);
  EXPECT_EQ(archive->ExtractEntry(0, "../escape"), kZipArgs);  // callers cannot climb out either
  EXPECT_EQ(archive->Close(), kZipSuccess);
  EXPECT_EQ(archive->ExtractEntry(0, "stored.txt"), kZipArgs);
}

// Data in front and a comment behind do not hide an archive. An error page, a cut archive and
// records sharing one local header or reaching into the central directory are refused at Open; a
// damaged or encrypted entry, and sizes that together exceed the free space (or an unknown one),
// give their codes before anything is written.
TEST_F(ZipArchiveTest, DamagedLockedAndOversizedArchivesAreRefused) {
  MakeWithPython(R"(
with zipfile.ZipFile('inner.zip', 'w') as z:
    z.writestr(entry('inside.txt'), b'inside', zipfile.ZIP_DEFLATED)
    z.comment = b'a comment behind the archive ' * 20
open('wrapped.zip', 'wb').write(b'\x7fELF stub in front ' * 100 + open('inner.zip', 'rb').read())
open('error.zip', 'w').write('<html><head><title>404 Not Found</title></head><body>gone</body></html>\n')
open('cut.zip', 'wb').write(open('inner.zip', 'rb').read()[:-700])
with zipfile.ZipFile('crc.zip', 'w') as z:
    z.writestr(entry('crc.txt'), b'hello world', zipfile.ZIP_STORED)
data = open('crc.zip', 'rb').read()
open('crc.zip', 'wb').write(data.replace(b'hello world', b'hellO world'))
with zipfile.ZipFile('locked.zip', 'w') as z:
    z.writestr(entry('locked.txt'), b'\x00' * 12 + b'secret', zipfile.ZIP_STORED)
data = bytearray(open('locked.zip', 'rb').read())
data[6] |= 1                              # local header flags
data[data.find(b'PK\x01\x02') + 8] |= 1   # central record flags
open('locked.zip', 'wb').write(bytes(data))
for name in ['shared.zip', 'into-directory.zip', 'sized.zip']:
    with zipfile.ZipFile(name, 'w') as z:
        z.writestr(entry('one'), b'1' * 600)
        z.writestr(entry('two'), b'2' * 600)
patch('shared.zip', (central, 42, 0))  # 'two' names the local header of 'one'
patch('into-directory.zip', (local, 18, 700), (local, 22, 700), (central, 20, 700), (central, 24, 700))
)");
  const std::pair<const char*, const char*> refused[] = {
      {"error.zip", "Couldn't create/open file"}, {"cut.zip", "Couldn't create/open file"},
      {"shared.zip", "Zipfile is corrupt or not a zipfile"},
      {"into-directory.zip", "Zipfile is corrupt or not a zipfile"}};
  for (const auto& [name, text] : refused) {
    EXPECT_EQ(ZipArchive::Open(scratch_ + "/" + name), nullptr) << name;
    EXPECT_EQ(ZipResultText(kZipLastResult), text) << name;
  }
  EXPECT_EQ(ZipLastResult(), kZipCorrupt);
  EXPECT_EQ(UnpackAll("crc.zip"), std::vector<uint32_t>{kZipCorrupt});
  EXPECT_EQ(UnpackAll("locked.zip"), std::vector<uint32_t>{kZipPassword});

  struct RestoreFreeSpace {
    ~RestoreFreeSpace() { platform::SetFreeDiskSpaceForTesting({}); }
  } restore;
  std::string asked;
  for (const auto& [freeBytes, expected] : {std::pair{std::optional<uint64_t>(), kZipWrite},
                                            {std::optional<uint64_t>(1199), kZipWrite},
                                            {std::optional<uint64_t>(1200), kZipSuccess}}) {
    platform::SetFreeDiskSpaceForTesting([&asked, freeBytes = freeBytes](const std::string& path) {
      asked = path;
      return freeBytes;
    });
    EXPECT_TRUE(fs::is_empty(base_));
    EXPECT_EQ(UnpackAll("sized.zip"), std::vector<uint32_t>(2, expected));
    EXPECT_EQ(asked, base_ + "/");
  }
  EXPECT_EQ(FileBytes(base_ + "/two"), std::string(600, '2'));
  EXPECT_EQ(UnpackAll("wrapped.zip"), std::vector<uint32_t>{kZipSuccess});
  EXPECT_EQ(FileBytes(base_ + "/inside.txt"), "inside");
}

// Data beyond the declared size, a NUL in a name and a cancel between pieces each stop the
// entry and leave no file.
TEST_F(ZipArchiveTest, EntriesStopAtDeclaredSizeNulNameOrCancel) {
  MakeWithPython(R"(
with zipfile.ZipFile('stops.zip', 'w') as z:
    z.writestr(entry('nul.txt'), b'nul')
    z.writestr(entry('long.bin'), bytes(range(256)) * 4000)
    z.writestr(entry('bomb'), bytes(3000000), zipfile.ZIP_DEFLATED)
patch('stops.zip', (local, 22, 1000), (central, 24, 1000))  # 'bomb' declares 1000 bytes
data = open('stops.zip', 'rb').read()
open('stops.zip', 'wb').write(data.replace(b'nul.txt', b'nu\0.txt'))
)");
  auto archive = OpenInBase("stops.zip");
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->ExtractEntry(2, "bomb"), kZipMissize);
  ZipEntryInfo info;
  EXPECT_EQ(archive->GetEntry(0, info), kZipCorrupt);
  EXPECT_EQ(archive->ExtractEntry(0, "nul.txt"), kZipCorrupt);
  EXPECT_EQ(archive->ExtractEntry(1, std::string("a\0b", 3)), kZipArgs);
  int asked = 0;
  archive->SetCancelTest([&asked] { return ++asked == 2; });  // after the first piece is written
  EXPECT_EQ(archive->ExtractEntry(1, "long.bin"), kZipMore);
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(fs::is_empty(base_));
  archive->SetCancelTest({});
  EXPECT_EQ(archive->ExtractEntry(1, "long.bin"), kZipSuccess);
  EXPECT_EQ(fs::file_size(base_ + "/long.bin"), 1024000u);
}

// Attributes follow the host system; times come from the DOS fields or an extended timestamp.
TEST_F(ZipArchiveTest, AttributesAndTimes) {
  // DOS times count local time; pinning the zone keeps the expectation exact.
  struct RereadZone {
    ~RereadZone() { tzset(); }
  } rereadOnceRestored;  // declared first, so it runs after the zone is restored
  ScopedEnvironment zone("TZ", "UTC0");
  tzset();
  MakeWithPython(R"(
ut = struct.pack('<HHBIII', 0x5455, 13, 7, 1000000000, 1100000000, 1200000000)
with zipfile.ZipFile('meta.zip', 'w') as z:
    z.writestr(entry('dos-ro-hidden.txt', system=0, attr=0x23), b'1')
    z.writestr(entry('dos-plain.txt', system=0, attr=0x20), b'2')
    z.writestr(entry('unix-ro.txt', attr=0o100444 << 16), b'3')
    z.writestr(entry('link', attr=0o120777 << 16), b'/etc/passwd')
    z.writestr(entry('ut.txt', extra=b'\x99\x99\x02\x00ab' + ut), b'ut')  # behind a foreign field
)");
  auto archive = OpenInBase("meta.zip");
  ASSERT_NE(archive, nullptr);
  const int64_t dos = 1589718896;  // 2020-05-17 12:34:56
  const std::array<int64_t, 4> expected[] = {  // attributes, write, access, creation
      {0x23, dos, dos, dos}, {0x20, dos, dos, dos}, {0x21, dos, dos, dos}, {0x20, dos, dos, dos},
      {0x20, 1000000000, 1100000000, 1200000000}};
  for (int32_t i = 0; i < 5; ++i) {
    ZipEntryInfo info;
    ASSERT_EQ(archive->GetEntry(i, info), kZipSuccess);
    const auto [attributes, write, access, creation] = expected[i];
    EXPECT_EQ(info.attributes, static_cast<uint32_t>(attributes)) << info.name;
    EXPECT_EQ(info.creationTime, platform::UnixToFileTime(creation)) << info.name;  // kept for the caller
    ASSERT_EQ(archive->ExtractEntry(i, info.name), kZipSuccess) << info.name;
    struct stat status;
    ASSERT_EQ(stat((base_ + "/" + info.name).c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, write) << info.name;
    EXPECT_EQ(status.st_atime, access) << info.name;
  }
  EXPECT_EQ(fs::status(base_ + "/dos-ro-hidden.txt").permissions() & fs::perms::owner_write, fs::perms::none);
  // A link entry becomes a plain file holding the link text, never a link.
  EXPECT_FALSE(fs::is_symlink(base_ + "/link"));
  EXPECT_EQ(FileBytes(base_ + "/link"), "/etc/passwd");
  // A read-only file from an earlier run is replaced.
  EXPECT_EQ(archive->ExtractEntry(1, "dos-ro-hidden.txt"), kZipSuccess);
  EXPECT_EQ(FileBytes(base_ + "/dos-ro-hidden.txt"), "2");
}

}  // namespace
