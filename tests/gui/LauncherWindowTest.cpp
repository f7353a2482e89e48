// The built launcher on this test's X server against a release on the fixture server, driven as a
// player would with the pointer and the keyboard (xdotool).

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <wx/scrolbar.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "servers/ServerFile.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"
#include "window/wx/LauncherDlg.h"
#include "window/wx/LauncherStaticCtrl.h"
#include "window/wx/SkinBitmaps.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kDescription =
    "[Release]\nNoticeAddress = %NOTICE%\n[Launcher]\nFile = SolaneLauncher\n[Client]\nFile = SolaneClient.exe\n"
    "[Pack]\nFile = data/Map.SPF\n[Pack]\nFile = Texture.SPF\nZip = yes\n[LoginServers]\nAddress = 127.0.0.1:27015\n";
constexpr const char* kRedPage = "<html><body style='margin:0;background:#c80000'></body></html>";
const wxColour kRed(200, 0, 0);

// Korea layout places, client coordinates.
const wxRect kStatusLine(28, 396, 362, 15);
const wxRect kAutoRunBox(304, 41, 14, 14);
const wxPoint kAutoRunLabel(400, 50);
const wxRect kExitButtonRect(520, 404, 85, 46);
const wxRect kNoticeCentre(200, 150, 200, 150);
// USA layout places.
const wxRect kStartButton(410, 404, 85, 46);
const wxRect kServerRows(1, 88, 209, 17 * 17);
wxRect ServerRow(int row) { return {1, 88 + 17 * row, 209, 17}; }

ProgramResult Xdotool(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "/usr/bin/xdotool");
  return RunProgram(arguments, {}, 15);
}

// The visible X window whose whole title is `title`, of process `pid` when one is given, waited
// for; empty when none shows. This process draws windows of the same title for reference.
std::string WaitForWindow(const std::string& title, int timeoutMs, int pid = 0) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<std::string> search = {"search", "--all", "--onlyvisible"};
  if (pid > 0) search.insert(search.end(), {"--pid", std::to_string(pid)});
  search.insert(search.end(), {"--name", "^" + title + "$"});  // the pattern comes last
  do {
    const std::string found = Xdotool(search).output;
    if (!found.empty()) return found.substr(0, found.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } while (Clock::now() < deadline);
  return {};
}

bool WindowShows(const std::string& title) { return !WaitForWindow(title, 0).empty(); }

void ClickAt(const std::string& window, const wxPoint& point) {
  // Not "--sync": it waits for a movement that never comes when the pointer is there already.
  Xdotool({"mousemove", "--window", window, std::to_string(point.x), std::to_string(point.y)});
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  Xdotool({"click", "1"});
}

void PressKey(const std::string& window, const std::string& key) {
  Xdotool({"windowfocus", "--sync", window});
  Xdotool({"key", key});
}

// What a window of this process in `layout` shows in `part` once `prepare` has run on it, the
// auto-run box as given: the reference for the launcher's window, drawn before the launcher runs.
using Preparation = std::function<void(CLauncherDlg&, PatchEngine&)>;
wxImage DrawnByOwnWindow(const wxRect& part, WindowLayout layout, const Preparation& prepare, bool autoRun = false) {
  TestInstallation installation;
  auto* window = new CLauncherDlg(installation.Engine(), layout, autoRun);
  window->Show();
  PumpUntil([&] { return window->IsShownOnScreen(); }, 5000);
  if (prepare) prepare(*window, installation.Engine());
  PumpFor(400);
  const wxImage image = GrabClient(*window, part);
  window->Destroy();
  PumpFor(100);
  return image;
}

// "Server 01" ... labelled "s01" ... at 127.0.0.1 ...
std::vector<LoginServerEntry> LoopbackServers(int count) {
  std::vector<LoginServerEntry> servers;
  for (int n = 1; n <= count; ++n) {
    const std::string number = (n < 10 ? "0" : "") + std::to_string(n);
    servers.push_back({"Server " + number, "127.0.0." + std::to_string(n), "s" + number, 0, 0});
  }
  return servers;
}

// Left of the name the selection bar shows its picture alone.
bool ShowsSelectionBar(const wxImage& row) {
  const wxRect bare(1, 1, 9, 15);
  return ColourDistance(row.GetSubImage(bare), LoadSkinBitmap(178).ConvertToImage().GetSubImage(bare)) == 0;
}

