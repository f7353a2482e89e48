// solane-publish: the operator's tool that turns a release folder into a patch-server folder.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/publish/Publisher.h"
#include "tools/publish/ReleaseDescription.h"
#include "tools/publish/ServerVerify.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage:\n"
               "  solane-publish [publish] DESCRIPTION RELEASE_DIR SERVER_DIR\n"
               "      writes SERVER_DIR: Update.NFO (CR LF), the released files and their zip archives.\n"
               "      SERVER_DIR is replaced as a whole and only when everything could be published.\n"
               "  solane-publish verify SERVER_DIR\n"
               "      re-reads a server folder and prints every inconsistency, one per line.\n"
               "  solane-publish stamp FILE A.B.C.D\n"
               "      sets the version record of a built program.\n\n%s",
               kReleaseDescriptionHelp);
}

int RunPublish(const std::string& description, const std::string& release, const std::string& server) {
  PublishRequest request;
  request.descriptionPath = description;
  request.releaseDir = release;
  request.serverDir = server;
  const PublishResult result = Publish(request);
  for (const std::string& warning : result.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
  for (const std::string& error : result.errors) std::fprintf(stderr, "error: %s\n", error.c_str());
  if (!result.ok) {
    std::fprintf(stderr, "nothing was published\n");
    return 1;
  }
  std::printf("published %s\n", server.c_str());
  return 0;
}

int RunVerify(const std::string& server) {
  const std::vector<std::string> problems = VerifyServerFolder(server);
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (problems.empty()) std::printf("%s: consistent\n", server.c_str());
  return problems.empty() ? 0 : 1;
}

int RunStamp(const std::string& file, const std::string& version) {
  const std::string error = StampVersion(file, version);
  if (!error.empty()) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    PrintUsage(stdout);
    return 0;
  }
  if (args.size() == 2 && args[0] == "verify") return RunVerify(args[1]);
  if (args.size() == 3 && args[0] == "stamp") return RunStamp(args[1], args[2]);
  if (args.size() == 4 && args[0] == "publish") return RunPublish(args[1], args[2], args[3]);
  if (args.size() == 3) return RunPublish(args[0], args[1], args[2]);
  PrintUsage(stderr);
  return 2;
}
