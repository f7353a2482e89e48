#pragma once
// Stands in for the player's browser while the object lives: an address that the launcher opens
// is written to a file instead of reaching a real browser. On Linux a recording `xdg-open` goes
// first on PATH; on Windows the http and https classes' open command records it (Wine's shell
// follows the same classes to its browser).

#include <memory>
#include <string>

#include "tests/support/ScopedEnvironment.h"

class BrowserStandIn {
 public:
  // `folder`, made here, holds the stand-in and its record.
  explicit BrowserStandIn(const std::string& folder);
  ~BrowserStandIn();
  BrowserStandIn(const BrowserStandIn&) = delete;
  BrowserStandIn& operator=(const BrowserStandIn&) = delete;

  // The address opened, once it arrives (up to a few seconds); "" when none did.
  std::string Opened() const;

 private:
  std::string record_;
  std::unique_ptr<ScopedEnvironment> path_;  // Linux: the search path with the stand-in first
  struct SavedCommand;
  std::unique_ptr<SavedCommand> saved_;      // Windows: the classes' commands before the test
};
