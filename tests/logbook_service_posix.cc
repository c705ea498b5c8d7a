#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "logbook_service.h"

extern char** environ;

namespace test {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// Runs a tool of tools/ with Python to its end with the process's environment; returns its
// exit status, or -1 when it could not run or did not exit normally.
int RunTool(const char* name, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(),
                   {PYTHON3_EXECUTABLE, std::string(STATEKEEPER_TOOLS_DIR) + "/" + name});
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
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

struct LogbookService::Process {
  ScopedTempDir dir;
  bool stopped = false;
};

LogbookService::LogbookService()
    : process_(new Process), missing_("the test logbook service did not start") {
  state_dir_ = process_->dir.Join("service");
  ca_file_ = state_dir_ + "/ca.pem";
  if (RunTool("fake_logbook.py", {"--state-dir", state_dir_, "--daemon", "--lifetime", "300"}) !=
      0) {
    return;
  }
  port_ = Trimmed(ReadFile(state_dir_ + "/port").value_or(""));
  untrusted_port_ = Trimmed(ReadFile(state_dir_ + "/untrusted_port").value_or(""));
  if (!port_.empty()) missing_.clear();
}

LogbookService::~LogbookService() { Stop(); }

void LogbookService::Stop() {
  if (std::exchange(process_->stopped, true)) return;
  RunTool("fake_logbook.py", {"--state-dir", state_dir_, "--stop"});
}

bool LogbookService::GenerateLogbook(int count, int seed) const {
  return RunTool("generate_logbook.py",
                 {"--count", std::to_string(count), "--seed", std::to_string(seed), "--output",
                  state_dir_ + "/logbook.adi"}) == 0;
}

}  // namespace test
