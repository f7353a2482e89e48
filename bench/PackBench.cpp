#include "bench/PackBench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>

#include "patch/Md5.h"
#include "patch/PatchEngine.h"
#include "platform/Path.h"
#include "platform/ScriptedMessageBox.h"
#include "window/Catalogue.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kPackVersion = 7;
constexpr size_t kWriteBlockBytes = 1 << 20;
constexpr uint64_t kSmallPackBytes = 64;

// Keeps only the last status line, as a window that repaints the line would.
class LastLineWindow final : public LauncherWindow {
 public:
  void SetStatusLine(const std::string& text) override {
    std::lock_guard<std::mutex> guard(lock_);
    line_ = text;
  }
  std::string LastLine() const {
    std::lock_guard<std::mutex> guard(lock_);
    return line_;
  }
  void SetFileBarRange(int, int) override {}
  void SetFileBarPos(int) override {}
  void SetTotalBarRange(int, int) override {}
  void SetTotalBarPos(int) override {}
  void GetTotalBarRange(int& lower, int& upper) const override { lower = upper = 0; }
  void SetVersionLine(const std::string&) override {}
  void NavigateNotice(const std::string&) override {}
  void ShowStartButton(bool) override {}
  void ShowExitButton(bool) override {}
  bool IsAutoRunChecked() const override { return false; }
  bool IsWindowModeChecked() const override { return true; }
  void SaveSettings() override {}
  void RunExitProcedure() override {}
  void CloseWindow() override {}
  void ShowServerRows(int) override {}
  int ServerListTop() const override { return 0; }
  void SetServerRowLatency(int, int, const std::string&) override {}

 private:
  mutable std::mutex lock_;
  std::string line_;
};

std::string Trailer(uint32_t version) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(version >> (8 * i));
  return bytes;
}

std::string PackName(const char* stem, uint32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%05u.SPF", stem, index);
  return name;
}

// A pack of `bytes` bytes (at least the trailer) whose body differs from every other pack's.
bool WritePack(const fs::path& path, uint64_t bytes, uint32_t seed) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint64_t bodyBytes = bytes > 4 ? bytes - 4 : 0;
  std::string block(static_cast<size_t>(std::min<uint64_t>(bodyBytes, kWriteBlockBytes)), '\0');
  uint64_t state = 0x9e3779b97f4a7c15ull * (seed + 1);
  for (uint64_t written = 0; written < bodyBytes && out; written += block.size()) {
    for (size_t i = 0; i + 8 <= block.size(); i += 8) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      for (int b = 0; b < 8; ++b) block[i + b] = static_cast<char>(state >> (8 * b));
    }
    out.write(block.data(), static_cast<std::streamsize>(std::min<uint64_t>(block.size(), bodyBytes - written)));
  }
  out << Trailer(kPackVersion);
  return static_cast<bool>(out);
}

bool WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// The program sections announce this program's own version, which its copies carry.
std::string ProgramSections() {
  const std::string version = "VersionMajorHigh=" + std::to_string(SOLANE_VERSION_MAJOR) +
                              "\nVersionMajorLow=" + std::to_string(SOLANE_VERSION_MINOR) +
                              "\nVersionMinorHigh=" + std::to_string(SOLANE_VERSION_PATCH) +
                              "\nVersionMinorLow=" + std::to_string(SOLANE_VERSION_TWEAK) + "\n";
  // One login server keeps the launcher from asking about a missing one.
  return "[SolaneLauncher]\n" + version + "FileName=SolaneLauncher\n[SolaneClient]\n" + version +
         "[LoginServer]\nLoginServerCount=1\n1_IP=127.0.0.1\n";
}

