#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/Profiles.h"
#include "platform/ProfileFile.h"
#include "platform/ProfileText.h"
#include "platform/ScriptedMessageBox.h"
#include "servers/RandomServerIndex.h"
#include "servers/ServerFile.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

LoginServerEntry Server(const std::string& name, const std::string& ip, const std::string& label, int selected = 0,
                        int latencyMs = 0) {
  return LoginServerEntry{name, ip, label, selected, latencyMs};
}

// "name/ip/label*" per entry, "*" marking a selected one, with the latency after "@" when set.
std::string Describe(const LoginServerEntry& entry) {
  std::string text = entry.name + "/" + entry.ip + "/" + entry.label + (entry.selected == 1 ? "*" : "");
  return entry.latencyMs != 0 ? text + "@" + std::to_string(entry.latencyMs) : text;
}

std::string WithBlock(std::string text, const std::string& key, const std::vector<uint8_t>& block) {
  return platform::SetProfileValue(text, kServerFileSection, key, platform::EncodeProfileStruct(block.data(), block.size()));
}

std::string WithHeader(const std::string& text, const std::string& label, int32_t marker, int32_t count) {
  return WithBlock(text, "Server", EncodeServerHeader({label, marker, count}));
}

class ServerList : public ::testing::Test {
 protected:
  void SetUp() override {
    boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes_);
    Engine().SetLocale(kLocaleUsa);
    Engine().AttachWindow(&window_);
  }
  void TearDown() override {
    Engine().AttachWindow(nullptr);
    platform::SetMessageBoxProvider(nullptr);
  }

  PatchEngine& Engine() { return install_.Engine(); }

  // Update.NFO with the given sections.
  void Announce(const std::string& text) {
    ASSERT_TRUE(Engine().MutableInfo().Parse(text));
    Engine().MutableInfo().SetLoadedPath(install_.Path("Temp/Update.NFO"));
  }
  static std::string ListSection(int count, const std::vector<std::string>& entryLines) {
    std::string text = "[LoginServerList]\r\nLoginServerListCount=" + std::to_string(count) + "\r\n";
    for (const std::string& line : entryLines) text += line + "\r\n";
    return text;
  }
  // Positions 1..n named sN, labelled LN, at address 10.0.0.N (or the address given).
  static std::vector<std::string> Positions(int count, const std::string& ipPrefix = "10.0.0.") {
    std::vector<std::string> lines;
    for (int n = 1; n <= count; ++n) {
      const std::string k = std::to_string(n);
      lines.insert(lines.end(), {k + "_Name=s" + k, k + "_Label=L" + k, k + "_IP=" + ipPrefix + k});
    }
    return lines;
  }

  std::vector<std::string> List() {
    std::vector<std::string> described;
    for (int i = 0; i < Engine().EntryCount(); ++i) described.push_back(Describe(*Engine().EntryAt(i)));
    return described;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes_->Shown()) texts.push_back(box.text);
    return texts;
  }

  TestInstallation install_;
  RecordingWindow window_;
  std::shared_ptr<platform::ScriptedMessageBox> boxes_;
};

TEST(ServerFileTest, Blocks) {
  const std::vector<uint8_t> header = EncodeServerHeader({"EU-1", 100, 0x01020304});
  ASSERT_EQ(header.size(), kServerHeaderSize);
  EXPECT_EQ(std::string(header.begin(), header.begin() + 5), std::string("EU-1\0", 5));
  EXPECT_EQ(std::vector<uint8_t>(header.begin() + 260, header.end()), (std::vector<uint8_t>{100, 0, 0, 0, 4, 3, 2, 1}));
  const auto decoded = DecodeServerHeader(EncodeServerHeader({"x", -7, -1}));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->selectedLabel, "x");
  EXPECT_EQ(decoded->marker, -7);
  EXPECT_EQ(decoded->count, -1);

  // Texts are cut to 259 characters, and a field without a terminator reads as 259 characters.
  const std::string longText(300, 'n');
  const auto record = DecodeServerRecord(EncodeServerRecord(Server(longText, "1.2.3.4:5", "")));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->name, longText.substr(0, 259));
  EXPECT_EQ(record->ip, "1.2.3.4:5");
  EXPECT_EQ(record->label, "");
  const auto unterminated = DecodeServerRecord(std::vector<uint8_t>(kServerRecordSize, 'A'));
  ASSERT_TRUE(unterminated);
  EXPECT_EQ(unterminated->label, std::string(259, 'A'));

  EXPECT_FALSE(DecodeServerHeader(std::vector<uint8_t>(kServerHeaderSize - 1)));
  EXPECT_FALSE(DecodeServerRecord(std::vector<uint8_t>(kServerRecordSize + 1)));
}

