// A test certificate authority put into the current user's root certificate store, where
// WinHTTP looks for the authorities it trusts, and taken out again.
#ifndef STATEKEEPER_TESTS_WINDOWS_TRUSTED_AUTHORITY_H_
#define STATEKEEPER_TESTS_WINDOWS_TRUSTED_AUTHORITY_H_

#include <string>
#include <vector>

namespace test {

// Adds the PEM certificate in the file at `pem_path` to the store; ok() says whether it
// was added. Windows asks the operator to confirm a new root authority, so this is for
// wine prefixes and test machines.
class TrustedAuthority {
 public:
  explicit TrustedAuthority(const std::string& pem_path);
  // Takes the certificate out again unless Keep() was called.
  ~TrustedAuthority();
  TrustedAuthority(const TrustedAuthority&) = delete;
  TrustedAuthority& operator=(const TrustedAuthority&) = delete;

  bool ok() const { return ok_; }
  // Leaves the certificate in the store when this object goes; ok() is false after.
  void Keep() { ok_ = false; }

 private:
  std::vector<unsigned char> der_;
  bool ok_ = false;
};

}  // namespace test

#endif  // STATEKEEPER_TESTS_WINDOWS_TRUSTED_AUTHORITY_H_
