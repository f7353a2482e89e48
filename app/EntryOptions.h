#pragma once
// The entry's own "--" options, removed before the command line reaches start-up.

#include <cstdint>
#include <string>
#include <vector>

struct EntryOptions {
  bool console = false;
  bool autorun = false;
  bool help = false;
  bool version = false;
  bool verify = false;             // digest every installed file, ignoring the kept digests
  uint32_t limitRateKBps = 0;      // the player's bandwidth limit for this run; 0 = none
  std::string error;               // an unknown or malformed option, said instead of running (exit code 2)
  // The remaining arguments joined with single blanks: the launcher's command line.
  std::string commandLine;
};

EntryOptions ExtractEntryOptions(const std::vector<std::string>& arguments);
// The options that the launchers started along a hand-over must carry too ("--console",
// "--verify", "--limit-rate="), as one text that goes in front of their parameters; empty when
// there are none.
std::string HandOverOptions(const EntryOptions& options);
std::string EntryUsage();
// The version words of the running executable's version note, "major.minor.patch.tweak"; the
// compiled version when the executable carries no note.
std::string LauncherVersionText();
