#include "logbook_service.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <vector>

extern char** environ;

namespace test {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string Tool(const char* name) { return std::string(STATEKEEPER_TOOLS_DIR) + "/" + name; }

// Runs a program to its end with the process's environment; returns its exit status, or
// -1 when it could not run or did not exit normally.
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

}  // namespace

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

bool LogbookService::GenerateLogbook(int count, int seed) const {
  return RunCommand({PYTHON3_EXECUTABLE, Tool("generate_logbook.py"), "--count",
                     std::to_string(count), "--seed", std::to_string(seed), "--output",
                     state_dir_ + "/logbook.adi"}) == 0;
}

void LogbookService::ClearLog() const { std::remove((state_dir_ + "/requests.log").c_str()); }

}  // namespace test
