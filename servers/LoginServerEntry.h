#pragma once
// One login server of the list the player chooses from.

#include <cstddef>
#include <string>

struct LoginServerEntry {
  // The texts are fixed 260-byte fields in SERVER.DAT: at most this many characters and a NUL.
  static constexpr size_t kMaxTextLength = 259;

  std::string name;   // shown in the list row
  std::string ip;     // host or dotted address, optionally ":port"; becomes the chosen login server
  std::string label;  // identity that remembers the player's choice across runs
  int selected = 0;   // 1 for the entry the player chose
  int latencyMs = 0;  // last measured echo time; 0 or less means not measured yet
};

// A latency as the list's rows show it; an unmeasured entry shows 0 ms.
inline std::string LatencyText(int latencyMs) { return std::to_string(latencyMs) + " ms"; }