class LauncherWindowTest : public testing::Test {
 protected:
  // The launcher is current and the client and two packs are not; the packs come slowly, so
  // that the update lasts long enough for the player's clicks.
  void PublishAndLayOut(const std::string& noticeAddress) {
    ASSERT_TRUE(server_.IsRunning());
    ASSERT_EQ(release_.AddProgram(BuiltLauncher(), "SolaneLauncher", "1.0.0.0"), "");
    ASSERT_EQ(release_.AddProgram(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.1"), "");
    ASSERT_TRUE(release_.AddFile("data/Map.SPF", PackBytes(PatternBytes(240000, 3), 3)));
    ASSERT_TRUE(release_.AddFile("Texture.SPF", PackBytes(PatternBytes(160000, 5), 5)));
    std::string description = kDescription;
    description.replace(description.find("%NOTICE%"), 8, noticeAddress);
    ASSERT_EQ(release_.PublishTo(server_.Root() + "/patch", description), "");
    ASSERT_TRUE(server_.SetBehaviour("patch/data/Map.SPF", {.bytesPerSecond = 40000}));
    ASSERT_TRUE(server_.SetBehaviour("patch/Texture.zip", {.bytesPerSecond = 40000}));

    ASSERT_EQ(installation_.Install(BuiltLauncher(), "SolaneLauncher", "1.0.0.0"), "");
    ASSERT_EQ(installation_.Install(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.0"), "");
    ASSERT_TRUE(installation_.Write("SolaneLauncher.CFG",
                                    LauncherConfig(server_.Port(), "LOCALE=KOREA\r\nPUBLISHER=ORVEX\r\n")));
  }

  // A current USA installation whose release lists `servers`, which SERVER.DAT holds as well.
  void PublishServerListAndLayOut(const std::vector<LoginServerEntry>& servers) {
    ASSERT_TRUE(server_.IsRunning());
    server_.PutFile("notice.html", kRedPage);
    std::string description = "[Release]\nNoticeAddress = http://" + server_.Host() +
                              "/notice.html\n[Launcher]\nFile = SolaneLauncher\n[Client]\nFile = SolaneClient.exe\n"
                              "[Pack]\nFile = Map.SPF\n";
    for (const LoginServerEntry& s : servers)
      description += "[ListedServer]\nName = " + s.name + "\nLabel = " + s.label + "\nAddress = " + s.ip + "\n";
    const std::string pack = PackBytes(PatternBytes(1000, 3), 3);
    ASSERT_EQ(release_.AddProgram(BuiltLauncher(), "SolaneLauncher", "1.0.0.0"), "");
    ASSERT_EQ(release_.AddProgram(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.0"), "");
    ASSERT_TRUE(release_.AddFile("Map.SPF", pack));
    ASSERT_EQ(release_.PublishTo(server_.Root() + "/patch", description), "");

    ASSERT_EQ(installation_.Install(BuiltLauncher(), "SolaneLauncher", "1.0.0.0"), "");
    ASSERT_EQ(installation_.Install(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.0"), "");
    ASSERT_TRUE(installation_.Write("Map.SPF", pack));
    ASSERT_TRUE(installation_.Write("SERVER.DAT", ComposeServerFile(servers)));
    ASSERT_TRUE(installation_.Write("SolaneLauncher.CFG", LauncherConfig(server_.Port(), "LOCALE=USA\r\n")));
  }

  // Starts the launcher on this test's display and waits for its window.
  void StartLauncher() {
    std::vector<std::string> environment;
    for (const std::string& entry : installation_.Environment())
      if (entry != "DISPLAY" && entry != "WAYLAND_DISPLAY") environment.push_back(entry);
    environment.push_back("SOLANE_CLIENT_STAY_SECONDS=0");
    pid_ = installation_.Start({"SolaneLauncher"}, environment);
    ASSERT_GT(pid_, 0);
    window_ = WaitForWindow("Solane Launcher", 30000, pid_);
    ASSERT_FALSE(window_.empty()) << "no window titled \"Solane Launcher\"";
    const std::string geometry = Xdotool({"getwindowgeometry", "--shell", window_}).output;
    origin_.x = std::atoi(geometry.c_str() + geometry.find("X=") + 2);
    origin_.y = std::atoi(geometry.c_str() + geometry.find("Y=") + 2);
  }

  wxImage Shows(const wxRect& part) const { return GrabScreen(wxRect(origin_ + part.GetPosition(), part.GetSize())); }

  // The launcher's exit code once it has ended, -1 after `timeoutSeconds`.
  int WaitForExit(int timeoutSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }


  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  FixtureServer server_;
  PublishedRelease release_;
  InstalledLauncher installation_;
  int pid_ = -1;
  std::string window_;
  wxPoint origin_;
};

TEST_F(LauncherWindowTest, AutoRunTickedDuringTheUpdateStartsTheGameAndClosesTheWindow) {
  const wxImage ticked = DrawnByOwnWindow(kAutoRunBox, WindowLayout::Korea, {}, true);
  const wxImage unticked = DrawnByOwnWindow(kAutoRunBox, WindowLayout::Korea, {}, false);
  ScratchDir local;
  const std::string localPage = local.Write("notice.html", kRedPage);
  ASSERT_NO_FATAL_FAILURE(PublishAndLayOut("file://" + localPage));
  ASSERT_NO_FATAL_FAILURE(StartLauncher());
  const auto shownAt = Clock::now();

  ClickAt(window_, kAutoRunLabel);
  // The theme draws an active window's box a shade apart from an inactive one's: the box shown
  // must look like the ticked one rather than the unticked one.
  EXPECT_TRUE(PumpUntil(
      [&] {
        const wxImage box = Shows(kAutoRunBox);
        return ColourDistance(box, ticked) < ColourDistance(box, unticked);
      },
      3000))
      << "a click on the label ticks the box";

  // A local page would have loaded by now; the notice area keeps its placeholder.
  std::this_thread::sleep_until(shownAt + std::chrono::seconds(4));
  ASSERT_TRUE(WindowShows("Solane Launcher")) << "the update ended too early for the check";
  const wxImage placeholder = LoadSkinBitmap(175).ConvertToImage();
  EXPECT_EQ(ColourDistance(Shows(kNoticeCentre), placeholder.GetSubImage(wxRect(200, 150 - 69, 200, 150))), 0)
      << "the file: page was shown";

  // The About box is left open: the start at the end of the update ends it with the window.
  PressKey(window_, "F1");
  EXPECT_FALSE(WaitForWindow("Solane Launcher Information", 5000).empty()) << "F1 shows the About box";
  EXPECT_EQ(WaitForExit(60), 0);
  EXPECT_FALSE(WindowShows("Solane Launcher"));
  EXPECT_FALSE(WindowShows("Solane Launcher Information"));
  EXPECT_EQ(installation_.Read("SolaneClient.log").value_or("(not started)"),
            "/Full /LoginServer:127.0.0.1:27015 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX\n");
}

TEST_F(LauncherWindowTest, ExitAsksFirstThenCancelGoesOnAndOkStopsOnceTheWorkersHaveEnded) {
  const wxImage finishing = DrawnByOwnWindow(kStatusLine, WindowLayout::Korea, [](CLauncherDlg& window, PatchEngine&) {
    window.SetStatusLine(LoadCatalogueStringIn(kLanguageKorean, 120));
  });
  server_.PutFile("notice.html", kRedPage);
  ASSERT_NO_FATAL_FAILURE(PublishAndLayOut("http://" + server_.Host() + "/notice.html"));
  ASSERT_NO_FATAL_FAILURE(StartLauncher());

  EXPECT_TRUE(PumpUntil([&] { return ColourAt(Shows(kNoticeCentre), 100, 75) == kRed; }, 10000))
      << "the http notice page shows";

  // The keyboard reaches the exit button: Tab moves the focus to it, which shows its focus
  // picture, and Space presses it.
  Xdotool({"mousemove", "0", "0"});
  const wxImage exitFocused = LoadSkinBitmap(139).ConvertToImage();
  bool exitFocusShown = false;
  for (int presses = 0; presses < 12 && !exitFocusShown; ++presses) {
    PressKey(window_, "Tab");
    exitFocusShown = PumpUntil([&] { return ColourDistance(Shows(kExitButtonRect), exitFocused) == 0; }, 500);
  }
  ASSERT_TRUE(exitFocusShown) << "Tab never showed the exit button's focus picture";
  PressKey(window_, "space");
  std::string question = WaitForWindow("SolaneLauncher", 5000);
  ASSERT_FALSE(question.empty()) << "no exit question";
  PressKey(question, "Escape");
  EXPECT_TRUE(PumpUntil([] { return !WindowShows("SolaneLauncher"); }, 3000));
  EXPECT_TRUE(PumpUntil([&] { return std::ranges::count(server_.Fetched(), "/patch/Texture.zip") > 0; }, 20000)) << "Cancel goes on with the update";
  ASSERT_TRUE(WindowShows("Solane Launcher"));

  // The focus came back to the exit button with the window; Return presses it.
  PressKey(window_, "Return");
  question = WaitForWindow("SolaneLauncher", 5000);
  ASSERT_FALSE(question.empty()) << "no exit question the second time";
  PressKey(question, "Return");
  // Message 120 shows until the workers have ended; then the window goes.
  bool finishingShown = false;
  PumpUntil(
      [&] {
        finishingShown = finishingShown || ColourDistance(Shows(kStatusLine), finishing) == 0;
        return !WindowShows("Solane Launcher");
      },
      20000);
  EXPECT_TRUE(finishingShown) << "message 120 was not seen";
  EXPECT_FALSE(installation_.Exists("Temp")) << "the window closed before the update thread had ended";
  EXPECT_EQ(WaitForExit(30), 1) << "a cancelled update";
  EXPECT_FALSE(installation_.Exists("SolaneClient.log"));
}

// SERVER.DAT and Update.NFO list 20 loopback servers. The rows show measured latencies, the
// wheel moves one row per notch up to the last page (positions 0 to 3), a click chooses a server,
// start hands its address to the client, and SERVER.DAT keeps the choice.
TEST_F(LauncherWindowTest, UsaServerListIsMeasuredScrolledAndItsChoiceKept) {
  const std::vector<LoginServerEntry> servers = LoopbackServers(20);
  auto drawn = [&](int top, int latencyMs) {
    return DrawnByOwnWindow(kServerRows, WindowLayout::Usa, [&](CLauncherDlg& window, PatchEngine& engine) {
      engine.SetLocale(kLocaleUsa);
      for (LoginServerEntry server : servers) {
        server.latencyMs = latencyMs;
        engine.AddEntry(server);
      }
      window.ShowServerRows(top);
    });
  };
  // A loopback echo takes a millisecond or two, more on a loaded machine: a measured row shows
  // its server's name and any latency but the unmeasured "0 ms" and the time-out's "1000 ms".
  std::map<int, wxImage> named;
  for (const int top : {0, 1, 3}) named[top] = drawn(top, 1);
  const wxImage unmeasured = drawn(0, 0);
  const wxImage timedOut = drawn(0, 1000);
  constexpr int kLatencyColumn = 138;  // x 139 of the window
  // The first row that differs, and how: a failure says what the window showed instead.
  std::string differs;
  auto showsFrom = [&](int top) {
    const wxImage shown = Shows(kServerRows);
    for (int row = 0; row < 17; ++row) {
      const wxRect name(0, row * 17, kLatencyColumn, 17);
      const wxRect latency(kLatencyColumn, row * 17, kServerRows.width - kLatencyColumn, 17);
      const wxImage latencyShown = shown.GetSubImage(latency);
      const std::string where = "row " + std::to_string(row) + ": ";
      if (ColourDistance(shown.GetSubImage(name), named[top].GetSubImage(name)) != 0)
        differs = where + "not the name of entry " + std::to_string(top + row);
      else if (ColourDistance(latencyShown, unmeasured.GetSubImage(latency)) == 0)
        differs = where + "0 ms, not measured";
      else if (ColourDistance(latencyShown, timedOut.GetSubImage(latency)) == 0)
        differs = where + "1000 ms, no echo";
      else
        continue;
      return false;
    }
    return true;
  };
  ASSERT_NO_FATAL_FAILURE(PublishServerListAndLayOut(servers));
  ASSERT_NO_FATAL_FAILURE(StartLauncher());

  EXPECT_TRUE(PumpUntil([&] { return showsFrom(0); }, 20000)) << "every visible row measured, " << differs;
  Xdotool({"mousemove", "--window", window_, "100", "150", "click", "5"});
  EXPECT_TRUE(PumpUntil([&] { return showsFrom(1); }, 3000)) << "one notch, one row, " << differs;
  Xdotool({"click", "--repeat", "4", "--delay", "100", "5"});
  EXPECT_TRUE(PumpUntil([&] { return showsFrom(3); }, 3000)) << "the last page starts at entry 3, " << differs;
  ClickAt(window_, {60, 125});  // row 2, entry 5
  EXPECT_TRUE(PumpUntil([&] { return ShowsSelectionBar(Shows(ServerRow(2))); }, 3000));

  Xdotool({"mousemove", "0", "0"});
  const wxImage start = LoadSkinBitmap(190).ConvertToImage();
  ASSERT_TRUE(PumpUntil([&] { return ColourDistance(Shows(kStartButton), start) == 0; }, 30000)) << "no start button";
  // A double-click: the window stays until the probe has stopped, and the second click must not
  // start the game again.
  Xdotool({"mousemove", "--window", window_, "452", "427"});
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  Xdotool({"click", "--repeat", "2", "--delay", "120", "1"});
  EXPECT_EQ(WaitForExit(30), 0);
  const std::string client = installation_.Read("SolaneClient.log").value_or("(not started)");
  EXPECT_NE(client.find(" /LoginServer:127.0.0.6 "), std::string::npos) << client;
  EXPECT_EQ(std::ranges::count(client, '\n'), 1) << "started more than once:\n" << client;
  const auto stored = ReadServerFile(installation_.PathOf("SERVER.DAT"));
  ASSERT_TRUE(stored && stored->size() == 20);
  for (size_t index = 0; index < stored->size(); ++index) EXPECT_EQ((*stored)[index].selected, index == 5 ? 1 : 0);
}

// In a window of this process over the same servers, the 19th stored as chosen: that choice
// counts once its row is drawn; the wheel over the scroll bar moves one row, outside the list
// none; a latency that arrives after its row has moved on is dropped.
TEST(ServerListAreaTest, ScrollingDrawsAStoredChoiceAndDropsAStaleLatency) {
  TestInstallation installation;
  std::vector<LoginServerEntry> servers = LoopbackServers(20);
  servers[18].selected = 1;
  installation.WriteFile("SERVER.DAT", ComposeServerFile(servers));
  PatchEngine& engine = installation.Engine();
  engine.SetLocale(kLocaleUsa);
  auto* window = new CLauncherDlg(engine, WindowLayout::Usa);
  window->Show();
  ASSERT_TRUE(PumpUntil([&] { return window->IsShownOnScreen(); }, 5000));
  PumpFor(300);
  auto* bar = dynamic_cast<wxScrollBar*>(window->FindWindow(306));
  ASSERT_NE(bar, nullptr);
  auto scroll = [&](wxEventType type, int position) {
    wxScrollEvent event(type, bar->GetId(), position, wxVERTICAL);
    event.SetEventObject(bar);
    bar->ProcessWindowEvent(event);
  };
  auto wheelUp = [&](const wxPoint& at) {
    const wxPoint screen = window->ClientToScreen(at);
    Xdotool({"mousemove", std::to_string(screen.x), std::to_string(screen.y), "click", "4"});
    PumpFor(200);
  };
  auto state = [&] { return std::tuple(window->ServerListTop(), bar->GetThumbPosition(), engine.LoginServer()); };

  EXPECT_EQ(std::tuple(bar->GetRange(), bar->GetThumbSize(), bar->GetPageSize()), std::tuple(20, 17, 17));
  EXPECT_EQ(state(), std::tuple(0, 0, "")) << "entry 18 is not on a drawn row yet";
  scroll(wxEVT_SCROLL_THUMBTRACK, 1);
  scroll(wxEVT_SCROLL_THUMBRELEASE, 2);
  EXPECT_EQ(state(), std::tuple(1, 1, ""));
  scroll(wxEVT_SCROLL_PAGEDOWN, 0);
  EXPECT_EQ(state(), std::tuple(3, 3, "127.0.0.19")) << "drawn on row 15, entry 18 is the chosen server";
  EXPECT_TRUE(PumpUntil([&] { return ShowsSelectionBar(GrabClient(*window, ServerRow(15))); }, 2000));
  scroll(wxEVT_SCROLL_LINEUP, 0);
  wheelUp({218, 200});
  wheelUp({400, 440});
  EXPECT_EQ(state(), std::tuple(1, 1, "127.0.0.19"));

  engine.SetEntryLatency(4, "127.0.0.5", 7);
  engine.SetEntryLatency(0, "127.0.0.1", 9);
  std::thread([&] {
    window->SetServerRowLatency(3, 4, "7 ms");
    window->SetServerRowLatency(0, 0, "9 ms");
  }).join();
  PumpFor(200);
  std::map<int, std::string> latencies;  // by row
  for (wxWindow* child : window->GetChildren())
    if (auto* text = dynamic_cast<CLauncherStaticCtrl*>(child); text && text->GetPosition().x == 139)
      latencies[(text->GetPosition().y - 88) / 17] = text->GetText();
  EXPECT_EQ(std::pair(latencies[0], latencies[3]), std::pair(std::string("0 ms"), std::string("7 ms")));
  window->Destroy();
  PumpFor(50);
}

}  // namespace
