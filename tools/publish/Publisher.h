#pragma once
// Turns a release folder and its description (ReleaseDescription.h) into a patch-server folder:
// Update.NFO, the released files under their names and the zip archives that it announces.

#include <cstdint>
#include <string>
#include <vector>

struct PublishRequest {
  std::string releaseDir;
  std::string descriptionPath;  // read when descriptionText is empty
  std::string descriptionText;
  std::string serverDir;        // replaced as a whole, and only when the publish succeeds
  // The publisher's private key (keygen's publisher.key); empty: an unsigned release as before.
  // With one, Update.NFO also announces a SHA-256 for every file and a Serial above the server
  // folder's last one, and Update.NFO.sig holds the signature over its exact bytes.
  std::string signingKeyPath;
};

struct PublishResult {
  bool ok = false;
  std::vector<std::string> errors;    // each names the file, section or line it is about
  std::vector<std::string> warnings;  // published anyway
  std::string updateInfo;             // the Update.NFO text that was written
  uint64_t serial = 0;                // the signed release's Serial; 0 when unsigned
};

// Publishes the release. Refuses (ok false, nothing written, an existing server folder left as
// it was) whatever an installation would reject or mishandle: a missing launcher or client, no
// packs, a program without a version, a pack without a version of 1 or more or whose announced
// version differs from its own, a value the launcher would cut or drop, a name that leaves the
// folder, two files or archives of one name, a deleted file that is also published, no login
// server, a client under another name than the one installations start, a file too big to zip.
// Warns of files in the release folder that the description does not name. The server folder
// is built beside its final place and renamed into it at the end.
PublishResult Publish(const PublishRequest& request);

// Sets the version record of a built program to "A.B.C.D" (each part 0 to 65535); a Linux
// program built without one gets a version note. Returns an error text, empty on success.
std::string StampVersion(const std::string& path, const std::string& versionText);
