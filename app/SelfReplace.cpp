// Replacing the launcher's own executable: the installed launcher hands over to a copy started
// from the temporary folder, which copies itself over the installed file and starts it.

#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "patch/UpdateInfo.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/FileSystemPath.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "platform/RunningExecutable.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kLauncherTag = "SolaneLauncher-VANTIK";
constexpr int kLaunchAttempts = 3;
constexpr const char* kReplacementSuffix = ".replacement";
constexpr const char* kTempFolderName = "Temp";

void ShowLauncherMessage(std::initializer_list<int> ids) {
  std::string text;
  for (int id : ids) {
    if (!text.empty()) text += ' ';
    text += LoadCatalogueString(id);
  }
  platform::ShowMessageBox(text, platform::kBoxOk | platform::kBoxIconExclamation);
}

// The text from the end of `key` up to the next " /" at or after the key; empty when no " /" follows.
std::string ValueOnRawLine(const std::string& line, size_t keyPos, size_t keyLength, size_t& closer) {
  closer = line.find(" /", keyPos);
  if (closer == std::string::npos) return {};
  size_t valueStart = keyPos + keyLength;
  return closer > valueStart ? line.substr(valueStart, closer - valueStart) : std::string();
}

// The switches of a replacement run are public, so only the launcher's own copy may take a
// target's place: one that runs from the temporary folder beside the target (or a folder below
// it) under the target's file name. Anything else would let any command line overwrite and
// start any file its user can write.
bool IsOwnCopyFor(const std::string& self, const std::string& target) {
  namespace fs = std::filesystem;
  const fs::path targetPath = platform::FileSystemPath(platform::ToNativePath(target));
  const fs::path selfPath = platform::FileSystemPath(self);
  if (!targetPath.is_absolute() || targetPath.filename() != selfPath.filename()) return false;
  std::error_code error;
  const fs::path ownFolder = fs::canonical(selfPath.parent_path(), error);
  if (error) return false;
  const fs::path tempFolder = fs::canonical(targetPath.parent_path() / kTempFolderName, error);
  if (error) return false;
  // Compared by whole components: "Temp2" does not lie in "Temp".
  return std::mismatch(tempFolder.begin(), tempFolder.end(), ownFolder.begin(), ownFolder.end()).first ==
         tempFolder.end();
}

struct Replacement {
  std::string target;  // the installed launcher's path
  size_t tagEnd;       // where the " /" after the tag stands on the command line
};

// What a replacement run asks of this launcher, none when it is not a request that this launcher
// may carry out.
std::optional<Replacement> RequestedReplacement(const std::string& commandLine, const std::string& self) {
  size_t toPos = commandLine.find("/TO:");
  size_t execPos = commandLine.find("/EXEC:");
  if (toPos == std::string::npos || execPos == std::string::npos) return std::nullopt;
  size_t targetEnd = 0, tagEnd = 0;
  std::string target = ValueOnRawLine(commandLine, toPos, 4, targetEnd);
  std::string tag = ValueOnRawLine(commandLine, execPos, 6, tagEnd);
  if (target.empty() || tag != kLauncherTag || !IsOwnCopyFor(self, target)) return std::nullopt;
  return Replacement{target, tagEnd};
}

// The hand-over's entry options go in front of the launcher's switches.
std::string WithOptions(const std::string& options, const std::string& parameters) {
  return options.empty() ? parameters : options + " " + parameters;
}

bool CopyOwnProgramTo(const std::string& self, const std::string& target) {
  // The replacement moves its source away. This launcher must keep its own file: after a failure
  // it goes on as an ordinary launcher that checks its own version, and after success the file
  // goes with the temporary folder in a later run. The copy is complete and flushed before it
  // takes the target's name, and the old launcher may still be ending while it does.
  const std::string replacement = self + kReplacementSuffix;
  const bool replaced = platform::CopyFileTo(self, replacement, true) &&
                        platform::ReplaceRunningExecutable(replacement, target);
  // Left behind when it was copied across file systems or the replacement failed.
  if (platform::PathExists(replacement)) platform::RemoveTree(replacement);
  return replaced;
}

}  // namespace

bool PatchEngine::RelaunchFromTemp() {
  // The name is the download's, relative to the temporary folder and possibly with folders.
  const std::string pending = PendingLauncherFile();
  if (!IsSafeInstallName(pending)) return false;
  const std::string program = platform::JoinPath(TempDir(), pending);

  std::string parameters = "/TO:" + LauncherExePath();
  parameters += std::string(" /EXEC:") + kLauncherTag;
  parameters += " /LOCALE:" + std::string(LocaleCode(GetLocale()));
  parameters += " /PUBLISHER:" + std::string(PublisherCode(GetPublisher()));
  std::string webArgument = WebArgument();
  if (!webArgument.empty()) parameters += " /WEBARG:" + webArgument;
  parameters += " /";
  // The download arrives as plain data; without the program bit the start would be refused.
  platform::MakeExecutable(program);
  return ShellLaunch(platform::ParentOf(program), platform::FileNameOf(program),
                     WithOptions(handOverOptions_, parameters));
}

bool PatchEngine::IsReplacementRun(const std::string& commandLine) {
  return commandLine.find("/TO:") != std::string::npos && commandLine.find("/EXEC:") != std::string::npos;
}

void PatchEngine::AdoptReplacedInstallation(const std::string& commandLine) {
  if (const std::optional<Replacement> replacement = RequestedReplacement(commandLine, LauncherExePath()))
    replacedInstallationDir_ = platform::ParentOf(replacement->target);
}

bool PatchEngine::ReplaceSelf(const std::string& commandLine) {
  const std::string self = LauncherExePath();
  const std::optional<Replacement> replacement = RequestedReplacement(commandLine, self);
  if (!replacement) {
    ShowLauncherMessage({kLabelLauncher, kMessageUpdateFailed, kMessagePathWrong});
    return false;
  }
  const std::string& target = replacement->target;

  // The player's acknowledgement gives the old launcher time to end.
  ShowLauncherMessage({kLabelLauncher, kMessageStarting});
  if (!CopyOwnProgramTo(self, target)) {
    // The installed launcher is as it was and fetches the new one again at its next start.
    ShowLauncherMessage({kLabelLauncher, kMessageUpdateFailed, kMessageCopyFailed});
    return false;
  }

  std::string folder = platform::ParentOf(target);
  std::string file = platform::FileNameOf(target);
  std::string parameters = std::string("/EXEC:") + kLauncherTag + commandLine.substr(replacement->tagEnd);
  parameters = WithOptions(handOverOptions_, parameters);
  ShowLauncherMessage({kLabelLauncher, kMessageCompleted});
  for (int attempt = 0; attempt < kLaunchAttempts; ++attempt) {
    if (ShellLaunch(folder, file, parameters)) return true;
    platform::SleepMs(500);
  }
  ShowLauncherMessage({kLabelLauncher, kMessageUpdateFailed, kMessageDownloadFromWebsite});
  return false;
}
