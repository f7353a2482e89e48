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
// The version words of the running executable's version note, "major.minor.patch.tweak"; the
// compiled version when the executable carries no note.
std::string LauncherVersionText();