TEST(ServerFileTest, UnusableFilesAreIgnored) {
  const std::string records = WithBlock("", "1_Server", EncodeServerRecord(Server("a", "1.1.1.1", "A")));
  std::string badChecksum = WithHeader(records, "A", 100, 1);
  const size_t headerEnd = badChecksum.rfind("\r\n");
  badChecksum[headerEnd - 1] = badChecksum[headerEnd - 1] == '0' ? '1' : '0';
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"no header", records},
      {"checksum", badChecksum},
      {"marker", WithHeader(records, "A", 99, 1)},
      {"count 0", WithHeader(records, "A", 100, 0)},
      {"negative count", WithHeader(records, "A", 100, -1)},
      {"short header", WithBlock(records, "Server", std::vector<uint8_t>(kServerHeaderSize - 4))},
      {"other section", "[Servers]\r\nServer=" + WithHeader("", "", 100, 1).substr(WithHeader("", "", 100, 1).find('=') + 1)},
  };
  for (const auto& [name, text] : vectors) EXPECT_FALSE(ParseServerFile(text)) << name;
  ASSERT_TRUE(ParseServerFile(WithHeader(records, "A", 100, 1)));
}

TEST(ServerFileTest, EntriesAndSelection) {
  std::string text;
  text = WithBlock(text, "1_Server", EncodeServerRecord(Server("a", "1.1.1.1", "A")));
  text = WithBlock(text, "2_Server", EncodeServerRecord(Server("b", "2.2.2.2", "")));
  text = platform::SetProfileValue(text, kServerFileSection, "3_Server", "00");  // unreadable: skipped
  text = WithBlock(text, "4_Server", EncodeServerRecord(Server("d", "4.4.4.4", "A")));

  auto describe = [](const std::optional<std::vector<LoginServerEntry>>& entries) {
    std::vector<std::string> described;
    for (const LoginServerEntry& entry : entries.value_or(std::vector<LoginServerEntry>{}))
      described.push_back(Describe(entry));
    return described;
  };
  // Every entry with the stored label is selected; a missing key (5) is skipped like a bad one.
  EXPECT_EQ(describe(ParseServerFile(WithHeader(text, "A", 100, 5))),
            (std::vector<std::string>{"a/1.1.1.1/A*", "b/2.2.2.2/", "d/4.4.4.4/A*"}));
  // No stored label selects nothing, not even an entry without a label; an unknown one neither.
  EXPECT_EQ(describe(ParseServerFile(WithHeader(text, "", 100, 4))),
            (std::vector<std::string>{"a/1.1.1.1/A", "b/2.2.2.2/", "d/4.4.4.4/A"}));
  EXPECT_EQ(describe(ParseServerFile(WithHeader(text, "Z", 100, 4))),
            (std::vector<std::string>{"a/1.1.1.1/A", "b/2.2.2.2/", "d/4.4.4.4/A"}));
  // The count limits the keys read; a huge count reads what is there.
  EXPECT_EQ(describe(ParseServerFile(WithHeader(text, "", 100, 1))), (std::vector<std::string>{"a/1.1.1.1/A"}));
  EXPECT_EQ(describe(ParseServerFile(WithHeader(text, "", 100, INT32_MAX))).size(), 3u);
}

