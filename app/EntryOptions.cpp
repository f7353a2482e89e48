#include "app/EntryOptions.h"

#include <cstdio>

#include "patch/FileVersion.h"
#include "platform/Path.h"

EntryOptions ExtractEntryOptions(const std::vector<std::string>& arguments) {
  EntryOptions options;
  for (const std::string& argument : arguments) {
    if (argument == "--console") {
      options.console = true;
    } else if (argument == "--autorun") {
      options.autorun = true;
    } else if (argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else {
      if (!options.commandLine.empty()) options.commandLine += ' ';
      options.commandLine += argument;
    }
  }
  return options;
}

std::string HandOverOptions(const EntryOptions& options) {
  // The player chose the terminal; the launcher that continues the run is still the player's.
  return options.console ? "--console" : "";
}

std::string EntryUsage() {
  return "Usage: SolaneLauncher [--console] [--autorun] [/LOCALE:code] [/PUBLISHER:code] [/WEBARG:text] /\n"
         "\n"
         "Brings the Solane installation beside this program up to date, then starts the game.\n"
         "\n"
         "Launcher switches (each is taken only when a later \" /\" follows it, so end the line with \" /\"):\n"
         "  /LOCALE:code      KOREA, JAPAN, CHINA or USA (overrides LOCALE in SolaneLauncher.CFG)\n"
         "  /PUBLISHER:code   ORVEX, KESTRIL, VORN, HALVERSTON, MIRELLA or QUADRIUM\n"
         "  /WEBARG:text      handed on to the game client\n"
         "\n"
         "Options:\n"
         "  --console         use the terminal instead of the window (also without a display)\n"
         "  --autorun         start the game as soon as the update has finished\n"
         "  --version         print the launcher's version\n"
         "  --help            print this text\n";
}

std::string LauncherVersionText() {
  // The note is what the update check compares, so it is what the launcher reports; a program
  // built without one reports the version it was compiled as.
  const std::optional<VersionWords> words = ReadVersionWords(platform::ExecutablePath());
  if (!words || (words->high == 0 && words->low == 0)) return SOLANE_VERSION_TEXT;
  char text[48];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", words->high >> 16, words->high & 0xffff, words->low >> 16,
                words->low & 0xffff);
  return text;
}
