// The test logbook service (tools/fake_logbook.py) for one test: HTTPS on 127.0.0.1 with a
// throwaway certificate authority, started in a state folder of its own, so that a test
// can steer its answers freely while other tests run in parallel.
#ifndef STATEKEEPER_TESTS_LOGBOOK_SERVICE_H_
#define STATEKEEPER_TESTS_LOGBOOK_SERVICE_H_

#include <string>

#include "test_util.h"

namespace test {

class LogbookService {
 public:
  // Starts the service; ok() tells whether it answers.
  LogbookService();
  ~LogbookService();
  LogbookService(const LogbookService&) = delete;
  LogbookService& operator=(const LogbookService&) = delete;

  bool ok() const { return !port_.empty(); }
  // Stops the service before the end of the test: nothing listens on its port afterwards.
  void Stop();
  // The API address, e.g. "https://127.0.0.1:4711/api", and the authority to trust.
  std::string endpoint() const { return "https://127.0.0.1:" + port_ + "/api"; }
  std::string ca_file() const { return state_dir_ + "/ca.pem"; }
  // The ports of the trusted and of the self-signed listener.
  const std::string& port() const { return port_; }
  const std::string& untrusted_port() const { return untrusted_port_; }

  // How the next requests are answered ("ok", "fail500", "cut", "stall 3" ...).
  void SetMode(const std::string& mode) const { WriteFile(state_dir_ + "/mode", mode); }
  void SetKey(const std::string& key) const { WriteFile(state_dir_ + "/key", key); }
  // The ADIF records to serve.
  void SetLogbook(const std::string& adif) const { WriteFile(state_dir_ + "/logbook.adi", adif); }
  // `count` records from the logbook generator with `seed`; false when it failed.
  bool GenerateLogbook(int count, int seed) const;
  // The body of the last answer, and the request log (one line a request: its method,
  // address, form body, content type, connection number and how it was answered).
  std::string LastReply() const { return ReadFile(state_dir_ + "/last_reply").value_or(""); }
  std::string RequestLog() const { return ReadFile(state_dir_ + "/requests.log").value_or(""); }
  // Forgets the requests logged so far.
  void ClearLog() const;
  // The state folder, for files that steer the service ("page").
  const std::string& state_dir() const { return state_dir_; }

 private:
  ScopedTempDir dir_;
  std::string state_dir_;
  std::string port_;
  std::string untrusted_port_;
  bool stopped_ = false;
};

}  // namespace test

#endif  // STATEKEEPER_TESTS_LOGBOOK_SERVICE_H_