TEST_F(ServerList, SaveAndLoadKeepListAndSelection) {
  Engine().AddEntry(Server("first", "10.0.0.1:7000", "one", 1, 35));
  Engine().AddEntry(Server(std::string(300, 'x'), "host.example", "two"));
  Engine().AddEntry(Server("third", "10.0.0.3", "three", 1, 1000));
  install_.WriteFile("SERVER.DAT", "[SERVER.DAT]\r\n9_Server=stale\r\n");
  Engine().SaveServerFile();
  EXPECT_EQ(install_.ReadFile("SERVER.DAT").find("9_Server"), std::string::npos);  // written from scratch
  EXPECT_FALSE(std::filesystem::exists(install_.Path("SERVER.DAT.new")));

  PatchEngine::Destroy();
  Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
  Engine().SetLocale(kLocaleChina);
  Engine().LoadServerFile();
  // The last selected entry wins; latencies are not stored.
  EXPECT_EQ(List(), (std::vector<std::string>{"first/10.0.0.1:7000/one", std::string(259, 'x') + "/host.example/two",
                                              "third/10.0.0.3/three*"}));
  EXPECT_EQ(Engine().LoginServer(), "");  // chosen only when the window shows or clicks the row

  // A damaged file on a later start leaves the list as it was.
  install_.WriteFile("SERVER.DAT", "[SERVER.DAT]\r\nServer=00\r\n");
  Engine().LoadServerFile();
  EXPECT_EQ(Engine().EntryCount(), 3);
}

TEST_F(ServerList, SaveLeavesTheFileAloneWithoutAList) {
  install_.WriteFile("SERVER.DAT", "kept");
  Engine().SaveServerFile();
  EXPECT_EQ(install_.ReadFile("SERVER.DAT"), "kept");

  // A locale without the list neither writes nor reads the file.
  Engine().AddEntry(Server("a", "1.1.1.1", "A", 1));
  Engine().SetLocale(kLocaleKorea);
  Engine().SaveServerFile();
  EXPECT_EQ(install_.ReadFile("SERVER.DAT"), "kept");
  install_.WriteFile("SERVER.DAT", ComposeServerFile({Server("b", "2.2.2.2", "B"), Server("c", "3.3.3.3", "C")}));
  Engine().LoadServerFile();
  EXPECT_EQ(List(), (std::vector<std::string>{"a/1.1.1.1/A*"}));
}

TEST_F(ServerList, MergeMatchesByPosition) {
  Announce(ListSection(3, Positions(3)));
  Engine().MergeServerList();
  EXPECT_EQ(List(), (std::vector<std::string>{"s1/10.0.0.1/L1", "s2/10.0.0.2/L2", "s3/10.0.0.3/L3"}));

  // A changed address keeps the selection, loses the latency, and becomes the chosen server.
  ASSERT_TRUE(Engine().SelectEntry(1));
  for (int i = 0; i < 3; ++i) Engine().SetEntryLatency(i, "10.0.0." + std::to_string(i + 1), 40 + i);
  Announce(ListSection(3, Positions(3, "10.0.9.")));
  std::vector<std::string> changed = Positions(3);
  changed[7] = "3_Label=L3-new";
  changed[5] = "2_IP=10.0.9.2";
  Announce(ListSection(3, changed));
  Engine().MergeServerList();
  EXPECT_EQ(List(), (std::vector<std::string>{"s1/10.0.0.1/L1@40", "s2/10.0.9.2/L2*", "s3/10.0.0.3/L3-new@42"}));
  EXPECT_EQ(Engine().LoginServer(), "10.0.9.2");
  // A measurement of the old address arrives late and is dropped.
  Engine().SetEntryLatency(1, "10.0.0.2", 41);
  EXPECT_EQ(Describe(*Engine().EntryAt(1)), "s2/10.0.9.2/L2*");

  // A position with a missing key keeps its old entry.
  std::vector<std::string> missingIp = Positions(3, "10.0.7.");
  missingIp.erase(missingIp.begin() + 2);
  Announce(ListSection(3, missingIp));
  Engine().MergeServerList();
  EXPECT_EQ(List(), (std::vector<std::string>{"s1/10.0.0.1/L1@40", "s2/10.0.7.2/L2*", "s3/10.0.7.3/L3"}));

  // Fewer servers drop the surplus; the selection survives when its entry does.
  Announce(ListSection(2, Positions(2, "10.0.7.")));
  Engine().MergeServerList();
  EXPECT_EQ(Engine().EntryCount(), 2);
  EXPECT_EQ(Engine().LoginServer(), "10.0.7.2");
  Announce(ListSection(1, Positions(1, "10.0.7.")));
  Engine().MergeServerList();
  EXPECT_EQ(List(), (std::vector<std::string>{"s1/10.0.7.1/L1"}));
  EXPECT_EQ(Engine().LoginServer(), "");
  EXPECT_FALSE(Engine().SelectEntry(1));  // no entry: nothing changes
  EXPECT_EQ(Engine().LoginServer(), "");
}

