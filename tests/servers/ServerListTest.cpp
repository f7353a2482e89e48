#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <set>
#include <thread>

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

using Rows = std::vector<std::string>;

LoginServerEntry Server(const std::string& name, const std::string& ip, const std::string& label, int selected = 0) {
  return LoginServerEntry{name, ip, label, selected, 0};
}

// "name/ip/label", then "*" for a selected entry and "@latency" for a measured one.
std::string Describe(const LoginServerEntry& entry) {
  std::string text = entry.name + "/" + entry.ip + "/" + entry.label + (entry.selected == 1 ? "*" : "");
  return entry.latencyMs != 0 ? text + "@" + std::to_string(entry.latencyMs) : text;
}

Rows Parsed(const std::string& text) {
  Rows rows;
  for (const LoginServerEntry& entry : ParseServerFile(text).value_or(std::vector<LoginServerEntry>{}))
    rows.push_back(Describe(entry));
  return rows;
}

std::string WithBlock(const std::string& text, const std::string& key, const std::vector<uint8_t>& block) {
  return platform::SetProfileValue(text, kServerFileSection, key, platform::EncodeProfileStruct(block.data(), block.size()));
}

std::string WithHeader(const std::string& text, const std::string& label, int32_t marker, int32_t count) {
  return WithBlock(text, "Server", EncodeServerHeader({label, marker, count}));
}

// Update.NFO's list section with positions 1..count named sN, labelled LN, at <prefix>N.
std::string ListSection(int count, const std::string& prefix = "10.0.0.", int positions = -1) {
  std::string text = "[LoginServerList]\r\nLoginServerListCount=" + std::to_string(count) + "\r\n";
  for (int n = 1; n <= (positions < 0 ? count : positions); ++n) {
    const std::string k = std::to_string(n);
    text += k + "_Name=s" + k + "\r\n" + k + "_Label=L" + k + "\r\n" + k + "_IP=" + prefix + k + "\r\n";
  }
  return text;
}

TEST(ServerFileTest, BlocksKeepTheirLayoutAndCutUnterminatedTexts) {
  const std::vector<uint8_t> header = EncodeServerHeader({"EU-1", 100, 0x01020304});
  ASSERT_EQ(header.size(), kServerHeaderSize);
  EXPECT_EQ(std::vector<uint8_t>(header.begin() + 260, header.end()), (std::vector<uint8_t>{100, 0, 0, 0, 4, 3, 2, 1}));
  EXPECT_EQ(DecodeServerRecord(std::vector<uint8_t>(kServerRecordSize, 'A'))->label, std::string(259, 'A'));
  EXPECT_FALSE(DecodeServerRecord(std::vector<uint8_t>(kServerRecordSize + 1)));
}

TEST(ServerFileTest, EntriesWithTheStoredLabelAreSelectedAndUnusableHeadersIgnoreTheFile) {
  std::string text = WithBlock("", "1_Server", EncodeServerRecord(Server("a", "1.1.1.1", "A")));
  text = platform::SetProfileValue(text, kServerFileSection, "2_Server", "00");  // unreadable: skipped
  text = WithBlock(text, "3_Server", EncodeServerRecord(Server("c", "3.3.3.3", "")));
  text = WithBlock(text, "4_Server", EncodeServerRecord(Server("d", "4.4.4.4", "A")));

  // A missing key (5) is skipped like a bad one; no stored label selects nothing, not even an
  // entry without a label.
  EXPECT_EQ(Parsed(WithHeader(text, "A", 100, 5)), (Rows{"a/1.1.1.1/A*", "c/3.3.3.3/", "d/4.4.4.4/A*"}));
  EXPECT_EQ(Parsed(WithHeader(text, "", 100, 3)), (Rows{"a/1.1.1.1/A", "c/3.3.3.3/"}));

  std::string badChecksum = WithHeader(text, "A", 100, 4);
  char& lastDigit = badChecksum[badChecksum.size() - 3];
  lastDigit = lastDigit == '0' ? '1' : '0';
  for (const std::string& unusable : {text, badChecksum, WithHeader(text, "A", 99, 4), WithHeader(text, "A", 100, 0),
                                      WithBlock(text, "Server", {100, 0, 0, 0})})
    EXPECT_FALSE(ParseServerFile(unusable)) << unusable.substr(unusable.rfind("Server="));
}

