// The application entry: reads the options that belong to the entry itself ("--" options, as GUI
// toolkits strip their own), rebuilds the launcher's command line and runs start-up.

#include <cstdio>
#include <string>
#include <vector>

#include "app/LauncherApp.h"
#include "app/EntryOptions.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  EntryOptions options = ExtractEntryOptions(arguments);
  if (options.help) {
    std::fputs(EntryUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("SolaneLauncher %s\n", LauncherVersionText().c_str());
    return 0;
  }
  StartupSteps steps;
  CLauncherApp app(std::move(steps));
  app.InitInstance(options.commandLine);
  return 0;
}
