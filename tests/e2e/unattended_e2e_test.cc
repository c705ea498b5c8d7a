// The real program run by a script: "--update" with no terminal at all (as cron or a
// systemd timer runs it), its exit statuses, its one line, and the lock that lets one
// update run at a time, also against the Update page of a running program.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "program_fixture.h"

extern char** environ;

namespace e2e_program {
namespace {

struct Outcome {
  bool exited = false;
  int status = -1;
  std::string output;
  std::string error;
};

class UnattendedTest : public ProgramTest {
 protected:
  // Starts "statekeeper ARGUMENTS" in a new session without a controlling terminal, its
  // standard input /dev/null and its output in files named after `name`, with the
  // fixture's folders and service. Returns the process id, or -1.
  pid_t Launch(const std::vector<std::string>& arguments, const std::string& name) {
    std::vector<std::string> argv_text = {STATEKEEPER_PROGRAM};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argv_text) argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::string variable = text.substr(0, text.find('='));
      if (variable.find("proxy") == std::string::npos &&
          variable.find("PROXY") == std::string::npos) {
        env_text.push_back(text);
      }
    }
    for (const std::string& text :
         {"LOCALAPPDATA=" + data_, "TEMP=" + temp_,
          "STATEKEEPER_LOGBOOK_URL=" + service_.endpoint(),
          "STATEKEEPER_CA_FILE=" + service_.ca_file(), std::string("no_proxy=127.0.0.1")}) {
      env_text.push_back(text);
    }
    std::vector<char*> envp;
    for (std::string& text : env_text) envp.push_back(text.data());
    envp.push_back(nullptr);
    const std::string output_path = scratch_.Join(name + ".out");
    const std::string error_path = scratch_.Join(name + ".err");
    const pid_t pid = ::fork();
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec.
      const int input = ::open("/dev/null", O_RDONLY);
      const int output = ::open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int error = ::open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (::setsid() < 0 || input < 0 || output < 0 || error < 0 || ::dup2(input, 0) < 0 ||
          ::dup2(output, 1) < 0 || ::dup2(error, 2) < 0) {
        ::_exit(126);
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    return pid;
  }

  Outcome Wait(pid_t pid, const std::string& name) {
    Outcome run;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) {
        ADD_FAILURE() << "waitpid: " << std::strerror(errno);
        return run;
      }
    }
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : -1;
    run.output = test::ReadFile(scratch_.Join(name + ".out")).value_or("(no file)");
    run.error = test::ReadFile(scratch_.Join(name + ".err")).value_or("(no file)");
    return run;
  }

  Outcome Update(const std::string& name = "update") {
    return Wait(Launch({"--update"}, name), name);
  }

  // Polls until the service has logged a request: the update then holds its lock.
  ::testing::AssertionResult WaitForRequest() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!service_.RequestLog().empty()) return ::testing::AssertionSuccess();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ::testing::AssertionFailure() << "no request reached the service";
  }

  void WriteSettings(const std::string& key) {
    ::mkdir(Folder().c_str(), 0700);
    test::WriteFile(Folder() + "Keeper.ini", "K1ABC\r\n" + key + "\r\n");
  }

  static size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }

  test::ScopedTempDir scratch_;
};

TEST_F(UnattendedTest, AnUpdateWritesWhatTheUpdatePageWritesAndSaysSoInOneLine) {
  WriteSettings(kKey);
  const Outcome run = Update();
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.error;
  EXPECT_EQ(run.output.rfind("Syncronized: 600 contacts, Process Time: ", 0), 0u) << run.output;
  EXPECT_EQ(Lines(run.output), 1u);
  EXPECT_EQ(run.error, "");
  const Files unattended = ProgramFiles();
  award::ConfirmedCountryList none{};
  Files expected = ExpectedFiles("K1ABC", none);
  for (const auto& [name, content] : expected) {
    EXPECT_TRUE(unattended.contains(name) && unattended.at(name) == content) << name;
  }

  // The Update page, on the same files, writes the same bytes.
  std::filesystem::remove_all(Folder());
  WriteSettings(kKey);
  StartWithSettings();
  Enter();
  ASSERT_TRUE(terminal_->WaitForText(21, "Syncronized"));
  EXPECT_TRUE(ProgramFiles() == unattended);
  PassTheUpdateWait();
  EndWithEscape();
}

