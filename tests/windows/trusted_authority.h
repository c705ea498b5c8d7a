// The test certificate authority put into the current user's root certificate store, where
// WinHTTP looks for the authorities it trusts.
#ifndef STATEKEEPER_TESTS_WINDOWS_TRUSTED_AUTHORITY_H_
#define STATEKEEPER_TESTS_WINDOWS_TRUSTED_AUTHORITY_H_

#include <string>

namespace test {

// Adds the PEM certificate in the file at `pem_path` to the store for good; false when it
// cannot. Windows asks the operator to confirm a new root authority, so this is for wine
// prefixes, which the test runs make and throw away.
bool TrustAuthority(const std::string& pem_path);

}  // namespace test

#endif  // STATEKEEPER_TESTS_WINDOWS_TRUSTED_AUTHORITY_H_
