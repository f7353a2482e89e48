// The built launcher with its window on this test's X server, against a published release on the
// fixture server, driven as a player would with the pointer and the keyboard (xdotool): the
// auto-run box ticked during the update, the exit question answered Cancel and then OK, and the
// notice page's addresses.

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"
#include "window/wx/LauncherDlg.h"
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
const wxPoint kExitButton(562, 427);
const wxRect kNoticeCentre(200, 150, 200, 150);

ProgramResult Xdotool(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "/usr/bin/xdotool");
  return RunProgram(arguments, {}, 15);
}

// The visible X window whose whole title is `title`, waited for; empty when none shows.
std::string WaitForWindow(const std::string& title, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    const std::string found = Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}).output;
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

// What a Korea window of this process shows in `part` with `status` in its status line and the
// auto-run box as given: the reference for the launcher's window, drawn before the launcher runs.
wxImage DrawnByOwnWindow(const wxRect& part, const std::string& status, bool autoRun) {
  TestInstallation installation;
  auto* window = new CLauncherDlg(installation.Engine(), WindowLayout::Korea, autoRun);
  window->Show();
  PumpUntil([&] { return window->IsShownOnScreen(); }, 5000);
  window->SetStatusLine(status);
  PumpFor(400);
  const wxImage image = GrabClient(*window, part);
  window->Destroy();
  PumpFor(100);
  return image;
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

  // Starts the launcher on this test's display and waits for its window.
  void StartLauncher() {
    std::vector<std::string> environment;
    for (const std::string& entry : installation_.Environment())
      if (entry != "DISPLAY" && entry != "WAYLAND_DISPLAY") environment.push_back(entry);
    environment.push_back("SOLANE_CLIENT_STAY_SECONDS=0");
    pid_ = installation_.Start({"SolaneLauncher"}, environment);
    ASSERT_GT(pid_, 0);
    window_ = WaitForWindow("Solane Launcher", 30000);
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

  bool Requested(const std::string& path) const {
    for (const RecordedRequest& request : server_.Requests())
      if (request.method == "GET" && request.decodedPath == path) return true;
    return false;
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
  const wxImage ticked = DrawnByOwnWindow(kAutoRunBox, "", true);
  const wxImage unticked = DrawnByOwnWindow(kAutoRunBox, "", false);
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

  EXPECT_EQ(WaitForExit(60), 0);
  EXPECT_FALSE(WindowShows("Solane Launcher"));
  EXPECT_EQ(installation_.Read("SolaneClient.log").value_or("(not started)"),
            "/Full /LoginServer:127.0.0.1:27015 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX\n");
}

TEST_F(LauncherWindowTest, ExitAsksFirstThenCancelGoesOnAndOkStopsOnceTheWorkersHaveEnded) {
  const wxImage finishing = DrawnByOwnWindow(kStatusLine, LoadCatalogueStringIn(kLanguageKorean, 120), false);
  server_.PutFile("notice.html", kRedPage);
  ASSERT_NO_FATAL_FAILURE(PublishAndLayOut("http://" + server_.Host() + "/notice.html"));
  ASSERT_NO_FATAL_FAILURE(StartLauncher());

  EXPECT_TRUE(PumpUntil([&] { return ColourAt(Shows(kNoticeCentre), 100, 75) == kRed; }, 10000))
      << "the http notice page shows";

  ClickAt(window_, kExitButton);
  std::string question = WaitForWindow("SolaneLauncher", 5000);
  ASSERT_FALSE(question.empty()) << "no exit question";
  PressKey(question, "Escape");
  EXPECT_TRUE(PumpUntil([] { return !WindowShows("SolaneLauncher"); }, 3000));
  EXPECT_TRUE(PumpUntil([&] { return Requested("/patch/Texture.zip"); }, 20000)) << "Cancel goes on with the update";
  ASSERT_TRUE(WindowShows("Solane Launcher"));

  ClickAt(window_, kExitButton);
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

}  // namespace
