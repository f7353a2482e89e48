// solane-publish: the operator's tool that turns a release folder into a patch-server folder.

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/publish/Publisher.h"
#include "tools/publish/ReleaseDescription.h"
#include "tools/publish/ServerVerify.h"
#include "tools/publish/Signing.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage:\n"
               "  solane-publish [publish] [--sign PRIVATE_KEY] DESCRIPTION RELEASE_DIR SERVER_DIR\n"
               "      writes SERVER_DIR: Update.NFO (CR LF), the released files and their zip archives.\n"
               "      SERVER_DIR is replaced as a whole and only when everything could be published.\n"
               "      --sign also writes Update.NFO.sig, a SHA256 for every file and a growing Serial.\n"
               "  solane-publish verify [--key PUBLIC_KEY] SERVER_DIR\n"
               "      re-reads a server folder and prints every inconsistency, one per line; with the\n"
               "      public key (publisher.pub or its text) it also checks the signature.\n"
               "  solane-publish keygen DIR\n"
               "      makes the publisher's key pair: DIR/publisher.key (private, owner only) and\n"
               "      DIR/publisher.pub (the PublisherKey of SolaneLauncher.CFG).\n"
               "  solane-publish stamp FILE A.B.C.D\n"
               "      sets the version record of a built program; a Linux program built without the\n"
               "      version note gets one.\n\n%s",
               kReleaseDescriptionHelp);
}

int RunPublish(const std::string& description, const std::string& release, const std::string& server,
               const std::string& signingKey) {
  PublishRequest request;
  request.descriptionPath = description;
  request.releaseDir = release;
  request.serverDir = server;
  request.signingKeyPath = signingKey;
  const PublishResult result = Publish(request);
  for (const std::string& warning : result.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
  for (const std::string& error : result.errors) std::fprintf(stderr, "error: %s\n", error.c_str());
  if (!result.ok) {
    std::fprintf(stderr, "nothing was published\n");
    return 1;
  }
  std::printf("published %s\n", server.c_str());
  if (result.serial != 0) std::printf("signed Update.NFO, serial %llu\n", static_cast<unsigned long long>(result.serial));
  return 0;
}

int RunVerify(const std::string& server, const std::string& keyText) {
  std::optional<ReleaseKey> key;
  if (!keyText.empty() && !(key = ReadPublicKey(keyText))) {
    std::fprintf(stderr, "error: %s is no public key (publisher.pub or its base64 text)\n", keyText.c_str());
    return 2;
  }
  const std::vector<std::string> problems = VerifyServerFolder(server, key);
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (problems.empty()) std::printf("%s: consistent%s\n", server.c_str(), key ? ", signature verified" : "");
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

int RunKeygen(const std::string& folder) {
  const KeyPairResult pair = GenerateKeyPair(folder);
  if (!pair.error.empty()) {
    std::fprintf(stderr, "error: %s\n", pair.error.c_str());
    return 1;
  }
  std::printf("private key: %s (keep it secret; publish --sign uses it)\n"
              "public key:  %s\n"
              "installations check releases once SolaneLauncher.CFG holds:\n  PublisherKey=%s\n",
              pair.privateKeyPath.c_str(), pair.publicKeyPath.c_str(), pair.publicKeyBase64.c_str());
  return 0;
}

// Takes "NAME VALUE" out of the arguments; false when NAME is there without a value.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != name) continue;
    if (i + 1 >= args.size()) return false;
    value = args[i + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    return true;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    PrintUsage(stdout);
    return 0;
  }
  std::string signingKey, publicKey;
  const bool optionsRead = TakeOption(args, "--sign", signingKey) && TakeOption(args, "--key", publicKey);
  if (!args.empty() && args[0] == "publish") args.erase(args.begin());
  const std::string command = args.empty() ? "" : args[0];
  const bool noSigningKey = signingKey.empty();
  const bool noPublicKey = publicKey.empty();
  if (optionsRead && command == "verify" && args.size() == 2 && noSigningKey) return RunVerify(args[1], publicKey);
  if (optionsRead && command == "keygen" && args.size() == 2 && noSigningKey && noPublicKey) return RunKeygen(args[1]);
  if (optionsRead && command == "stamp" && args.size() == 3 && noSigningKey && noPublicKey) return RunStamp(args[1], args[2]);
  const bool isCommand = command == "verify" || command == "keygen" || command == "stamp";
  if (optionsRead && !isCommand && args.size() == 3 && noPublicKey) return RunPublish(args[0], args[1], args[2], signingKey);
  PrintUsage(stderr);
  return 2;
}
