#include "tests/support/PublishedRelease.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include "tests/support/RunProgram.h"
#else
#include "tools/publish/Publisher.h"
#endif

namespace {

// Copies `builtPath` to `target`; an error text, empty on success.
std::string CopyProgram(const std::string& builtPath, const std::string& target) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(target).parent_path(), error);
  std::filesystem::copy_file(builtPath, target, std::filesystem::copy_options::overwrite_existing, error);
  return error ? "cannot copy " + builtPath + " to " + target + ": " + error.message() : "";
}

}  // namespace

#ifdef _WIN32
// The Windows build has no publisher of its own (its signing needs the host's libcrypto): the
// Linux build's solane-publish runs as a host program, given the host paths of the folders.
std::string BuiltLauncher() { return std::string(SOLANE_BINARY_DIR) + "/SolaneLauncher.exe"; }
std::string BuiltClientStandin() { return std::string(SOLANE_BINARY_DIR) + "/tools/SolaneClientStandin.exe"; }

namespace {

std::string Publisher(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{SOLANE_HOST_PUBLISH};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const ProgramResult result = RunProgram(argv);
  if (result.exitCode == 0) return "";
  return "solane-publish ended with " + std::to_string(result.exitCode) + ": " + result.output +
         (result.output.empty() || result.output.back() != '\n' ? "\n" : "");
}

}  // namespace

std::string InstallProgram(const std::string& builtPath, const std::string& target, const std::string& version) {
  const std::string copied = CopyProgram(builtPath, target);
  return copied.empty() ? Publisher({"stamp", target, version}) : copied;
}

std::string PublishedRelease::PublishTo(const std::string& serverDir, const std::string& description,
                                        const std::string& signingKey) const {
  ScratchDir scratch;
  const std::string descriptionPath = scratch.Write("release.txt", description);
  if (descriptionPath.empty()) return "cannot write the release's description\n";
  std::vector<std::string> arguments{"publish"};
  if (!signingKey.empty()) arguments.insert(arguments.end(), {"--sign", signingKey});
  arguments.insert(arguments.end(), {descriptionPath, dir_.Path(), serverDir});
  return Publisher(arguments);
}
#else
std::string BuiltLauncher() { return std::string(SOLANE_BINARY_DIR) + "/SolaneLauncher"; }
std::string BuiltClientStandin() { return std::string(SOLANE_BINARY_DIR) + "/tools/SolaneClientStandin"; }

std::string InstallProgram(const std::string& builtPath, const std::string& target, const std::string& version) {
  const std::string copied = CopyProgram(builtPath, target);
  return copied.empty() ? StampVersion(target, version) : copied;
}

std::string PublishedRelease::PublishTo(const std::string& serverDir, const std::string& description,
                                        const std::string& signingKey) const {
  PublishRequest request;
  request.releaseDir = dir_.Path();
  request.descriptionText = description;
  request.serverDir = serverDir;
  request.signingKeyPath = signingKey;
  const PublishResult result = Publish(request);
  std::string errors;
  for (const std::string& error : result.errors) errors += error + "\n";
  if (!result.ok && errors.empty()) errors = "the publish failed without a reason\n";
  return errors;
}
#endif