TEST_F(UnattendedTest, AFailedUpdateSaysWhyOnStandardErrorWithItsStatusAndChangesNothing) {
  struct Case {
    const char* what;
    bool settings;
    const char* key;
    bool service_down;
    int status;
    const char* error;
  };
  const Case cases[] = {
      {"a refused key", true, "WRONG-KEY-1234", false, 3,
       "statekeeper: Update failed: nothing was changed: "},
      {"no Settings file", false, kKey, false, 2, "statekeeper: no settings yet ("},
      {"a service that is down", true, kKey, true, 1,
       "statekeeper: Update failed: nothing was changed: cannot connect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Folder());
    if (c.settings) WriteSettings(c.key);
    if (c.service_down) service_.Stop();
    const Files before = ProgramFiles();
    const Outcome run = Update();
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error.rfind(c.error, 0), 0u) << run.error;
    EXPECT_EQ(Lines(run.error), 1u) << run.error;
    EXPECT_EQ(run.error.find("WRONG-KEY-1234"), std::string::npos) << run.error;
    Files after = ProgramFiles();
    after.erase("Update.lock");
    EXPECT_TRUE(after == before);
    if (!c.service_down) {
      // Without a Settings file nothing is asked at all.
      EXPECT_EQ(service_.RequestLog().empty(), !c.settings);
      service_.ClearLog();
    }
  }
}

TEST_F(UnattendedTest, ATerminationSignalCancelsTheDownloadAndChangesNothing) {
  WriteSettings(kKey);
  ASSERT_EQ(Update().status, 0);
  const Files before = ProgramFiles();
  service_.ClearLog();
  service_.SetMode("stall 30");
  const pid_t pid = Launch({"--update"}, "cancelled");
  ASSERT_TRUE(WaitForRequest());
  ::kill(pid, SIGTERM);
  const Outcome run = Wait(pid, "cancelled");
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.error,
            "statekeeper: Update cancelled: nothing was changed: the download was "
            "interrupted\n");
  EXPECT_TRUE(ProgramFiles() == before);
}

// As cron runs it with standard output sent elsewhere: only standard error is the terminal,
// which shows the count while the logbook arrives and is left blank.
TEST_F(UnattendedTest, OnATerminalTheCountOfWhatArrivedIsShownAndThenCleared) {
  WriteSettings(kKey);
  ASSERT_TRUE(service_.GenerateLogbook(1500, 12));
  service_.SetMode("slow 30000");  // compressed bytes a second: some seconds for the whole
  const std::string output = scratch_.Join("terminal.out");
  ASSERT_TRUE(terminal_->Start(
      "/bin/sh", {"-c", "exec \"$0\" --update >\"$1\"", STATEKEEPER_PROGRAM, output},
      {"LOCALAPPDATA=" + data_, "TEMP=" + temp_, "STATEKEEPER_LOGBOOK_URL=" + service_.endpoint(),
       "STATEKEEPER_CA_FILE=" + service_.ca_file(), "no_proxy=127.0.0.1", "https_proxy",
       "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}));
  ASSERT_TRUE(terminal_->WaitForText(1, " of 1,500 contacts received"));
  EXPECT_TRUE(ExitedWith(terminal_->WaitExit(60'000), 0));
  EXPECT_EQ(terminal_->Screen().find_first_not_of(" \n"), std::string::npos) << terminal_->Screen();
  EXPECT_EQ(test::ReadFile(output).value_or("").rfind("Syncronized: 1500 contacts", 0), 0u);
  EXPECT_FALSE(terminal_->alternate_screen());
}

TEST_F(UnattendedTest, OneUpdateAtATime) {
  WriteSettings(kKey);
  service_.SetMode("stall 30");
  const pid_t holder = Launch({"--update"}, "holder");
  ASSERT_TRUE(WaitForRequest());

  // A second run fails at once, asking nothing.
  const Outcome second = Update("second");
  EXPECT_EQ(second.status, 4);
  EXPECT_EQ(second.error,
            "statekeeper: Update failed: nothing was changed: another update is running\n");
  EXPECT_EQ(Lines(service_.RequestLog()), 1u) << service_.RequestLog();

  // So does the Update page of a running program.
  StartWithSettings();
  Enter();
  ASSERT_TRUE(terminal_->WaitForText(22, "another update is running"));
  EXPECT_NE(terminal_->Row(21).find("Update failed: nothing was changed"), std::string::npos);
  EXPECT_EQ(Lines(service_.RequestLog()), 1u) << service_.RequestLog();
  PassTheUpdateWait();
  EndWithEscape();

  // A holder killed outright blocks no one.
  ::kill(holder, SIGKILL);
  EXPECT_FALSE(Wait(holder, "holder").exited);
  service_.SetMode("ok");
  const Outcome next = Update("next");
  EXPECT_EQ(next.status, 0) << next.error;

  // The lock file stays, private and empty.
  struct stat status;
  ASSERT_EQ(::stat((Folder() + "Update.lock").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(status.st_size, 0);
}

}  // namespace
}  // namespace e2e_program
