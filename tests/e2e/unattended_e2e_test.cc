// The real program run by a script: "--update" with no terminal at all (as cron or a
// systemd timer runs it), its exit statuses, its one line, a cancel by a signal, and the
// lock that lets one update run at a time, also against the Update page of a running
// program.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "program_fixture.h"

namespace e2e_program {
namespace {

using e2e::Outcome;

class UnattendedTest : public ProgramTest {
 protected:
  Outcome Update() { return LaunchUpdate()->Wait(); }

  // Polls until the service has logged a request: the update then holds its lock.
  ::testing::AssertionResult WaitForRequest() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!service_.RequestLog().empty()) return ::testing::AssertionSuccess();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ::testing::AssertionFailure() << "no request reached the service";
  }

  static size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }
};

TEST_F(UnattendedTest, AnUpdateWritesWhatTheUpdatePageWritesAndSaysSoInOneLine) {
  WriteSettings();
  const Outcome run = Update();
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.error;
  EXPECT_EQ(run.output.rfind("Syncronized: 600 contacts, Process Time: ", 0), 0u) << run.output;
  EXPECT_EQ(Lines(run.output), 1u);
  EXPECT_EQ(run.error, "");
  const Files unattended = ProgramFiles();
  EXPECT_EQ(Differences(unattended, ExpectedFiles("K1ABC", {})), "");

  // The Update page, on the same files, writes the same bytes.
  std::filesystem::remove_all(Folder());
  StartWithSettings();
  Enter();
  ASSERT_TRUE(terminal_->WaitForText(22, "            Process Time: "));
  ASSERT_TRUE(terminal_->WaitForText(21, "Syncronized"));
  EXPECT_NE(terminal_->Row(22).find("  seconds"), std::string::npos);
  EXPECT_EQ(terminal_->Row(20), std::string(66, ' '));
  EXPECT_EQ(Differences(ProgramFiles(), unattended), "");
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
    EXPECT_EQ(Differences(after, before), "");
    if (!c.service_down) {
      // Without a Settings file nothing is asked at all.
      EXPECT_EQ(service_.RequestLog().empty(), !c.settings);
      service_.ClearLog();
    }
  }
}

// As cron runs it with standard output sent elsewhere: only standard error is the terminal,
// which shows the count while the logbook arrives and is left blank.
TEST_F(UnattendedTest, OnATerminalTheCountOfWhatArrivedIsShownAndThenCleared) {
  WriteSettings();
  ASSERT_TRUE(service_.GenerateLogbook(1500, 12));
  service_.SetMode("slow 30000");  // compressed bytes a second: some seconds for the whole
  const std::string output = dir_.Join("terminal.out");
  Start({}, {"/bin/sh", "-c", "exec \"$1\" --update >\"$0\"", output});
  ASSERT_TRUE(terminal_->WaitForText(1, " of 1,500 contacts received"));
  EXPECT_TRUE(ExitedWith(terminal_->WaitExit(60'000), 0));
  EXPECT_EQ(terminal_->Screen().find_first_not_of(" \n"), std::string::npos) << terminal_->Screen();
  EXPECT_EQ(test::ReadFile(output).value_or("").rfind("Syncronized: 1500 contacts", 0), 0u);
  EXPECT_FALSE(terminal_->alternate_screen());
}

// One update at a time; one killed outright blocks no one; one terminated is cancelled.
TEST_F(UnattendedTest, OneUpdateAtATimeAndASignalCancelsOne) {
  WriteSettings();
  service_.SetMode("stall 30");
  const auto holder = LaunchUpdate();
  ASSERT_TRUE(WaitForRequest());

  // A second run fails at once, asking nothing.
  const Outcome second = Update();
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
  ::kill(holder->pid(), SIGKILL);
  EXPECT_FALSE(holder->Wait().exited);
  service_.SetMode("ok");
  const Outcome next = Update();
  EXPECT_EQ(next.status, 0) << next.error;

  // A termination signal cancels a download and changes nothing.
  const Files before = ProgramFiles();
  service_.ClearLog();
  service_.SetMode("stall 30");
  const auto cancelled = LaunchUpdate();
  ASSERT_TRUE(WaitForRequest());
  ::kill(cancelled->pid(), SIGTERM);
  const Outcome run = cancelled->Wait();
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.error,
            "statekeeper: Update cancelled: nothing was changed: the download was "
            "interrupted\n");
  EXPECT_EQ(Differences(ProgramFiles(), before), "");
}

}  // namespace
}  // namespace e2e_program
