#pragma once
// A new, empty folder of a unique name under the system's temporary folder; empty on failure.
#include <string>

std::string MakeTemporaryFolder();