class ServerList : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxProvider(boxes_);
    Engine().SetLocale(kLocaleUsa);
  }
  void TearDown() override { platform::SetMessageBoxProvider(nullptr); }

  PatchEngine& Engine() { return install_.Engine(); }
  // A new engine on the same installation, as in the next run.
  PatchEngine& NextRun(int locale) {
    PatchEngine::Destroy();
    Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
    Engine().SetLocale(locale);
    return Engine();
  }
  void Announce(const std::string& text) {
    ASSERT_TRUE(Engine().MutableInfo().Parse(text));
    Engine().MutableInfo().SetLoadedPath(install_.Path("Temp/Update.NFO"));
  }
  void Merge(const std::string& text) {
    Announce(text);
    Engine().MergeServerList();
  }
  Rows List() {
    Rows rows;
    for (int i = 0; i < Engine().EntryCount(); ++i) rows.push_back(Describe(*Engine().EntryAt(i)));
    return rows;
  }

  TestInstallation install_;
  std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
};

TEST_F(ServerList, SavedOnlyWhereTheLocaleHasAListAndLoadedWithTheLastChoice) {
  install_.WriteFile("SERVER.DAT", "kept");
  Engine().AddEntry(Server("first", "10.0.0.1:7000", "one", 1));
  Engine().AddEntry(Server(std::string(300, 'x'), "host.example", "two"));
  Engine().AddEntry(Server("third", "10.0.0.3", "three", 1));
  Engine().SetLocale(kLocaleKorea);
  Engine().SaveServerFile();
  EXPECT_EQ(install_.ReadFile("SERVER.DAT"), "kept");

  Engine().SetLocale(kLocaleUsa);
  Engine().SaveServerFile();
  NextRun(kLocaleChina).LoadServerFile();
  // The chosen server waits for the window to show or click it.
  EXPECT_EQ(List(), (Rows{"first/10.0.0.1:7000/one", std::string(259, 'x') + "/host.example/two", "third/10.0.0.3/three*"}));
  EXPECT_EQ(Engine().LoginServer(), "");
  EXPECT_EQ(Engine().ChooseShownSelection(0, 2), -1);
  EXPECT_EQ(Engine().LoginServer(), "");
  EXPECT_EQ(Engine().ChooseShownSelection(1, 17), 2);
  EXPECT_EQ(Engine().LoginServer(), "10.0.0.3");
}

TEST_F(ServerList, MergeMatchesByPosition) {
  Merge(ListSection(3));
  ASSERT_TRUE(Engine().SelectEntry(1));
  for (int i = 0; i < 3; ++i) Engine().SetEntryLatency(i, "10.0.0." + std::to_string(i + 1), 40 + i);

  // A changed address keeps the selection and loses the latency; the chosen server follows it.
  // A late measurement of the old address is dropped. A position missing a key keeps its entry.
  std::string changed = ListSection(3, "10.0.7.");
  changed.replace(changed.find("1_IP=10.0.7.1"), 13, "1_Ip_=missing");
  Merge(changed);
  Engine().SetEntryLatency(1, "10.0.0.2", 99);
  EXPECT_EQ(List(), (Rows{"s1/10.0.0.1/L1@40", "s2/10.0.7.2/L2*", "s3/10.0.7.3/L3"}));
  EXPECT_EQ(Engine().LoginServer(), "10.0.7.2");

  // Fewer servers drop the surplus, and with a dropped selection the chosen server empties.
  Merge(ListSection(1, "10.0.7."));
  EXPECT_EQ(List(), (Rows{"s1/10.0.7.1/L1"}));
  EXPECT_EQ(Engine().LoginServer(), "");

  // Into a shorter list, incomplete positions append nothing; a count below 1 changes nothing.
  std::string gap = ListSection(4);
  gap.erase(gap.find("2_Name="), 11);
  Merge(gap);
  EXPECT_EQ(List(), (Rows{"s1/10.0.0.1/L1", "s3/10.0.0.3/L3", "s4/10.0.0.4/L4"}));
  Merge(ListSection(-3, "10.9.9.", 1));
  EXPECT_EQ(Engine().EntryCount(), 3);
}

