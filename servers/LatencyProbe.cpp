// The latency probe: a thread of the engine that measures the login servers of the list with
// ICMP echo and shows each result on the server's row.

#include "patch/PatchEngine.h"
#include "platform/Clock.h"
#include "servers/Ping.h"

namespace {

constexpr uint32_t kEchoTimeoutMs = 1000;
constexpr uint8_t kEchoDataSize = 32;
// What a server that did not answer shows.
constexpr int kNoAnswerMs = 1000;
constexpr uint32_t kStepPauseMs = 1;
// After a pass with nothing to measure the list only changes with the refresh from Update.NFO;
// a longer pause keeps an idle launcher from waking a thousand times a second meanwhile.
constexpr uint32_t kIdlePauseMs = 100;

}  // namespace

struct PatchEngine::ProbeWalk {
  bool ready = false;           // CPing::Init has succeeded
  int index = 0;                // the entry to look at next
  bool measuredInPass = false;  // this pass has measured an entry
  bool idle = false;            // the last whole pass measured nothing
};

void PatchEngine::StartProbe() {
  if (!UsesServerList() || !Window() || probeThread_.load()) return;
  auto* thread = new platform::Thread([this] { ProbeThreadLoop(); });
  thread->SetPriority(platform::ThreadPriority::Lowest);
  platform::Thread* expected = nullptr;
  if (!probeThread_.compare_exchange_strong(expected, thread)) {
    delete thread;  // never resumed: released without running
    return;
  }
  thread->Resume();
}

bool PatchEngine::IsProbeRunning() const {
  platform::Thread* thread = probeThread_.load();
  return thread && thread->IsRunning();
}

void PatchEngine::ProbeThreadLoop() {
  CPing ping;
  ProbeWalk walk;
  while (!IsCancelled() && !probeStop_.load() && Window()) {
    if (probePassDone_.load() && listRefreshed_.load()) break;
    if (!listLoading_.load()) ProbeStep(walk, ping);
    platform::SleepMs(walk.idle && !listRefreshed_.load() ? kIdlePauseMs : kStepPauseMs);
  }
}

void PatchEngine::ProbeStep(ProbeWalk& walk, CPing& ping) {
  // Update.NFO may change the locale while the probe runs.
  if (!UsesServerList()) return;
  if (!walk.ready && !(walk.ready = ping.Init())) return;
  bool passedEnd = false;
  const std::optional<LoginServerEntry> entry = NextProbeEntry(walk.index, passedEnd);
  if (passedEnd) {
    walk.idle = !walk.measuredInPass;
    walk.measuredInPass = false;
  }
  if (!entry) return;
  const int index = walk.index++;
  if (entry->latencyMs > 0) return;
  const std::string host = entry->ip.substr(0, entry->ip.find(':'));  // the port is not for ICMP
  if (host.empty()) return;

  // The first exchange pays for resolving the way to the server; only the second counts.
  PingReply reply;
  ping.Ping2(host, reply, kEchoTimeoutMs, kEchoDataSize);
  int latency = ping.Ping2(host, reply, kEchoTimeoutMs, kEchoDataSize);
  if (latency < 0) latency = kNoAnswerMs;
  if (latency == 0) latency = 1;  // a stored 0 means "not measured"
  walk.measuredInPass = true;
  walk.idle = false;
  if (SetEntryLatency(index, entry->ip, latency)) ShowLatency(index, latency);
}

std::optional<LoginServerEntry> PatchEngine::NextProbeEntry(int& index, bool& passedEnd) {
  std::lock_guard<std::mutex> guard(serverListLock_);
  if (index < 0 || static_cast<size_t>(index) >= serverList_.size()) {
    probePassDone_ = true;
    passedEnd = true;
    index = 0;
  }
  if (serverList_.empty()) return std::nullopt;
  return serverList_[static_cast<size_t>(index)];
}

void PatchEngine::ShowLatency(int index, int latencyMs) {
  LauncherWindow* window = Window();
  if (!window) return;
  const int row = index - window->ServerListTop();
  if (row < 0 || row >= LauncherWindow::kServerRows || row >= EntryCount()) return;
  window->SetServerRowLatency(row, index, LatencyText(latencyMs));
}
