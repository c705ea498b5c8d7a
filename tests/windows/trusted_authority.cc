#include "windows/trusted_authority.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <fstream>
#include <iterator>
#include <vector>

namespace test {

bool TrustAuthority(const std::string& pem_path) {
  std::ifstream in(pem_path, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<unsigned char> der(pem.size());  // the DER form is shorter than its PEM text
  auto length = static_cast<DWORD>(der.size());
  if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &length,
                              nullptr, nullptr)) {
    return false;
  }
  // The registry part of the root store itself: the system store that wine opens for "ROOT"
  // also holds the host's authorities. Wine writes the store out when it is closed.
  const HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                           CERT_SYSTEM_STORE_CURRENT_USER, L"ROOT");
  if (store == nullptr) return false;
  const bool added =
      ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), length,
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
  ::CertCloseStore(store, 0);
  return added;
}

}  // namespace test
