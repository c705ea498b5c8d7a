// The run's service (tools/test_windows.sh), its state folder named by
// STATEKEEPER_TEST_SERVICE_DIR (under wine the Linux folder as Z:\...). WinHTTP trusts only
// the system's store: STATEKEEPER_TEST_CA_TRUSTED=1 says that the service's authority was put
// there (by "windows_test_aid trust" in the script, or by hand on Windows).

// <windows.h> comes first.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "logbook_service.h"

namespace test {
namespace {

bool authority_trusted = false;  // set by RunDownloadTests() before the first test

std::string EnvValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The port of the service's listener `name`, or "" when there is no service.
std::string ReadPort(const char* name) {
  const std::string dir = EnvValue("STATEKEEPER_TEST_SERVICE_DIR");
  std::string port = dir.empty() ? "" : ReadFile(dir + "/" + name).value_or("");
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  return port;
}

bool IsUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

struct LogbookService::Process {};

LogbookService::LogbookService()
    : missing_("STATEKEEPER_TEST_SERVICE_DIR names no running service"),
      must_run_(false),
      state_dir_(EnvValue("STATEKEEPER_TEST_SERVICE_DIR")),
      host_("localhost"),
      port_(ReadPort("port")),
      untrusted_port_(ReadPort("untrusted_port")) {
  if (!port_.empty()) missing_ = authority_trusted ? "" : "the test authority is not trusted";
}

LogbookService::~LogbookService() = default;

void LogbookService::Stop() {}

ClientTraits DescribeClient() { return {false, IsUnderWine()}; }

int RunDownloadTests() {
  authority_trusted = EnvValue("STATEKEEPER_TEST_CA_TRUSTED") == "1";
  return RUN_ALL_TESTS();
}

}  // namespace test
