#pragma once
// Where start-up ended. Together with the window's own verdict it decides the exit code.

enum class StartupEnd {
  OpenWindow,           // the run step's answer to go on; start-up itself never ends here
  ConfigUnreadable,     // SolaneLauncher.CFG exists but cannot be read
  AnotherLauncherRuns,  // message 105
  ReplacementStarted,   // this copy took the installed launcher's place and started it
  ReplacementFailed,    // a replacement run that could not replace or start it; said so and ended
  GamePageOpened,       // no command line: the publisher's page instead of an update
  NoWindow,             // a build with neither window nor console
  WindowClosed,         // the window ran to its end; its verdict decides
  RelaunchStarted,      // the downloaded launcher runs from the temporary folder
  RelaunchFailed,
};
