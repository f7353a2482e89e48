// The window tests start wx once for the whole binary; without a display they fail.

#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    std::fprintf(stderr, "test_gui needs an X display: run it under xvfb-run (ctest does)\n");
    return 1;
  }
  wxApp::SetInstance(new wxApp());
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "test_gui cannot open the display %s\n", display);
    return 1;
  }
  wxInitAllImageHandlers();
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
