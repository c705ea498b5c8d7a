#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

#include "logbook_service.h"

namespace test {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// Runs a Python tool of tools/ with `arguments` (none holds a quote) to its end; returns
// whether it exited with status 0.
bool RunTool(const std::string& tool, const std::string& arguments) {
  const std::string command = std::string("'") + PYTHON3_EXECUTABLE + "' '" +
                              STATEKEEPER_TOOLS_DIR + "/" + tool + "' " + arguments;
  return std::system(command.c_str()) == 0;
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
  if (!RunTool("fake_logbook.py", "--state-dir '" + state_dir_ + "' --daemon --lifetime 300")) {
    return;
  }
  port_ = Trimmed(ReadFile(state_dir_ + "/port").value_or(""));
  untrusted_port_ = Trimmed(ReadFile(state_dir_ + "/untrusted_port").value_or(""));
  if (!port_.empty()) missing_.clear();
}

LogbookService::~LogbookService() { Stop(); }

void LogbookService::Stop() {
  if (!std::exchange(process_->stopped, true)) {
    RunTool("fake_logbook.py", "--state-dir '" + state_dir_ + "' --stop");
  }
}

bool LogbookService::GenerateLogbook(int count, int seed) const {
  return RunTool("generate_logbook.py", "--count " + std::to_string(count) + " --seed " +
                                            std::to_string(seed) + " --output '" + state_dir_ +
                                            "/logbook.adi'");
}

// libcurl compresses every reply and names an untrusted certificate; the service's authority
// is trusted through its file.
ClientTraits DescribeClient() { return {}; }

int RunDownloadTests() { return RUN_ALL_TESTS(); }

}  // namespace test
