// What the download contract (src/https/download_test.cc) needs of each platform
// (download_service_posix.cc, logbook_service_windows.cc): how its HTTPS client differs, and
// a run of the tests with the test service's authority trusted.
#ifndef STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
#define STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_

namespace test {

// Whether the client trusts the authorities of a file instead of the system's store
// (libcurl; WinHTTP refuses a file), asks for a compressed reply every time (libcurl; WinHTTP
// only where the system can decompress one, not under wine), and may report an untrusted
// certificate only as a failed secure channel (wine's WinHTTP).
struct ClientTraits {
  bool reads_authority_file = true;
  bool always_compresses = true;
  bool may_hide_certificate = false;
};
ClientTraits DescribeClient();

// Runs every test, with the service's authority trusted for the run where this platform
// needs that done from here (under wine: in the prefix's own store). Returns
// RUN_ALL_TESTS()'s result, or 1 when the authority could not be trusted.
int RunDownloadTests();

}  // namespace test

#endif  // STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
