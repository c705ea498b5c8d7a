// The download tests' service on Windows: the one service that the test run started
// (tools/test_windows.sh), its state folder named by STATEKEEPER_TEST_SERVICE_DIR (a Windows
// path; under wine the Linux folder as Z:\...). WinHTTP trusts only the system's certificate
// store, so the service's test authority must be in it: under wine the test program adds it
// to the wine prefix's own store before the first connection and removes it at the end; on
// Windows the tests that need it run only when STATEKEEPER_TEST_CA_TRUSTED=1 says that the
// authority was put there by hand (adding it from here would ask the operator to confirm).

// <winsock2.h> must come before <windows.h>.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstdlib>

#include "download_service.h"
#include "windows/trusted_authority.h"

namespace test {
namespace {

bool authority_trusted = false;  // set by RunDownloadTests() before the first test

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string EnvValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ServiceDir() { return EnvValue("STATEKEEPER_TEST_SERVICE_DIR"); }

std::string ReadPort(const std::string& dir, const char* name) {
  return Trimmed(ReadFile(dir + "/" + name).value_or(""));
}

bool IsUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

struct DownloadService::Process {};

DownloadService::DownloadService() : state_dir_(ServiceDir()), host_("localhost") {
  if (state_dir_.empty()) return;
  port_ = ReadPort(state_dir_, "port");
  untrusted_port_ = ReadPort(state_dir_, "untrusted_port");
  if (port_.empty()) return;
  availability_ = Availability::kRunning;
  trusted_ = authority_trusted;
}

DownloadService::~DownloadService() = default;

ClientTraits DescribeClient() {
  ClientTraits traits;
  traits.always_compresses = false;
  traits.may_hide_certificate = IsUnderWine();
  return traits;
}

int FindUnusedPort() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  const bool bound = s != INVALID_SOCKET &&
                     ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (s != INVALID_SOCKET) ::closesocket(s);
  ::WSACleanup();
  return bound ? ntohs(address.sin_port) : 1;
}

int RunDownloadTests() {
  const std::string dir = ServiceDir();
  if (dir.empty() || ReadPort(dir, "port").empty()) return RUN_ALL_TESTS();
  if (EnvValue("STATEKEEPER_TEST_CA_TRUSTED") == "1") {
    authority_trusted = true;
    return RUN_ALL_TESTS();
  }
  if (!IsUnderWine()) return RUN_ALL_TESTS();
  // Into the wine prefix's own store before the first secure connection, out again at the
  // end.
  const TrustedAuthority authority(dir + "/ca.pem");
  if (!authority.ok()) {
    std::fprintf(stderr, "cannot put the test authority into the wine prefix's store\n");
    return 1;
  }
  authority_trusted = true;
  return RUN_ALL_TESTS();
}

}  // namespace test
