#include <windows.h>
#include <wincrypt.h>

#include "tests/support/TestAuthority.h"

TrustedAuthority::TrustedAuthority(const TestAuthority& authority) {
  if (!authority.IsReady()) return;
  const std::string pem = FileBytes(authority.CertificatePath());
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                            nullptr, nullptr))
    return;
  std::string der(size, '\0');
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr))
    return;
  // The machine's root store in the registry, from which the trusted roots are read (the system
  // store "Root" of the same name is a copy, whatever is added to it).
  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (root == nullptr) return;
  PCCERT_CONTEXT added = nullptr;
  trusted_ = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), size,
                                              CERT_STORE_ADD_REPLACE_EXISTING, &added) != FALSE;
  added_ = added;
  CertCloseStore(root, 0);
}

TrustedAuthority::~TrustedAuthority() {
  // The store keeps the authority after the test otherwise: its key is gone with the scratch folder.
  if (added_ != nullptr) CertDeleteCertificateFromStore(static_cast<PCCERT_CONTEXT>(added_));
}
