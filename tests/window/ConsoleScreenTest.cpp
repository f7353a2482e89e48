// Drawing on the terminal and into a log: bars, safe lines, the redraw limit, lines printed once.

#include "window/ConsoleScreen.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(ConsoleScreen, BarsFollowTheirRange) {
  struct Case {
    ConsoleBar bar;
    int width;
    const char* drawn;
  } cases[] = {
      {{0, 100, 50}, 10, "[#####-----]  50%"},
      {{0, 100, 100}, 10, "[##########] 100%"},
      {{0, 3, 1}, 3, "[#--]  33%"},
      {{10, 20, 15}, 4, "[##--]  50%"},
      {{0, 100, 250}, 4, "[####] 100%"},           // past the end: full, never longer
      {{0, 100, -7}, 4, "[----]   0%"},            // before the start
      {{0, 0, 5}, 4, "[----]   0%"},              // empty range
      {{50, 10, 20}, 4, "[----]   0%"},            // reversed range
      {{0, 2147483647, 2147483647}, 2, "[##] 100%"},  // no overflow at the largest range
      {{0, 100, 50}, 0, "[-]  50%"},               // at least one cell
  };
  for (const Case& c : cases) EXPECT_EQ(RenderBar(c.bar, c.width), c.drawn) << c.drawn;
}

TEST(ConsoleScreen, LinesAreMadeSafeAndShort) {
  EXPECT_EQ(PrintableLine("Data.SPF\x1b[2J\r\n", 80), "Data.SPF [2J  ");
  EXPECT_EQ(PrintableLine("abcdef", 4), "abcd");
  // "업데이트" is four three-byte characters: a cut never splits one.
  EXPECT_EQ(PrintableLine("\xEC\x97\x85\xEB\x8D\xB0\xEC\x9D\xB4\xED\x8A\xB8", 7), "\xEC\x97\x85\xEB\x8D\xB0");
  EXPECT_EQ(PrintableLine("\xEC\x97\x85\xEB\x8D\xB0", 6), "\xEC\x97\x85\xEB\x8D\xB0");
}

class ManualClock {
 public:
  std::function<uint32_t()> Function() {
    return [this] { return now; };
  }
  uint32_t now = 0;
};

TEST(ConsoleScreen, TerminalRedrawsInPlaceAtMostTenTimesASecond) {
  std::ostringstream out;
  ManualClock clock;
  clock.now = 0xFFFFFFF0u;  // the limit holds across the tick's wrap
  ConsoleScreen screen(out, true, clock.Function());

  EXPECT_FALSE(screen.Refresh());  // nothing to draw yet
  screen.SetStatus("Starting update.");
  screen.SetFileRange(0, 200);
  screen.SetFilePos(50);
  EXPECT_TRUE(screen.Refresh());
  EXPECT_EQ(out.str(), "\x1b[2KStarting update.\n\x1b[2KFile  [##########------------------------------]  25%\n"
                       "\x1b[2KTotal [----------------------------------------]   0%");

  out.str("");
  screen.SetFilePos(100);
  clock.now += 99;
  EXPECT_FALSE(screen.Refresh());
  EXPECT_EQ(out.str(), "");
  clock.now += 1;
  EXPECT_TRUE(screen.Refresh());
  // The cursor goes back to the first of the three lines and each is rewritten.
  EXPECT_EQ(out.str().rfind("\r\x1b[2A\x1b[2KStarting update.\n", 0), 0u) << out.str();
  EXPECT_NE(out.str().find(" 50%"), std::string::npos);

  clock.now += 1000;
  EXPECT_FALSE(screen.Refresh());  // unchanged: nothing is drawn however long it waits

  // A line that arrives once goes above the bars, which are drawn again below it.
  out.str("");
  screen.Announce("Version 2 brings the winter map");
  screen.Announce("Version 2 brings the winter map");
  EXPECT_TRUE(screen.Refresh());
  EXPECT_EQ(out.str().rfind("\r\x1b[2A\x1b[JVersion 2 brings the winter map\n\x1b[2KStarting update.", 0), 0u)
      << out.str();

  // While a question is on the terminal nothing is drawn; afterwards a fresh block starts below.
  out.str("");
  screen.Pause();
  EXPECT_EQ(out.str(), "\n");
  screen.SetStatus("Downloading update files.");
  clock.now += 1000;
  EXPECT_FALSE(screen.Refresh());
  screen.Resume();
  out.str("");
  EXPECT_TRUE(screen.Refresh());
  EXPECT_EQ(out.str().rfind("\x1b[2KDownloading update files.\n", 0), 0u) << out.str();
  EXPECT_EQ(out.str().find("Version 2"), std::string::npos);
}

TEST(ConsoleScreen, LogPrintsEachNewStatusOnce) {
  std::ostringstream out;
  ManualClock clock;
  ConsoleScreen screen(out, false, clock.Function());
  for (const char* status : {"Starting update.", "Starting update.", "Data.SPF Downloading update files."}) {
    screen.SetStatus(status);
    screen.SetFilePos(10);
  }
  screen.Announce("Version 2");
  const std::string longLine(120, 'x');
  screen.SetStatus(longLine);  // a log has no width to fit
  screen.SetStatus("Update is completed.");
  screen.SetStatus("Update is completed.");
  screen.SetTotalRange(0, 1);
  screen.Finish();
  screen.SetFilePos(20);  // bars alone never reach a log
  screen.Announce("Version 2");
  clock.now += 5000;
  EXPECT_FALSE(screen.Refresh());
  EXPECT_EQ(out.str(), "Starting update.\nData.SPF Downloading update files.\nVersion 2\n" + longLine + "\nUpdate is completed.\n");
}

}  // namespace
