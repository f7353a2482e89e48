#pragma once
// Turning the patch host's name into the address text the download session is given.

#include <string>

// The host's numeric address; the host text itself when it cannot be resolved (also for a text
// that carries a scheme or a port, which the session reads as it stands).
std::string ResolveHostAddress(const std::string& host, const std::string& service);