TEST_F(ServerList, MergeIntoAShorterListAppendsCompletePositionsOnly) {
  Engine().AddEntry(Server("old", "9.9.9.9", "O", 1, 7));
  std::vector<std::string> lines = Positions(4);
  lines.erase(lines.begin() + 3);  // position 2 has no name
  Announce(ListSection(4, lines));
  Engine().MergeServerList();
  EXPECT_EQ(List(), (std::vector<std::string>{"s1/10.0.0.1/L1*", "s3/10.0.0.3/L3", "s4/10.0.0.4/L4"}));

  // A count below 1 changes nothing.
  Announce(ListSection(-3, Positions(1, "10.9.9.")));
  Engine().MergeServerList();
  EXPECT_EQ(Engine().EntryCount(), 3);
}

TEST_F(ServerList, SelectionIsExclusive) {
  for (const char* label : {"A", "B", "A"}) Engine().AddEntry(Server(label, std::string("ip-") + label, label, 1));
  ASSERT_TRUE(Engine().SelectEntry(1));
  EXPECT_EQ(List(), (std::vector<std::string>{"A/ip-A/A", "B/ip-B/B*", "A/ip-A/A"}));
  EXPECT_EQ(Engine().LoginServer(), "ip-B");
  Engine().ClearServerSelection();
  EXPECT_EQ(List(), (std::vector<std::string>{"A/ip-A/A", "B/ip-B/B", "A/ip-A/A"}));
  EXPECT_FALSE(Engine().EntryAt(3));
  EXPECT_FALSE(Engine().EntryAt(-1));
}

