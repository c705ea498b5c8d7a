// The test logbook service (tools/fake_logbook.py): HTTPS with a throwaway certificate
// authority, steered through the files of its state folder. On POSIX each object starts one
// of its own on 127.0.0.1, so that tests steer their answers freely in parallel; on Windows it
// is the one that the test run started (logbook_service_posix.cc, logbook_service_windows.cc).
// Also what the download contract (src/https/download_test.cc) needs of each platform.
#ifndef STATEKEEPER_TESTS_LOGBOOK_SERVICE_H_
#define STATEKEEPER_TESTS_LOGBOOK_SERVICE_H_

#include <cstdio>
#include <memory>
#include <string>

#include "test_util.h"

namespace test {

class LogbookService {
 public:
  LogbookService();
  ~LogbookService();
  LogbookService(const LogbookService&) = delete;
  LogbookService& operator=(const LogbookService&) = delete;

  // Whether it answers; else why not, and whether a test fails for it (the service should
  // be there) or skips.
  bool ok() const { return missing_.empty(); }
  const std::string& missing() const { return missing_; }
  bool must_run() const { return must_run_; }
  // Stops a service that this object started: nothing listens on its port afterwards.
  void Stop();
  // The API address by the name the certificate holds ("https://127.0.0.1:4711/api"), the
  // authority to trust for it ("" where the system's store holds it), the port, and the
  // host and port of the listener with a self-signed certificate.
  std::string endpoint() const { return "https://" + host_ + ":" + port_ + "/api"; }
  const std::string& ca_file() const { return ca_file_; }
  const std::string& port() const { return port_; }
  std::string untrusted_place() const { return host_ + ":" + untrusted_port_; }

  // How the next requests are answered ("ok", "fail500", "cut", "stall 3" ...), the key it
  // takes and the ADIF records it serves.
  void SetMode(const std::string& mode) const { WriteFile(state_dir_ + "/mode", mode); }
  void SetKey(const std::string& key) const { WriteFile(state_dir_ + "/key", key); }
  void SetLogbook(const std::string& adif) const { WriteFile(state_dir_ + "/logbook.adi", adif); }
  // `count` records from the logbook generator with `seed` (POSIX); false when it failed.
  bool GenerateLogbook(int count, int seed) const;
  // The body of the last answer, and the request log (one line a request: its method,
  // address, form body, content type, connection number and how it was answered).
  std::string LastReply() const { return ReadFile(state_dir_ + "/last_reply").value_or(""); }
  std::string RequestLog() const { return ReadFile(state_dir_ + "/requests.log").value_or(""); }
  void ClearLog() const { std::remove((state_dir_ + "/requests.log").c_str()); }
  // The state folder, for files that steer the service ("page", "connection").
  const std::string& state_dir() const { return state_dir_; }

 private:
  struct Process;  // the service this object started, where it starts one

  std::unique_ptr<Process> process_;
  std::string missing_;
  bool must_run_ = true;
  std::string state_dir_;
  std::string host_ = "127.0.0.1";
  std::string port_;
  std::string untrusted_port_;
  std::string ca_file_;
};

// Whether the platform's HTTPS client trusts the authorities of a file instead of the
// system's store (libcurl; WinHTTP refuses a file), and may report an untrusted certificate
// only as a failed secure channel (wine's WinHTTP).
struct ClientTraits {
  bool reads_authority_file = true;
  bool may_hide_certificate = false;
};
ClientTraits DescribeClient();

// Runs every test, with the service's authority trusted for the run where the platform needs
// that done from here (under wine: in the prefix's own store). Returns RUN_ALL_TESTS()'s
// result, or 1 when the authority could not be trusted.
int RunDownloadTests();

}  // namespace test

#endif  // STATEKEEPER_TESTS_LOGBOOK_SERVICE_H_
