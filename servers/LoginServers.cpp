// The login server list: SERVER.DAT, the refresh from Update.NFO and the random pick.

#include <algorithm>
#include <random>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "servers/RandomServerIndex.h"
#include "servers/ServerFile.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kListSection = "LoginServerList";
constexpr const char* kRandomPickSection = "LoginServer";
constexpr const char* kListKeyAbsent = "NoEmpty";
constexpr const char* kAddressAbsent = "NoData";
constexpr const char* kServerFileName = "SERVER.DAT";

std::string Cut(const std::string& text) { return text.substr(0, LoginServerEntry::kMaxTextLength); }

// One complete position of the LoginServerList section.
struct ListedServer {
  size_t position;
  std::string name;
  std::string label;
  std::string ip;
};

}  // namespace

bool PatchEngine::UsesServerList() const {
  const int locale = GetLocale();
  return locale == kLocaleChina || locale == kLocaleUsa;
}

std::string PatchEngine::ServerFilePath() { return platform::JoinPath(LauncherDir(), kServerFileName); }

void PatchEngine::LoadServerFile() {
  if (!UsesServerList()) return;
  std::optional<std::vector<LoginServerEntry>> stored = ReadServerFile(ServerFilePath());
  if (!stored) return;
  std::lock_guard<std::mutex> guard(serverListLock_);
  serverList_ = std::move(*stored);
  selectedServer_ = -1;
}

void PatchEngine::SaveServerFile() {
  if (!UsesServerList()) return;
  std::vector<LoginServerEntry> entries;
  {
    std::lock_guard<std::mutex> guard(serverListLock_);
    entries = serverList_;
  }
  if (entries.empty()) return;
  // Written to a sibling and renamed over the old file: a failed or interrupted save keeps the
  // previous list instead of deleting it first.
  WriteServerFile(ServerFilePath(), entries);
}

void PatchEngine::RefreshLoginServers() {
  // A negative count announces no server just as 0 does.
  if (updateInfo_.ReadInt(kListSection, "LoginServerListCount", 0) < 1) {
    PickRandomLoginServer(kRandomPickSection);
    return;
  }
  LauncherWindow* window = Window();
  if (!UsesServerList() || !window) return;
  listLoading_ = true;
  MergeServerList();
  // The redraw also takes the selection bar off a dropped entry's row.
  window->ShowServerRows(-1);
  {
    // The probe notes the end of its walk under the same lock: a step under way cannot end the
    // pass over the new list before it has begun.
    std::lock_guard<std::mutex> guard(serverListLock_);
    probePassDone_ = false;
    listRefreshed_ = true;
  }
  listLoading_ = false;
}

void PatchEngine::MergeServerList() {
  const int32_t count = updateInfo_.ReadInt(kListSection, "LoginServerListCount", 0);
  if (count < 1) return;

  // Read before taking the lock, so that the window and the probe wait only for the change.
  std::vector<ListedServer> listed;
  for (const uint32_t index : updateInfo_.PresentIndices(kListSection, static_cast<uint32_t>(count))) {
    if (IsCancelled()) break;
    const std::string number = std::to_string(index);
    ListedServer server{static_cast<size_t>(index - 1), {}, {}, {}};
    server.name = updateInfo_.ReadString(kListSection, number + "_Name", kListKeyAbsent);
    if (server.name == kListKeyAbsent) continue;
    server.label = updateInfo_.ReadString(kListSection, number + "_Label", kListKeyAbsent);
    if (server.label == kListKeyAbsent) continue;
    server.ip = updateInfo_.ReadString(kListSection, number + "_IP", kListKeyAbsent);
    if (server.ip == kListKeyAbsent) continue;
    listed.push_back(std::move(server));
  }

  std::lock_guard<std::mutex> guard(serverListLock_);
  if (serverList_.size() > static_cast<size_t>(count)) {
    serverList_.resize(static_cast<size_t>(count));
    if (selectedServer_ >= count) {
      selectedServer_ = -1;
      SetLoginServer("");
    }
  }
  for (ListedServer& server : listed) {
    if (server.position >= serverList_.size()) {
      serverList_.push_back({std::move(server.name), std::move(server.ip), std::move(server.label), 0, 0});
      continue;
    }
    LoginServerEntry& entry = serverList_[server.position];
    entry.name = std::move(server.name);
    entry.label = std::move(server.label);
    if (entry.ip == server.ip) continue;
    entry.ip = std::move(server.ip);
    entry.latencyMs = 0;
    // The chosen login server is the selected entry's address, also when that address moves.
    if (static_cast<int>(server.position) == selectedServer_) SetLoginServer(entry.ip);
  }
}

