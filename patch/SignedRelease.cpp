// Signed releases. With a publisher key Update.NFO counts only when its signature (fetched
// beside it as Update.NFO.sig) verifies over its exact bytes and its serial is not below the
// highest one this installation accepted under that key, so that an old release cannot be
// replayed; every file it names is then checked by the SHA-256 that the signed text gives.
// Once an installation has accepted a signed release, its record (ReleaseTrust) keeps these
// checks on and bound to that key, whatever the configuration file says later. Without a key
// and without a record nothing of this runs and the launcher behaves as it always did.

#include "app/Settings.h"
#include "patch/PatchEngine.h"
#include "patch/ReleaseTrust.h"
#include "platform/AsciiText.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kBuiltInKey = SOLANE_PUBLISHER_KEY;
constexpr const char* kInfoFile = "Update.NFO";
constexpr const char* kSignatureSuffix = ".sig";
constexpr const char* kLauncherSection = "SolaneLauncher";

}  // namespace

void PatchEngine::LoadPublisherKey() {
  // A built-in key wins: whoever may edit the configuration file must not be able to switch the
  // checks to a key of their own.
  const std::string text = *kBuiltInKey != '\0' ? std::string(kBuiltInKey) : ReadSetting(kSettingPublisherKey);
  publisherKey_ = text.empty() ? std::nullopt : ReleaseKey::FromBase64(text);
  publisherKeyGiven_ = !text.empty();
  // A key that cannot be read still demands signatures, and so does an installation that has
  // accepted a signed release or whose record cannot be read: a key line mistyped or gone, or an
  // unreadable file, must not switch them off.
  const std::optional<ReleaseTrust> trust = ReleaseTrust::Read(InstallationDir());
  signingRequired_ = !text.empty() || !trust || trust->Pinned();
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
  const std::optional<ReleaseTrust> trust = ReleaseTrust::Read(InstallationDir());
  if (!trust) return RefuseUpdateInfo(kMessageTrustUnreadable);
  if (!publisherKey_) return RefuseUpdateInfo(publisherKeyGiven_ ? kMessagePublisherKeyInvalid : kMessageTrustedKeyMissing);
  if (!trust->Admits(publisherKey_->Fingerprint())) return RefuseUpdateInfo(kMessageTrustedKeyMissing);
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
  std::optional<ReleaseTrust> trust = ReleaseTrust::Read(InstallationDir());
  if (!trust) return RefuseUpdateInfo(kMessageTrustUnreadable);
  if (!publisherKey_) return RefuseUpdateInfo(kMessagePublisherKeyInvalid);
  const std::string fingerprint = publisherKey_->Fingerprint();
  const std::optional<uint64_t> serial = ParseReleaseSerial(updateInfo_.ReadString(kLauncherSection, "Serial", ""));
  const std::optional<uint64_t> highest = trust->HighestSerial(fingerprint);
  // The same release comes again on every run; only an older one is refused.
  if (!serial || (highest && *serial < *highest)) return RefuseUpdateInfo(kMessageSerialRefused);
  // A serial that is not kept would let the next run take an older release again.
  if ((!highest || *serial > *highest) && !trust->Raise(fingerprint, *serial))
    return RefuseUpdateInfo(kMessageTrustNotWritten);
  SetStatusText(std::string(kInfoFile) + " " + LoadCatalogueString(kMessageSignatureVerified));
  return true;
}

int PatchEngine::Sha256Problem(const std::string& path, const std::string& sha256) {
  if (sha256.size() != 64) return kMessageNoSha256;
  const std::string actual = Sha256OfFile(path, [this] { return IsCancelled(); });
  return !actual.empty() && platform::EqualsIgnoringCase(actual, sha256) ? 0 : kMessageDigestMismatch;
}