// The engine of this process, fresh, on the installation in `folder`; boxes are answered
// without a player.
PatchEngine& FreshEngine(const fs::path& folder) {
  setenv("SOLANE_REGISTRY_DIR", (folder / ".registry").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  platform::SetMessageBoxProvider(std::make_shared<platform::ScriptedMessageBox>());
  PatchEngine::Destroy();
  PatchEngine& engine = PatchEngine::Instance();
  engine.SetLauncherExePathForTesting((folder / "SolaneLauncher").string());
  return engine;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool PrepareCurrentInstallation(const std::string& folder, const std::string& host, uint32_t count,
                                uint64_t packBytes, const std::string& announcementPath, bool withDigests) {
  std::error_code error;
  fs::create_directories(folder, error);
  const std::string self = platform::ExecutablePath();
  for (const char* program : {"SolaneLauncher", "SolaneClient.exe"}) {
    fs::copy_file(self, fs::path(folder) / program, fs::copy_options::overwrite_existing, error);
    if (error) return false;
  }
  if (!WriteText(fs::path(folder) / "SolaneLauncher.CFG",
                 "[SolaneLauncher.CFG]\r\nUrl_7=" + host + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n"))
    return false;

  std::string resource = "[Resource]\nResourceCount=" + std::to_string(count) + "\n";
  for (uint32_t index = 1; index <= count; ++index) {
    const std::string name = PackName("Pack", index);
    const fs::path path = fs::path(folder) / name;
    if (!WritePack(path, packBytes, index)) return false;
    const std::string key = std::to_string(index) + "_";
    resource += key + "FileName=" + name + "\n" + key + "Version=" + std::to_string(kPackVersion) + "\n";
    if (!withDigests) continue;
    const std::string digest = Md5OfFile(path.string());
    if (digest.empty()) return false;
    resource += key + "Flag=MD5\n" + key + "MD5=" + digest + "\n";
  }
  fs::create_directories(fs::path(announcementPath).parent_path(), error);
  return WriteText(announcementPath, WithCrLf(ProgramSections() + resource));
}

namespace {

struct PassTimes {
  double decisionAndPurge = 0;  // seconds
  double purgeAlone = 0;
};

bool WriteUnlistedPacks(const fs::path& folder, uint32_t count) {
  for (uint32_t index = 1; index <= count; ++index)
    if (!WriteText(folder / PackName("Unlisted", index), "unlisted")) return false;
  return true;
}

bool NoUnlistedPackLeft(const fs::path& folder, uint32_t count) {
  for (uint32_t index = 1; index <= count; ++index)
    if (fs::exists(folder / PackName("Unlisted", index))) return false;
  return true;
}

// One scratch installation of `count` current packs and as many unlisted ones.
std::optional<PassTimes> TimePackPasses(const fs::path& folder, uint32_t count) {
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder, error);
  std::string announcement = "[Resource]\nResourceCount=" + std::to_string(count) + "\n";
  std::vector<std::string> listed;
  for (uint32_t index = 1; index <= count; ++index) {
    const std::string name = PackName("Pack", index);
    if (!WritePack(folder / name, kSmallPackBytes, index)) return std::nullopt;
    listed.push_back(name);
    const std::string key = std::to_string(index) + "_";
    announcement += key + "FileName=" + name + "\n" + key + "Version=" + std::to_string(kPackVersion) + "\n";
  }
  if (!WriteUnlistedPacks(folder, count)) return std::nullopt;

  PatchEngine& engine = FreshEngine(folder);
  LastLineWindow window;
  engine.AttachWindow(&window);
  engine.MutableInfo().Parse(WithCrLf(announcement));
  engine.MutableInfo().SetLoadedPath((folder / "Temp" / "Update.NFO").string());

  PassTimes times;
  auto start = std::chrono::steady_clock::now();
  engine.UpdateResourcePacks();
  times.decisionAndPurge = SecondsSince(start);
  // A pack taken for outdated would have been fetched, which fails here without a server and
  // leaves no completion line.
  const bool allCurrent = window.LastLine() == LoadCatalogueString(126) + " " + LoadCatalogueString(117);
  const bool purged = NoUnlistedPackLeft(folder, count);

  bool purgedAlone = WriteUnlistedPacks(folder, count);
  start = std::chrono::steady_clock::now();
  engine.PurgeUnlistedPacks(listed);
  times.purgeAlone = SecondsSince(start);
  purgedAlone = purgedAlone && NoUnlistedPackLeft(folder, count);

  engine.AttachWindow(nullptr);
  PatchEngine::Destroy();
  fs::remove_all(folder, error);
  if (!allCurrent || !purged || !purgedAlone) {
    std::fprintf(stderr, "%u entries: %s\n", count,
                 !allCurrent ? "a current pack was taken for outdated" : "an unlisted pack was not purged");
    return std::nullopt;
  }
  return times;
}

}  // namespace

bool MeasurePackPasses(const std::string& folder, const std::vector<uint32_t>& entryCounts) {
  for (const uint32_t count : entryCounts) {
    const auto times = TimePackPasses(fs::path(folder) / ("passes-" + std::to_string(count)), count);
    if (!times) return false;
    std::printf("pack passes, %u entries: decision pass and purge %.1f us per entry, purge alone %.1f us per entry\n",
                count, times->decisionAndPurge * 1e6 / count, times->purgeAlone * 1e6 / count);
    std::fflush(stdout);
  }
  return true;
}
