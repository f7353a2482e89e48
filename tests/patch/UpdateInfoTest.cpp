#include "patch/UpdateInfo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Joins lines with CR LF after each, as the server's files are written.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) text.append(line).append("\r\n");
  return text;
}

std::unique_ptr<UpdateInfo> Loaded(const std::string& text) {
  auto info = std::make_unique<UpdateInfo>();
  EXPECT_TRUE(info->Parse(text));
  info->SetLoadedPath("/install/Temp/Update.NFO");
  return info;
}

const std::string kProperFile = Lines({
    "; announced by the patch publisher",
    "[SolaneLauncher]",
    "VersionMajorHigh=1",
    "VersionMajorLow=0",
    "FileName=Launcher/SolaneLauncher.exe",
    "[SolaneClient]",
    "VersionMajorHigh=2",
    "[Resource]",
    "ResourceCount=2",
    "1_FileName=Data.SPF",
    "1_Version=3",
    "2_FileName=Sound.SPF",
    "2_Version=1",
});

TEST(UpdateInfoTest, LineRules) {
  const auto info = Loaded(
      "[Main]\r\n"
      "Plain=value\r\n"
      "Spaced = value \r\n"
      "\tTab\tbed=a\tb\r\n"
      "Address=http://host/page?a=1;b=2\r\n"
      "Twice=first\r\n"
      "Twice=second\r\n"
      "Empty=\r\n"
      "=novalue\r\n"
      "no equals sign\r\n"
      ";Commented=yes\r\n"
      "Eq=a=b\r\n"
      "\r\n"
      "[Open\r\n"
      "Key=in open\r\n"
      "[Main]\r\n"
      "Twice=third\r\n"
      "Last=no line end");

  auto read = [&](std::string_view section, std::string_view key) {
    return info->ReadString(section, key, "NoData");
  };
  EXPECT_EQ(read("Main", "Plain"), "value");
  EXPECT_EQ(read("Main", "Spaced "), " value ");  // spaces stay part of key and value
  EXPECT_EQ(read("Main", "Spaced"), "NoData");
  EXPECT_EQ(read("Main", "Tabbed"), "ab");         // tabs vanish before parsing
  EXPECT_EQ(read("Main", "Address"), "http://host/page?a=1");
  EXPECT_EQ(read("Main", "Twice"), "first");       // the first of equal keys wins, across sections
  EXPECT_EQ(read("Main", "Empty"), "NoData");
  EXPECT_EQ(read("Main", ""), "NoData");
  EXPECT_EQ(read(";Commented", "yes"), "NoData");
  EXPECT_EQ(read("Main", "Eq"), "a=b");
  EXPECT_EQ(read("Ope", "Key"), "in open");        // no "]": the last letter goes
  EXPECT_EQ(read("Main", "Last"), "NoData");       // text after the last CR LF is ignored
  EXPECT_EQ(info->ReadString("Main", "Missing", "Test.SPF"), "Test.SPF");
}

TEST(UpdateInfoTest, LinesNeedCarriageReturnAndLineFeed) {
  UpdateInfo info;
  info.Parse("[SolaneLauncher]\nVersionMajorHigh=1\nFileName=x\n");
  EXPECT_EQ(info.EntryCount(), 0u);  // bare line feeds: one line, a section line

  info.Parse("[A]\r\nKey=1\r\nMore=2");
  EXPECT_EQ(info.EntryCount(), 1u);

  info.Parse("Key=before any section\r\n[]\r\nKey=empty section\r\n[\r\nKey=still empty\r\n");
  EXPECT_EQ(info.EntryCount(), 0u);
}

TEST(UpdateInfoTest, IntegerConversion) {
  const std::pair<const char*, int32_t> vectors[] = {
      {"42", 42},          {"  17", 17},         {"\v\f\r\n 5", 5},   {"-3", -3},
      {"+8", 8},           {"12abc", 12},        {"abc", 0},          {"-", 0},
      {"+-1", 0},          {" - 1", 0},          {"007", 7},          {"1 2", 1},
      {"2147483647", 2147483647},               {"-2147483648", INT32_MIN},
      {"2147483648", INT32_MAX},                {"-99999999999999999999", INT32_MIN},
      {"4294967295", INT32_MAX},
  };
  for (const auto& [text, expected] : vectors) EXPECT_EQ(ConvertDecimal(text), expected) << text;

  const auto info = Loaded(Lines({"[S]", "Number= 12 apples", "Word=none"}));
  EXPECT_EQ(info->ReadInt("S", "Number", 9), 12);
  EXPECT_EQ(info->ReadInt("S", "Word", 9), 0);
  EXPECT_EQ(info->ReadInt("S", "Missing", 9), 9);
}

TEST(UpdateInfoTest, LongValuesAreCutTo259Characters) {
  const std::string exact(259, 'x');
  const std::string longer = std::string(259, 'y') + "tail";
  const auto info = Loaded(Lines({"[S]", "Exact=" + exact, "Long=" + longer}));
  EXPECT_EQ(info->ReadString("S", "Exact", ""), exact);
  EXPECT_EQ(info->ReadString("S", "Long", ""), longer.substr(0, 259));
  EXPECT_EQ(info->ReadString("S", "Missing", longer).size(), 259u);
}

