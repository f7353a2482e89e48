#include "tests/support/TestAuthority.h"

TrustedAuthority::TrustedAuthority(const TestAuthority& authority) {
  if (!authority.IsReady()) return;
  bundle_.emplace("CURL_CA_BUNDLE", authority.CertificatePath());
  trusted_ = true;
}

TrustedAuthority::~TrustedAuthority() = default;
