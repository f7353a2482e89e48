#include "patch/UpdateInfo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/ScratchDir.h"

namespace {

std::unique_ptr<UpdateInfo> Loaded(const std::string& text) {
  auto info = std::make_unique<UpdateInfo>();
  EXPECT_TRUE(info->Parse(text));
  info->SetLoadedPath("/install/Temp/Update.NFO");
  return info;
}

TEST(UpdateInfoTest, LineRules) {
  const std::string exact(259, 'x'), longer = std::string(259, 'y') + "tail";
  const auto info = Loaded(
      "[Main]\r\nSpaced = value \r\n\tTab\tbed=a\tb\r\nAddress=http://host/page?a=1;b=2\r\n"
      "Twice=first\r\nTwice=second\r\nEmpty=\r\n;Commented=yes\r\nEq=a=b\r\nExact=" + exact + "\r\nLong=" + longer +
      "\r\n[Open\r\nKey=in open\r\n[Main]\r\nTwice=third\r\nLast=no line end");
  // Spaces stay part of keys and values, tabs vanish, ";" ends a value, the first of equal keys
  // wins across sections, values (and defaults) are cut to 259 characters, a section without
  // "]" loses its last letter, text after the last CR LF is ignored.
  const std::tuple<const char*, const char*, std::string> reads[] = {
      {"Main", "Spaced ", " value "}, {"Main", "Spaced", "NoData"}, {"Main", "Tabbed", "ab"},
      {"Main", "Address", "http://host/page?a=1"}, {"Main", "Twice", "first"}, {"Main", "Empty", "NoData"},
      {"Main", ";Commented", "NoData"}, {"Main", "Eq", "a=b"}, {"Main", "Exact", exact}, {"Main", "Long", longer.substr(0, 259)},
      {"Ope", "Key", "in open"}, {"Main", "Last", "NoData"},
  };
  for (const auto& [section, key, value] : reads) EXPECT_EQ(info->ReadString(section, key, "NoData"), value) << key;
  EXPECT_EQ(info->ReadString("Main", "Missing", longer).size(), 259u);

  UpdateInfo bare;  // bare line feeds: one line, a section line
  bare.Parse("[SolaneLauncher]\nVersionMajorHigh=1\nFileName=x\n");
  EXPECT_EQ(bare.EntryCount(), 0u);
}

TEST(UpdateInfoTest, IntegerConversion) {
  const std::pair<const char*, int32_t> vectors[] = {
      {"  17", 17}, {"-3", -3}, {"+8", 8}, {"12abc", 12}, {"abc", 0}, {"+-1", 0},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"2147483648", INT32_MAX},
      {"-99999999999999999999", INT32_MIN},
  };
  for (const auto& [text, expected] : vectors) EXPECT_EQ(ConvertDecimal(text), expected) << text;

  const auto info = Loaded(WithCrLf("[S]\nNumber= 12 apples\n"));
  EXPECT_EQ(info->ReadInt("S", "Number", 9), 12);
  EXPECT_EQ(info->ReadInt("S", "Missing", 9), 9);
}

// Reads give their defaults, and the file is not proper, until it is marked as loaded.
TEST(UpdateInfoTest, Acceptance) {
  const std::string proper = WithCrLf("[SolaneLauncher]\nVersionMajorHigh=1\n[SolaneClient]\nVersionMajorHigh=2\n"
                                      "[Resource]\nResourceCount=2\n1_FileName=Data.SPF\n1_Version=3\n"
                                      "2_FileName=Sound.SPF\n2_Version=1\n");
  UpdateInfo parsedOnly;
  parsedOnly.Parse(proper);
  EXPECT_EQ(parsedOnly.ReadInt("SolaneClient", "VersionMajorHigh", -5), -5);
  EXPECT_FALSE(parsedOnly.IsProper());
  EXPECT_TRUE(Loaded(proper)->IsProper());
  EXPECT_FALSE(Loaded(proper)->IsProper([] { return true; }));

  auto replaced = [&](std::string_view from, std::string_view to) {
    return std::string(proper).replace(proper.find(from), from.size(), to);
  };
  for (const std::string& improper : {replaced("ResourceCount=2", "ResourceCount=0"),
                                      replaced("ResourceCount=2", "ResourceCount=3"),  // entry 3 has no version
                                      replaced("2_Version=1", "2_Version=0"),
                                      replaced("[SolaneClient]\r\nVersionMajorHigh=2\r\n", ""), std::string()})
    EXPECT_FALSE(Loaded(improper)->IsProper()) << improper;
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
  const std::string versions[] = {"[S]\r\nValue=old\r\nCount=1\r\n", "[S]\r\nValue=new\r\nCount=2\r\n"};
  auto info = Loaded(versions[0]);
  std::atomic<bool> stop{false};
  std::atomic<int> odd{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      while (!stop) {
        const std::string value = info->ReadString("S", "Value", "none");
        if ((value != "old" && value != "new") || info->ReadInt("S", "Count", 0) < 1) ++odd;
      }
    });
  for (int i = 0; i < 300; ++i) info->Parse(versions[i % 2]);
  stop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(odd.load(), 0);
}

TEST(UpdateInfoTest, ServerTextDecoding) {
  const std::string none = "\xec\x97\x86\xec\x9d\x8c";  // the Korean "none" marker in UTF-8
  const std::tuple<std::string, int, std::string> vectors[] = {
      {"VersionDesc=" + none, 1, "VersionDesc=" + none},          // UTF-8 stays as it is
      {"\xef\xbb\xbf[S]", 2, "[S]"},                              // its byte-order mark goes
      {"VersionDesc=\xbe\xf8\xc0\xbd", 1, "VersionDesc=" + none},  // CP949
      {"caf\xe9", 4, "caf\xc3\xa9"},                              // CP1252
      {"ok\xbe", 1, "ok\xef\xbf\xbd"},  // a cut-off double-byte character becomes U+FFFD
  };
  for (const auto& [body, locale, expected] : vectors) EXPECT_EQ(DecodeServerText(body, locale), expected) << body;
}

TEST(UpdateInfoTest, SafeInstallNames) {
  const std::pair<const char*, bool> vectors[] = {
      {"Sound\\Voice.SPF", true}, {"a/b/../c.dat", true}, {"", false},           {"..\\SolaneLauncher.CFG", false},
      {"a/../../b", false},       {"/etc/passwd", false}, {"\\Windows\\x", false}, {"C:\\Windows\\x.dll", false},
      {"c:x", false},             {"Data/..", false},
  };
  for (const auto& [name, safe] : vectors) EXPECT_EQ(IsSafeInstallName(name), safe) << name;
  EXPECT_FALSE(IsSafeInstallName(std::string_view("a\0/../../b", 10)));
}

}  // namespace
