#pragma once
// Where the DirectX check finds the machine's DirectX. On Windows: the system's DirectX
// diagnostic component and the system folder. Elsewhere the game client is a Windows program run
// through Wine, so the machine is the Wine prefix (WinePrefix()): the version that the prefix's
// registry records stands in for the component, and its system32 folder for the system folder.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct DirectXRelease {
  uint32_t major = 0;
  uint32_t minor = 0;
  char letter = ' ';  // as reported (any case); a blank when there is none
};

// The version that the diagnostic component reports; nullopt when it is missing, fails at any
// step or reports no version.
std::optional<DirectXRelease> ReportedDirectXVersion();

// The folder that holds the DirectX system files; empty when there is none.
std::string DirectXSystemFolder();

}  // namespace platform
