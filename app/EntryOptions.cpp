#include "app/EntryOptions.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

#include "patch/FileVersion.h"
#include "platform/Path.h"

namespace {

constexpr std::string_view kLimitRate = "--limit-rate=";

// A whole number of kilobytes (1,000 bytes) per second, 0 for none; none when malformed.
std::optional<uint32_t> ParseKBps(std::string_view text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

EntryOptions ExtractEntryOptions(const std::vector<std::string>& arguments) {
  EntryOptions options;
  for (const std::string& argument : arguments) {
    if (argument.starts_with(kLimitRate)) {
      const std::optional<uint32_t> rate = ParseKBps(std::string_view(argument).substr(kLimitRate.size()));
      if (rate)
        options.limitRateKBps = *rate;
      else
        options.error = "SolaneLauncher: " + argument + ": the limit is a whole number of kilobytes per second";
      continue;
    }
    if (argument == "--console") {
      options.console = true;
    } else if (argument == "--autorun") {
      options.autorun = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--verify") {
      options.verify = true;
    } else if (argument.starts_with("--")) {
      // A mistyped option must not start an update that the player did not ask for.
      options.error = "SolaneLauncher: " + argument + ": unknown option";
    } else {
      if (!options.commandLine.empty()) options.commandLine += ' ';
      options.commandLine += argument;
    }
  }
  return options;
}

std::string HandOverOptions(const EntryOptions& options) {
  // The player chose these; the launcher that continues the run is still the player's.
  std::string text;
  auto add = [&](const std::string& option) { text += (text.empty() ? "" : " ") + option; };
  if (options.console) add("--console");
  if (options.verify) add("--verify");
  if (options.limitRateKBps > 0) add(std::string(kLimitRate) + std::to_string(options.limitRateKBps));
  return text;
}

std::string EntryUsage() {
#ifdef _WIN32
  // Windows always has a desktop to open the window on.
  const char* console = "  --console         use the console instead of the window\n";
#else
  const char* console = "  --console         use the terminal instead of the window (also without a display)\n";
#endif
  return "Usage: SolaneLauncher [--console] [--autorun] [--verify] [--limit-rate=KBPS] [/LOCALE:code] [/PUBLISHER:code]\n"
         "                      [/WEBARG:text] /\n"
         "\n"
         "Brings the Solane installation beside this program up to date, then starts the game.\n"
         "\n"
         "Launcher switches (each is taken only when a later \" /\" follows it, so end the line with \" /\"):\n"
         "  /LOCALE:code      KOREA, JAPAN, CHINA or USA (overrides LOCALE in SolaneLauncher.CFG)\n"
         "  /PUBLISHER:code   ORVEX, KESTRIL, VORN, HALVERSTON, MIRELLA or QUADRIUM\n"
         "  /WEBARG:text      handed on to the game client\n"
         "\n"
         "Options:\n"
         + std::string(console) +
         "  --autorun         start the game as soon as the update has finished\n"
         "  --verify          check every installed file by its contents (repairs a damaged installation)\n"
         "  --limit-rate=KBPS download at most KBPS kilobytes (1,000 bytes) per second\n"
         "  --version         print the launcher's version\n"
         "  --help, -h        print this text\n"
         "\n"
         "An unknown \"--\" option or a malformed value ends the launcher with exit code 2.\n";
}

std::string LauncherVersionText() {
  // The note is what the update check compares, so it is what the launcher reports; a program
  // built without one reports the version it was compiled as.
  const std::optional<VersionWords> words = ReadVersionWords(platform::ExecutablePath());
  if (!words || (words->high == 0 && words->low == 0)) return SOLANE_VERSION_TEXT;
  char text[48];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", words->high >> 16, words->high & 0xffff, words->low >> 16,
                words->low & 0xffff);
  return text;
}
