#pragma once
// The entry's own "--" options, removed before the command line reaches start-up.

#include <string>
#include <vector>

struct EntryOptions {
  bool console = false;
  bool autorun = false;
  bool help = false;
  bool version = false;
  // The remaining arguments joined with single blanks: the launcher's command line.
  std::string commandLine;
};

EntryOptions ExtractEntryOptions(const std::vector<std::string>& arguments);
std::string EntryUsage();
std::string LauncherVersionText();
