#include "logbook_service.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

namespace test {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string Tool(const char* name) { return std::string(STATEKEEPER_TOOLS_DIR) + "/" + name; }

}  // namespace

int RunCommand(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.data()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

LogbookService::LogbookService() : state_dir_(dir_.Join("service")) {
  if (RunCommand({PYTHON3_EXECUTABLE, Tool("fake_logbook.py"), "--state-dir", state_dir_,
                  "--daemon", "--lifetime", "300"}) != 0) {
    return;
  }
  port_ = Trimmed(ReadFile(state_dir_ + "/port").value_or(""));
  untrusted_port_ = Trimmed(ReadFile(state_dir_ + "/untrusted_port").value_or(""));
}

LogbookService::~LogbookService() { Stop(); }

void LogbookService::Stop() {
  if (stopped_) return;
  stopped_ = true;
  RunCommand({PYTHON3_EXECUTABLE, Tool("fake_logbook.py"), "--state-dir", state_dir_, "--stop"});
}

void LogbookService::SetMode(const std::string& mode) const {
  WriteFile(state_dir_ + "/mode", mode);
}
void LogbookService::SetKey(const std::string& key) const { WriteFile(state_dir_ + "/key", key); }
void LogbookService::SetLogbook(const std::string& adif) const {
  WriteFile(state_dir_ + "/logbook.adi", adif);
}

bool LogbookService::GenerateLogbook(int count, int seed) const {
  return RunCommand({PYTHON3_EXECUTABLE, Tool("generate_logbook.py"), "--count",
                     std::to_string(count), "--seed", std::to_string(seed), "--output",
                     state_dir_ + "/logbook.adi"}) == 0;
}

std::string LogbookService::LastReply() const {
  return ReadFile(state_dir_ + "/last_reply").value_or("");
}
std::string LogbookService::RequestLog() const {
  return ReadFile(state_dir_ + "/requests.log").value_or("");
}
void LogbookService::ClearLog() const { std::remove((state_dir_ + "/requests.log").c_str()); }

}  // namespace test