// Reads give their defaults, and the file is not proper, until it is marked as loaded.
TEST(UpdateInfoTest, Acceptance) {
  UpdateInfo parsedOnly;
  parsedOnly.Parse(kProperFile);
  EXPECT_EQ(parsedOnly.ReadInt("SolaneClient", "VersionMajorHigh", -5), -5);
  EXPECT_FALSE(parsedOnly.IsProper());
  EXPECT_TRUE(Loaded(kProperFile)->IsProper());

  auto replaced = [](std::string_view from, std::string_view to) {
    std::string text = kProperFile;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string improper[] = {
      replaced("ResourceCount=2", "ResourceCount=0"),
      replaced("ResourceCount=2", "ResourceCount=-1"),
      replaced("ResourceCount=2", "ResourceCount=3"),  // entry 3 has no version
      replaced("2_Version=1", "2_Version=0"),
      replaced("[SolaneClient]\r\nVersionMajorHigh=2\r\n", ""),
      replaced("[SolaneLauncher]\r\nVersionMajorHigh=1", "[SolaneLauncher]\r\nVersionMajorHigh=NoData"),
      "",
  };
  for (const std::string& text : improper) EXPECT_FALSE(Loaded(text)->IsProper()) << text;

  EXPECT_FALSE(Loaded(kProperFile)->IsProper([] { return true; }));
}

TEST(UpdateInfoTest, CancelledParseLeavesNoEntries) {
  std::string text = "[S]\r\n";
  for (int i = 0; i < 5000; ++i) text += "Key" + std::to_string(i) + "=v\r\n";
  UpdateInfo info;
  int polls = 0;
  EXPECT_FALSE(info.Parse(text, [&] { return ++polls == 3; }));
  EXPECT_EQ(info.EntryCount(), 0u);
  EXPECT_TRUE(info.Parse(text, [] { return false; }));
  EXPECT_EQ(info.EntryCount(), 5000u);
}

// Readers on other threads see either the old table or the new one while parses replace it.
TEST(UpdateInfoTest, ConcurrentReadersDuringReparse) {
  auto info = Loaded(Lines({"[S]", "Value=old", "Count=1"}));
  std::atomic<bool> stop{false};
  std::atomic<int> odd{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      while (!stop) {
        std::string value = info->ReadString("S", "Value", "none");
        int32_t count = info->ReadInt("S", "Count", 0);
        if ((value != "old" && value != "new") || count < 1 || count > 2) ++odd;
      }
    });
  for (int i = 0; i < 300; ++i)
    info->Parse(i % 2 ? Lines({"[S]", "Value=old", "Count=1"}) : Lines({"[S]", "Value=new", "Count=2"}));
  stop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(odd.load(), 0);
}

TEST(UpdateInfoTest, ServerTextDecoding) {
  const std::string none = "\xec\x97\x86\xec\x9d\x8c";  // the Korean "none" marker in UTF-8
  struct Vector {
    std::string body;
    int locale;
    std::string expected;
  };
  const Vector vectors[] = {
      {"VersionDesc=" + none, 1, "VersionDesc=" + none},     // UTF-8 stays as it is
      {"\xef\xbb\xbf[S]", 2, "[S]"},                         // its byte-order mark goes
      {"VersionDesc=\xbe\xf8\xc0\xbd", 1, "VersionDesc=" + none},             // CP949
      {"\x83\x65\x83\x58\x83\x67", 2, "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88"},  // CP932 "test"
      {"\xd6\xd0\xce\xc4", 3, "\xe4\xb8\xad\xe6\x96\x87"},                   // CP936
      {"caf\xe9", 4, "caf\xc3\xa9"},                                         // CP1252
      {"caf\xe9", 9, "caf\xc3\xa9"},
      {"ok\xbe", 1, "ok\xef\xbf\xbd"},  // a cut-off double-byte character becomes U+FFFD
  };
  for (const Vector& v : vectors) EXPECT_EQ(DecodeServerText(v.body, v.locale), v.expected) << v.body;
}

TEST(UpdateInfoTest, SafeInstallNames) {
  const std::pair<const char*, bool> vectors[] = {
      {"Data.SPF", true},         {"Sound\\Voice.SPF", true}, {"a/b/../c.dat", true},
      {"./x", true},              {"", false},                {"..\\SolaneLauncher.CFG", false},
      {"a/../../b", false},       {"/etc/passwd", false},     {"\\Windows\\win.ini", false},
      {"C:\\Windows\\x.dll", false}, {"c:x", false},          {".", false},
      {"Data/..", false},         {"\\\\server\\share\\x", false},
  };
  for (const auto& [name, safe] : vectors) EXPECT_EQ(IsSafeInstallName(name), safe) << name;
  EXPECT_FALSE(IsSafeInstallName(std::string_view("a\0/../../b", 10)));
}

}  // namespace
