// Drawing on the terminal and into a log: bars, the redraw limit, lines printed once.

#include "window/ConsoleScreen.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(ConsoleScreen, BarsFollowTheirRange) {
  const struct {
    ConsoleBar bar;
    int width;
    const char* drawn;
  } cases[] = {
      {{0, 100, 50}, 10, "[#####-----]  50%"},
      {{10, 20, 15}, 4, "[##--]  50%"},
      {{0, 100, 250}, 4, "[####] 100%"},              // past the end: full, never longer
      {{50, 10, 20}, 4, "[----]   0%"},               // reversed range
      {{0, 2147483647, 2147483647}, 2, "[##] 100%"},  // no overflow at the largest range
      {{0, 100, 50}, 0, "[-]  50%"},                  // at least one cell
  };
  for (const auto& c : cases) EXPECT_EQ(RenderBar(c.bar, c.width), c.drawn) << c.drawn;
}

// What was drawn since the last call.
std::string Drawn(std::ostringstream& out) {
  const std::string text = out.str();
  out.str("");
  return text;
}

TEST(ConsoleScreen, TerminalRedrawsInPlaceAtMostTenTimesASecond) {
  std::ostringstream out;
  uint32_t now = 0xFFFFFFF0u;  // the limit holds across the tick's wrap
  ConsoleScreen screen(out, true, [&now] { return now; });
  screen.SetStatus("Starting update.");
  screen.SetFileRange(0, 200);
  screen.SetFilePos(50);
  EXPECT_TRUE(screen.Refresh());
  EXPECT_TRUE(Drawn(out).ends_with("\n\x1b[2KTotal [----------------------------------------]   0%"));
  screen.SetFilePos(100);
  now += 99;
  EXPECT_FALSE(screen.Refresh());
  now += 1;
  EXPECT_TRUE(screen.Refresh());
  // The cursor goes back to the first of the three lines and each is rewritten.
  EXPECT_TRUE(Drawn(out).starts_with("\r\x1b[2A\x1b[2KStarting update.\n"));
  now += 1000;
  EXPECT_FALSE(screen.Refresh());  // unchanged: nothing is drawn however long it waits

  // A line that arrives once goes above the bars, which are drawn again below it.
  screen.Announce("Version 2");
  EXPECT_TRUE(screen.Refresh());
  EXPECT_TRUE(Drawn(out).starts_with("\r\x1b[2A\x1b[JVersion 2\n\x1b[2KStarting update."));

  // While a question is on the terminal nothing is drawn; afterwards a fresh block starts below.
  screen.Pause();
  screen.SetStatus("Downloading update files.");
  now += 1000;
  EXPECT_FALSE(screen.Refresh());
  screen.Resume();
  Drawn(out);
  EXPECT_TRUE(screen.Refresh());
  EXPECT_TRUE(Drawn(out).starts_with("\x1b[2KDownloading update files.\n"));
}

TEST(ConsoleScreen, LogPrintsEachNewStatusOnce) {
  std::ostringstream out;
  ConsoleScreen screen(out, false, [] { return 0u; });
  const std::string longLine(120, 'x');  // a log has no width to fit
  for (const char* status : {"Starting update.", "Starting update.", longLine.c_str()}) screen.SetStatus(status);
  screen.SetFilePos(10);  // bars alone never reach a log
  screen.Announce("Version 2");
  screen.Finish();
  screen.Announce("Version 2");
  EXPECT_EQ(out.str(), "Starting update.\n" + longLine + "\nVersion 2\n");
  screen.SetStatus("Update.NFO refused.");
  screen.Pause();  // a question follows: the status that explains it comes first
  EXPECT_TRUE(out.str().ends_with("Version 2\nUpdate.NFO refused.\n"));
}

}  // namespace
