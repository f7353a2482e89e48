#pragma once
// A launcher installation in a scratch folder, run as a player or a script would run it, with
// every piece of launcher state (registry store, single-instance lock) kept inside the scratch
// folder and the patch server pointed at a test server on 127.0.0.1.
//
//   InstalledLauncher installation("my games");
//   installation.Install(BuiltLauncher(), kLauncherName, "1.0.0.0");
//   installation.Write("SolaneLauncher.CFG", LauncherConfig(server.Port()));
//   ProgramResult run = installation.Run({"--console", "--autorun"});

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/PublishedRelease.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"

// SolaneLauncher.CFG text for an installation that talks to 127.0.0.1:`port`, path "patch/",
// followed by `moreLines` (each ending in "\r\n").
std::string LauncherConfig(uint16_t port, const std::string& moreLines = "");

class InstalledLauncher {
 public:
  // The installation is the folder `folderName` (it may contain blanks) of a new scratch folder.
  explicit InstalledLauncher(const std::string& folderName = "installation");
  // Ends whatever still runs from the installation (a test that failed half-way).
  ~InstalledLauncher();
  InstalledLauncher(const InstalledLauncher&) = delete;
  InstalledLauncher& operator=(const InstalledLauncher&) = delete;

  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }
  // The folder of the single-instance lock that programs run here use.
  std::string RuntimeDir() const { return scratch_.PathOf("runtime"); }

  // A built program installed as `name` at `version` ("A.B.C.D"); an error text, empty on success.
  std::string Install(const std::string& builtPath, const std::string& name, const std::string& version) const {
    return InstallProgram(builtPath, PathOf(name), version);
  }
  bool Write(const std::string& name, const std::string& bytes) const {
    return !scratch_.Write(In(name), bytes).empty();
  }
  std::optional<std::string> Read(const std::string& name) const { return scratch_.Read(In(name)); }
  bool Exists(const std::string& name) const { return scratch_.Exists(In(name)); }

  // The environment additions of every program run here: the scratch registry and runtime
  // folders, and no display.
  std::vector<std::string> Environment() const;
  // Runs the installed program `program` (a name inside the installation) with `arguments` and
  // standard input from /dev/null. Returns once it and everything it started with the same
  // output have ended, or after `timeoutSeconds`. A launcher runs on the console, as without a
  // display.
  ProgramResult Run(std::vector<std::string> arguments, const std::string& program = kLauncherName,
                    int timeoutSeconds = 60) const;

  // Starts argv[0] (a name inside the installation) in the installation folder without waiting,
  // with `environment` added and no input or output. Its process id, or -1.
  int Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment) const;

  // Waits up to `timeoutSeconds` until no program from inside the installation runs; true when none does.
  bool WaitUntilNoneRuns(int timeoutSeconds) const;

 private:
  std::string RegistryDir() const { return scratch_.PathOf("registry"); }
  std::string In(const std::string& name) const { return folderName_ + "/" + name; }  // relative to scratch_

  ScratchDir scratch_;
  std::string folderName_;
  std::string dir_;
};
