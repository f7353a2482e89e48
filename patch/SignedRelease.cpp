// Signed releases. With a publisher key Update.NFO counts only when its signature (fetched
// beside it as Update.NFO.sig) verifies over its exact bytes and its serial is not below the
// highest one this machine accepted, so that an old release cannot be replayed; every file it
// names is then checked by the SHA-256 that the signed text gives. Without a key nothing of this
// runs and the launcher behaves as it always did.

#include "app/RegistrySettings.h"
#include "app/Settings.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kBuiltInKey = SOLANE_PUBLISHER_KEY;
constexpr const char* kInfoFile = "Update.NFO";
constexpr const char* kSignatureSuffix = ".sig";
constexpr const char* kLauncherSection = "SolaneLauncher";
constexpr const char* kSerialValue = "ReleaseSerial";

RegistryLocation SerialLocation() { return {platform::RegistryRoot::LocalMachine, kDefaultRegistryPath}; }

}  // namespace

void PatchEngine::LoadPublisherKey() {
  // A built-in key wins: whoever may edit the configuration file must not be able to switch the
  // checks to a key of their own.
  const std::string text = *kBuiltInKey != '\0' ? std::string(kBuiltInKey) : ReadSetting(kSettingPublisherKey);
  publisherKey_ = text.empty() ? std::nullopt : ReleaseKey::FromBase64(text);
  // A key that cannot be read still demands signatures: a typing mistake must not switch them off.
  signingRequired_ = !text.empty();
}

PatchEngine::AnnouncedDigest PatchEngine::AnnouncedDigestOf(const std::string& section, const std::string& prefix) const {
  return {updateInfo_.ReadString(section, prefix + "MD5", "No"), updateInfo_.ReadString(section, prefix + "SHA256", "No")};
}

// Nothing of a refused file stays readable; the status line says why it was refused.
bool PatchEngine::RefuseUpdateInfo(int messageId) {
  updateInfo_.Parse("");
  updateInfo_.SetLoadedPath("");
  SetStatusText(std::string(kInfoFile) + " " + LoadCatalogueString(messageId));
  return false;
}

bool PatchEngine::CheckReleaseSignature(const std::string& fileName, const std::string& body) {
  if (!RequiresSignedRelease()) return true;
  if (!publisherKey_) return RefuseUpdateInfo(kMessagePublisherKeyInvalid);
  // Fetched the same way as the file itself; a server without one answers 404, which is no
  // transfer failure but an unsigned file.
  const std::optional<std::string> signature = FetchIntoMemory(fileName + kSignatureSuffix);
  if (IsCancelled()) return false;
  switch (signature ? CheckSignatureText(*publisherKey_, body, *signature) : SignatureCheck::Unreadable) {
    case SignatureCheck::Valid: return true;
    case SignatureCheck::Unreadable: return RefuseUpdateInfo(kMessageSignatureUnreadable);
    case SignatureCheck::Mismatch: break;
  }
  return RefuseUpdateInfo(kMessageSignatureMismatch);
}

bool PatchEngine::AcceptReleaseSerial() {
  if (!RequiresSignedRelease()) return true;
  const std::optional<uint64_t> serial = ParseReleaseSerial(updateInfo_.ReadString(kLauncherSection, "Serial", ""));
  const std::optional<uint64_t> highest = ParseReleaseSerial(ReadRegistryText(SerialLocation(), kSerialValue));
  // The same release comes again on every run; only an older one is refused.
  if (!serial || (highest && *serial < *highest)) return RefuseUpdateInfo(kMessageSerialRefused);
  if (!highest || *serial > *highest)
    WriteRegistryValue(SerialLocation(), kSerialValue, std::to_string(*serial), platform::kRegSz);
  SetStatusText(std::string(kInfoFile) + " " + LoadCatalogueString(kMessageSignatureVerified));
  return true;
}

int PatchEngine::Sha256Problem(const std::string& path, const std::string& sha256) {
  if (sha256.size() != 64) return kMessageNoSha256;
  const std::string actual = Sha256OfFile(path, [this] { return IsCancelled(); });
  return !actual.empty() && platform::EqualsIgnoringCase(actual, sha256) ? 0 : kMessageDigestMismatch;
}
