// Shows the Windows launcher window of one regional layout on a scripted update, without a
// server: status lines and both bars over three files, a pause half-way, then the completed
// message and the START button. The China and USA layouts get a login server list whose
// latencies arrive as a probe would bring them.
//
//   SolaneWindowPreview <LOCALE> <PUBLISHER> [HALF-WAY]
//
// HALF-WAY: how long the update pauses half-way, in milliseconds (1500 by default), or a file
// whose appearance ends the pause (a test looks at the bars meanwhile).
//
// Prints "client-origin X Y" (the client area's top-left on the screen) once the window exists.
// The window stays until the player closes it; the exit button asks message 118 until the player
// confirms, as over a running update.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "platform/ProgramArguments.h"
#include "servers/LoginServerEntry.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"
#include "window/win32/Win32Window.h"

namespace {

struct PreviewFile {
  const char* name;
  int sizeKiB;
};
constexpr PreviewFile kFiles[] = {{"SolaneClient.exe", 2400}, {"Data01.SPF", 5200}, {"Data02.SPF", 3100}};
constexpr int kSteps = 20;

void Pause(const std::atomic<bool>& stop, int ms) {
  for (int waited = 0; waited < ms && !stop.load(); waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void PauseHalfWay(const std::atomic<bool>& stop, const std::string& halfWay) {
  if (halfWay.find_first_not_of("0123456789") == std::string::npos) return Pause(stop, std::stoi(halfWay));
  std::error_code error;
  while (!stop.load() && !std::filesystem::exists(halfWay, error)) Pause(stop, 50);
}

// The engine's part in an update, played on the window through LauncherWindow from a thread of
// its own, as the update sequence would.
void PlayUpdate(LauncherWindow& window, PatchEngine& engine, const std::string& halfWay, const std::atomic<bool>& stop) {
  window.ShowStartButton(false);
  window.ShowExitButton(true);
  window.SetStatusLine(LoadCatalogueString(kMessageStarting));
  window.SetVersionLine("1.0.4.27  Spring festival update");
  int totalKiB = 0;
  for (const PreviewFile& file : kFiles) totalKiB += file.sizeKiB;
  window.SetTotalBarRange(0, totalKiB);
  window.SetTotalBarPos(0);
  int doneKiB = 0;
  for (size_t index = 0; index < std::size(kFiles) && !stop.load(); ++index) {
    const PreviewFile& file = kFiles[index];
    window.SetStatusLine(std::string(file.name) + " " + LoadCatalogueString(kMessageDownloading));
    window.SetFileBarRange(0, file.sizeKiB);
    for (int step = 1; step <= kSteps && !stop.load(); ++step) {
      const int pos = file.sizeKiB * step / kSteps;
      window.SetFileBarPos(pos);
      window.SetTotalBarPos(doneKiB + pos);
      // Half-way through the second file both bars are partly filled.
      if (index == 1 && step == kSteps / 2) PauseHalfWay(stop, halfWay);
      Pause(stop, 40);
    }
    doneKiB += file.sizeKiB;
  }
  // Latencies as the probe measures them, row by row.
  for (int index = 0; index < engine.EntryCount() && !stop.load(); ++index) {
    const std::optional<LoginServerEntry> entry = engine.EntryAt(index);
    const int latencyMs = 20 + 37 * index % 180;
    if (!entry || !engine.SetEntryLatency(index, entry->ip, latencyMs)) continue;
    const int row = index - window.ServerListTop();
    if (row >= 0 && row < LauncherWindow::kServerRows) window.SetServerRowLatency(row, index, LatencyText(latencyMs));
  }
  if (stop.load()) return;
  window.SetStatusLine(LoadCatalogueString(kMessageCompleted));
  window.ShowStartButton(true);
}

void AddPreviewServers(PatchEngine& engine) {
  for (int number = 1; number <= 20; ++number) {
    LoginServerEntry entry;
    entry.name = "Server " + std::to_string(number);
    entry.ip = "127.0.0." + std::to_string(number);
    entry.label = "preview-" + std::to_string(number);
    entry.selected = number == 2 ? 1 : 0;
    engine.AddEntry(entry);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: SolaneWindowPreview <LOCALE> <PUBLISHER> [HALF-WAY]\n");
    return 2;
  }
  const std::string halfWay = arguments.size() > 2 && !arguments[2].empty() ? arguments[2] : "1500";
  PatchEngine& engine = PatchEngine::Instance();
  engine.ParseCommandLineForTesting("/LOCALE:" + arguments[0] + " /PUBLISHER:" + arguments[1] + " /");
  engine.ResolveLocale();
  engine.ResolvePublisher();
  const WindowLayout layout = ProfileFor(engine.GetLocale(), engine.GetPublisher()).layout;

  std::unique_ptr<Win32Window> window = CreateLauncherWindow(engine, layout);
  if (!window) {
    std::fprintf(stderr, "the system refused the window\n");
    return 1;
  }
  if (engine.UsesServerList()) {
    AddPreviewServers(engine);
    window->ShowServerRows(0);
  }
  int x = 0, y = 0;
  window->ClientOrigin(x, y);
  std::printf("client-origin %d %d\n", x, y);
  std::fflush(stdout);

  std::atomic<bool> stop{false};
  std::thread script([&] { PlayUpdate(*window, engine, halfWay, stop); });
  window->RunModal(false);
  stop = true;
  script.join();
  return 0;
}
