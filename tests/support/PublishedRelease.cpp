#include "tests/support/PublishedRelease.h"

#include <filesystem>
#include <system_error>

#include "tools/publish/Publisher.h"

std::string BuiltLauncher() { return std::string(SOLANE_BINARY_DIR) + "/SolaneLauncher"; }
std::string BuiltClientStandin() { return std::string(SOLANE_BINARY_DIR) + "/tools/SolaneClientStandin"; }

std::string InstallProgram(const std::string& builtPath, const std::string& target, const std::string& version) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(target).parent_path(), error);
  std::filesystem::copy_file(builtPath, target, std::filesystem::copy_options::overwrite_existing, error);
  if (error) return "cannot copy " + builtPath + " to " + target + ": " + error.message();
  return StampVersion(target, version);
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
