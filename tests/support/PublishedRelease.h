#pragma once
// A release folder of its own, with built programs stamped to chosen versions, published into
// the folder that a test server serves.
//
//   PublishedRelease release;
//   release.AddProgram(BuiltLauncher(), kLauncherName, "1.0.1.0");
//   release.AddFile("Data.SPF", PackBytes("data", 3));
//   ASSERT_EQ(release.PublishTo(server.Root() + "/patch", description), "");

#include <cstdint>
#include <optional>
#include <string>

#include "tests/support/ScratchDir.h"

// The launcher's file name, installed and published.
#ifdef _WIN32
inline const std::string kLauncherName = "SolaneLauncher.exe";
#else
inline const std::string kLauncherName = "SolaneLauncher";
#endif

// The built launcher and the game client's stand-in.
std::string BuiltLauncher();
std::string BuiltClientStandin();

// Copies a built program to `target` and sets its version note to `version` ("A.B.C.D").
// Returns an error text, empty on success.
std::string InstallProgram(const std::string& builtPath, const std::string& target, const std::string& version);

class PublishedRelease {
 public:
  const std::string& Dir() const { return dir_.Path(); }
  // A built program in the release as `name`, at `version`; an error text, empty on success.
  std::string AddProgram(const std::string& builtPath, const std::string& name, const std::string& version) {
    return InstallProgram(builtPath, dir_.PathOf(name), version);
  }
  bool AddFile(const std::string& name, const std::string& bytes) { return !dir_.Write(name, bytes).empty(); }
  std::optional<std::string> Read(const std::string& name) const { return dir_.Read(name); }

  // Publishes the release as `description` says into `serverDir`, signed with the private key
  // file `signingKey` when one is given. Returns the publisher's errors, one a line; empty on
  // success.
  std::string PublishTo(const std::string& serverDir, const std::string& description,
                        const std::string& signingKey = "") const;

 private:
  ScratchDir dir_;
};
