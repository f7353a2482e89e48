#pragma once
// Remote file names turned into request addresses.

#include <string>
#include <string_view>

// The address of `remotePath` on `host`: host + "/" + path. A host that names its scheme
// ("https://patch.example:8443") keeps it, any other gets `defaultScheme` ("http" or "ftp").
// In the path "\" becomes "/" and every byte but the unreserved ones (letters, digits, "-", ".",
// "_", "~") of each segment is percent-encoded, so blanks, "#", "?" and non-ASCII names arrive
// as written. Separators at the join are not doubled.
std::string BuildTransferUrl(std::string_view host, std::string_view remotePath,
                             std::string_view defaultScheme);

// True when `host` starts with a scheme ("name://").
bool HostHasScheme(std::string_view host);

// Percent-encodes one path segment as above.
std::string EncodePathSegment(std::string_view segment);