TEST_F(ServerList, RefreshWithAListInAListLocale) {
  Engine().SetProbePassDone(true);
  window_.ShowServerRows(5);
  Announce(ListSection(2, Positions(2)) + "[LoginServer]\r\nLoginServerCount=1\r\n1_IP=7.7.7.7\r\n");
  Engine().RefreshLoginServers();
  EXPECT_EQ(Engine().EntryCount(), 2);
  EXPECT_EQ(window_.FirstServerRow(), -1);
  EXPECT_TRUE(Engine().IsListRefreshed());
  EXPECT_FALSE(Engine().IsProbePassDone());
  EXPECT_FALSE(Engine().IsListLoading());
  EXPECT_EQ(Engine().LoginServer(), "");  // the player picks
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(ServerList, RefreshWithAListElsewhereChoosesNothing) {
  Announce(ListSection(2, Positions(2)) + "[LoginServer]\r\nLoginServerCount=1\r\n1_IP=7.7.7.7\r\n");
  Engine().SetLocale(kLocaleKorea);
  Engine().RefreshLoginServers();
  Engine().SetLocale(kLocaleUsa);
  Engine().AttachWindow(nullptr);  // a list locale without a window does nothing either
  Engine().RefreshLoginServers();
  EXPECT_EQ(Engine().EntryCount(), 0);
  EXPECT_EQ(Engine().LoginServer(), "");
  EXPECT_FALSE(Engine().IsListRefreshed());
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(ServerList, RefreshWithoutAListPicksAtRandom) {
  for (int locale : {kLocaleKorea, kLocaleUsa}) {
    Engine().SetLocale(locale);
    Announce(ListSection(0, Positions(2)) +
             "[LoginServer]\r\nLoginServerCount=3\r\n1_IP=1.1.1.1\r\n2_IP=2.2.2.2\r\n3_IP=3.3.3.3:99\r\n");
    Engine().RefreshLoginServers();
    EXPECT_TRUE((std::set<std::string>{"1.1.1.1", "2.2.2.2", "3.3.3.3:99"}).count(Engine().LoginServer()));
    EXPECT_EQ(Engine().EntryCount(), 0);
    EXPECT_FALSE(Engine().IsListRefreshed());
  }
  // A negative list count announces no server either.
  Announce(ListSection(-1, Positions(2)) + "[LoginServer]\r\nLoginServerCount=1\r\n1_IP=4.4.4.4\r\n");
  Engine().RefreshLoginServers();
  EXPECT_EQ(Engine().LoginServer(), "4.4.4.4");
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST(RandomServerIndexTest, EveryDrawLandsOnAnAddress) {
  for (int count = 1; count <= 5; ++count) {
    std::set<int> reached;
    for (int draw = 0; draw <= kRandomDrawMax; ++draw) {
      const int index = RandomServerIndex(draw, count);
      ASSERT_GE(index, 1) << draw << " of " << count;
      ASSERT_LE(index, count) << draw << " of " << count;
      reached.insert(index);
    }
    EXPECT_EQ(reached.size(), static_cast<size_t>(count));
  }
  EXPECT_EQ(RandomServerIndex(0, 5), 1);
  EXPECT_EQ(RandomServerIndex(kRandomDrawMax, 5), 5);
  EXPECT_EQ(RandomServerIndex(16384, 2), 1);  // 16384 * 19999 / 32767 = 9999.8
  EXPECT_EQ(RandomServerIndex(16385, 2), 2);
  EXPECT_EQ(RandomServerIndex(kRandomDrawMax, INT_MAX), INT_MAX);
  EXPECT_EQ(RandomServerIndex(100, 0), 0);
  EXPECT_EQ(RandomServerIndex(100, -4), 0);
}

TEST_F(ServerList, RandomPickWithoutAnAddressWarns) {
  const std::string bad = LoadCatalogueString(166);
  ASSERT_EQ(bad, "Can't access the server since the server information is not alright.");
  Engine().SetLoginServer("left over");
  Announce("[LoginServer]\r\nLoginServerCount=0\r\n1_IP=1.1.1.1\r\n");
  EXPECT_EQ(Engine().PickRandomLoginServer("LoginServer"), 0);
  EXPECT_EQ(Engine().LoginServer(), "");
  Announce("[LoginServer]\r\nLoginServerCount=1\r\n2_IP=1.1.1.1\r\n");
  EXPECT_EQ(Engine().PickRandomLoginServer("LoginServer"), 0);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{bad, bad}));

  Engine().SetCancel(true, true);
  EXPECT_EQ(Engine().PickRandomLoginServer("LoginServer"), 0);
  EXPECT_EQ(boxes_->Shown().size(), 2u);

  Announce("[LoginServer]\r\nLoginServerCount=1\r\n1_IP=5.5.5.5\r\n");
  EXPECT_EQ(Engine().PickRandomLoginServer("LoginServer"), 1);
  EXPECT_EQ(Engine().LoginServer(), "5.5.5.5");
}

// The update thread merges lists of alternating length while the window and the probe select,
// measure and read entries. Latencies are derived from the address, so a measurement written into
// a replaced entry shows up as a mismatch.
TEST_F(ServerList, ConcurrentMergeSelectAndMeasure) {
  auto latencyFor = [](const std::string& ip) { return static_cast<int>(std::hash<std::string>{}(ip) % 900) + 1; };
  const std::string longText = ListSection(6, Positions(6, "10.1.0."));
  const std::string shortText = ListSection(2, Positions(2, "10.2.0."));

  std::atomic<bool> done{false};
  std::atomic<int> mismatches{0};
  std::thread window([&] {
    for (unsigned turn = 0; !done.load(); ++turn) {
      const int index = static_cast<int>(turn % 7);
      if (turn % 5 == 0) Engine().SelectEntry(index);
      if (std::optional<LoginServerEntry> entry = Engine().EntryAt(index)) {
        if (entry->latencyMs != 0 && entry->latencyMs != latencyFor(entry->ip)) ++mismatches;
        Engine().SetEntryLatency(index, entry->ip, latencyFor(entry->ip));
      }
      Engine().EntryCount();
    }
  });
  for (int round = 0; round < 2000; ++round) {
    Announce(round % 2 == 0 ? longText : shortText);
    Engine().MergeServerList();
  }
  done = true;
  window.join();

  EXPECT_EQ(mismatches.load(), 0);
  const std::vector<std::string> list = List();
  const auto selected = std::count_if(list.begin(), list.end(), [](const std::string& row) {
    return row.find('*') != std::string::npos;
  });
  ASSERT_LE(selected, 1);
  if (selected == 0) EXPECT_EQ(Engine().LoginServer(), "");
  for (int i = 0; i < Engine().EntryCount(); ++i)
    if (Engine().EntryAt(i)->selected == 1) EXPECT_EQ(Engine().LoginServer(), Engine().EntryAt(i)->ip);
}

}  // namespace