int PatchEngine::PickRandomLoginServer(const std::string& section) {
  const int count = updateInfo_.ReadInt(section, "LoginServerCount", 0);
  std::minstd_rand generator(platform::TickCount());
  const int draw = std::uniform_int_distribution<int>(0, kRandomDrawMax)(generator);
  std::string address = kAddressAbsent;
  if (count >= 1)
    address = updateInfo_.ReadString(section, std::to_string(RandomServerIndex(draw, count)) + "_IP", kAddressAbsent);

  SetLoginServer("");
  if (address != kAddressAbsent) {
    SetLoginServer(address);
    return 1;
  }
  if (!IsCancelled()) ShowMessage(kMessageBadServerInfo, platform::kBoxOk);
  return 0;
}

int PatchEngine::EntryCount() const {
  std::lock_guard<std::mutex> guard(serverListLock_);
  return static_cast<int>(serverList_.size());
}

std::optional<LoginServerEntry> PatchEngine::EntryAt(int index) const {
  std::lock_guard<std::mutex> guard(serverListLock_);
  if (index < 0 || static_cast<size_t>(index) >= serverList_.size()) return std::nullopt;
  return serverList_[static_cast<size_t>(index)];
}

void PatchEngine::AddEntry(const LoginServerEntry& entry) {
  LoginServerEntry copy = entry;
  copy.name = Cut(copy.name);
  copy.ip = Cut(copy.ip);
  copy.label = Cut(copy.label);
  std::lock_guard<std::mutex> guard(serverListLock_);
  serverList_.push_back(std::move(copy));
}

bool PatchEngine::SelectEntry(int index) {
  std::lock_guard<std::mutex> guard(serverListLock_);
  if (index < 0 || static_cast<size_t>(index) >= serverList_.size()) return false;
  SelectEntryLocked(static_cast<size_t>(index));
  return true;
}

int PatchEngine::ChooseShownSelection(int first, int rows) {
  std::lock_guard<std::mutex> guard(serverListLock_);
  int chosen = -1;
  const int end = std::min(first + rows, static_cast<int>(serverList_.size()));
  for (int index = std::max(first, 0); index < end; ++index)
    if (serverList_[static_cast<size_t>(index)].selected == 1) chosen = index;
  if (chosen >= 0) SelectEntryLocked(static_cast<size_t>(chosen));
  return chosen;
}

void PatchEngine::SelectEntryLocked(size_t index) {
  // Every other flag goes, not only the remembered entry's: a file may select two entries of
  // one label, and a click leaves exactly one.
  for (LoginServerEntry& entry : serverList_) entry.selected = 0;
  serverList_[index].selected = 1;
  selectedServer_ = static_cast<int>(index);
  SetLoginServer(serverList_[index].ip);
}

void PatchEngine::ClearServerSelection() {
  std::lock_guard<std::mutex> guard(serverListLock_);
  if (selectedServer_ >= 0 && static_cast<size_t>(selectedServer_) < serverList_.size())
    serverList_[static_cast<size_t>(selectedServer_)].selected = 0;
  selectedServer_ = -1;
}

bool PatchEngine::SetEntryLatency(int index, const std::string& ip, int latencyMs) {
  std::lock_guard<std::mutex> guard(serverListLock_);
  if (index < 0 || static_cast<size_t>(index) >= serverList_.size()) return false;
  LoginServerEntry& entry = serverList_[static_cast<size_t>(index)];
  if (entry.ip != ip) return false;
  entry.latencyMs = latencyMs;
  return true;
}
