#include "tests/support/BrowserStandIn.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

struct BrowserStandIn::SavedCommand {};

BrowserStandIn::BrowserStandIn(const std::string& folder) : record_(folder + "/opened") {
  const std::string bin = folder + "/bin";
  mkdir(folder.c_str(), 0755);
  mkdir(bin.c_str(), 0755);
  std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"$1\" > \"" << record_ << ".part\" && mv \"" << record_
                                   << ".part\" \"" << record_ << "\"\n";
  chmod((bin + "/xdg-open").c_str(), 0755);
  const char* path = std::getenv("PATH");
  path_ = std::make_unique<ScopedEnvironment>("PATH", bin + ":" + (path ? path : "/usr/bin:/bin"));
}

BrowserStandIn::~BrowserStandIn() = default;