TEST_F(ServerList, RefreshFillsTheListOrPicksARandomAddressAndWarnsWithoutOne) {
  const std::string randomPick = "[LoginServer]\r\nLoginServerCount=3\r\n1_IP=1.1.1.1\r\n2_IP=2.2.2.2\r\n3_IP=3.3.3:9\r\n";
  RecordingWindow window;
  const struct {
    int locale;
    bool window;
    int listCount;
    int entries;      // list entries afterwards
    bool randomPick;  // a random address chosen
  } cases[] = {{kLocaleUsa, true, 2, 2, false}, {kLocaleChina, true, 0, 0, true}, {kLocaleKorea, true, 2, 0, false},
               {kLocaleUsa, false, 2, 0, false}, {kLocaleJapan, true, -1, 0, true}};
  for (const auto& c : cases) {
    NextRun(c.locale).AttachWindow(c.window ? &window : nullptr);
    Engine().SetProbePassDone(true);
    window.ShowServerRows(5);
    Announce(ListSection(c.listCount, "10.0.0.", 2) + randomPick);
    Engine().RefreshLoginServers();

    const bool refreshed = c.entries > 0;
    EXPECT_EQ(Engine().EntryCount(), c.entries) << c.locale;
    EXPECT_EQ(window.FirstServerRow(), refreshed ? -1 : 5) << c.locale;
    EXPECT_EQ(Engine().IsProbePassDone(), !refreshed) << c.locale;
    const std::set<std::string> addresses{"1.1.1.1", "2.2.2.2", "3.3.3:9"};
    EXPECT_EQ(addresses.count(Engine().LoginServer()), c.randomPick ? 1u : 0u) << Engine().LoginServer();
  }
  Engine().AttachWindow(nullptr);
  EXPECT_TRUE(boxes_->Shown().empty());

  // A count without an address: a warning, and the address picked last run is forgotten.
  for (const char* section : {"[LoginServer]\r\nLoginServerCount=0\r\n1_IP=1.1.1.1\r\n",
                              "[LoginServer]\r\nLoginServerCount=1\r\n2_IP=1.1.1.1\r\n"}) {
    Announce(section);
    EXPECT_EQ(Engine().PickRandomLoginServer("LoginServer"), 0);
    EXPECT_EQ(Engine().LoginServer(), "");
  }
  Engine().SetCancel(true, true);
  EXPECT_EQ(Engine().PickRandomLoginServer("LoginServer"), 0);  // no box once cancelled
  ASSERT_EQ(boxes_->Shown().size(), 2u);
  EXPECT_EQ(boxes_->Shown()[1].text, LoadCatalogueString(166));
}

TEST(RandomServerIndexTest, EveryDrawLandsOnAnAddress) {
  for (int count = 1; count <= 5; ++count) {
    std::set<int> reached;
    for (int draw = 0; draw <= kRandomDrawMax; ++draw) reached.insert(RandomServerIndex(draw, count));
    EXPECT_EQ(reached.size(), static_cast<size_t>(count));
    EXPECT_EQ(std::pair(*reached.begin(), *reached.rbegin()), std::pair(1, count));
  }
  EXPECT_EQ(RandomServerIndex(kRandomDrawMax, INT_MAX), INT_MAX);
  EXPECT_EQ(RandomServerIndex(100, 0), 0);
}

// The update thread merges lists of alternating length while the window and the probe select,
// measure and read entries. Latencies derive from the address, so a measurement written into a
// replaced entry shows up as a mismatch.
TEST_F(ServerList, ConcurrentMergeSelectAndMeasure) {
  auto latencyFor = [](const std::string& ip) { return static_cast<int>(std::hash<std::string>{}(ip) % 900) + 1; };
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
    }
  });
  for (int round = 0; round < 2000; ++round) Merge(round % 2 == 0 ? ListSection(6, "10.1.0.") : ListSection(2, "10.2.0."));
  done = true;
  window.join();

  EXPECT_EQ(mismatches.load(), 0);
  std::string selectedIp;
  for (const std::string& row : List())
    if (row.find('*') != std::string::npos) selectedIp += row.substr(row.find('/') + 1, row.rfind('/') - row.find('/') - 1);
  EXPECT_EQ(Engine().LoginServer(), selectedIp);  // at most one selected, and it is the chosen server
}

}  // namespace
