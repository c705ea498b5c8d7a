#include "windows/trusted_authority.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <fstream>
#include <iterator>

namespace test {
namespace {

// The registry part of the root store itself: the system store that wine opens for
// "ROOT" also holds the host's authorities, and a deletion through it does not reach the
// registry. The store is closed after each change, which is when wine writes it out.
HCERTSTORE OpenRootStore() {
  return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                         L"ROOT");
}

// The certificate of the PEM file at `path`, or nothing. The DER form is shorter than the
// PEM text it is read from.
std::vector<unsigned char> DerFromPemFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<unsigned char> der(pem.size());
  auto length = static_cast<DWORD>(der.size());
  if (!::CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &length,
                              nullptr, nullptr)) {
    return {};
  }
  der.resize(length);
  return der;
}

}  // namespace

TrustedAuthority::TrustedAuthority(const std::string& pem_path) : der_(DerFromPemFile(pem_path)) {
  if (der_.empty()) return;
  const HCERTSTORE store = OpenRootStore();
  if (store == nullptr) return;
  ok_ = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der_.data(),
                                           static_cast<DWORD>(der_.size()),
                                           CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
  ::CertCloseStore(store, 0);
}

TrustedAuthority::~TrustedAuthority() {
  if (!ok_) return;
  const HCERTSTORE store = OpenRootStore();
  if (store == nullptr) return;
  const PCCERT_CONTEXT wanted = ::CertCreateCertificateContext(X509_ASN_ENCODING, der_.data(),
                                                               static_cast<DWORD>(der_.size()));
  if (wanted != nullptr) {
    const PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                              CERT_FIND_EXISTING, wanted, nullptr);
    // The deletion frees `found`.
    if (found != nullptr) ::CertDeleteCertificateFromStore(found);
    ::CertFreeCertificateContext(wanted);
  }
  ::CertCloseStore(store, 0);
}

}  // namespace test
