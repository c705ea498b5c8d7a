// Updates of the real program: on its Update page (a failed first run, a slow download's
// count, keys typed meanwhile, Esc), and without a terminal as cron runs it (exit statuses,
// its one line, one at a time, a signal's cancel).
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <tuple>

#include "program_fixture.h"

namespace e2e_program {
namespace {

// A failed first synchronisation's notice, reason, hint and request for a key each have a
// row within the first 24, in 80 x 24 as in 66 x 43. Without Band files a band then lists
// all fifty states missing.
TEST_F(ProgramTest, AFirstRunsFailureFitsTheFirst24RowsAndLeavesEveryStateMissing) {
  service_.SetKey("ANOTHER-KEY");
  // The window, whether the service refuses the key (else nothing listens), the rows.
  for (const auto& [rows, columns, refused, golden] :
       {std::tuple{24, 80, true, "first_run_key_refused"},
        {24, 80, false, "first_run_no_connection"},
        {43, 66, true, "first_run_key_refused"}}) {
    SCOPED_TRACE(std::string(golden) + " " + std::to_string(columns));
    // A short Settings file path, the same in every run, for the hint.
    std::filesystem::remove_all(data_);
    ::mkdir(data_.c_str(), 0755);
    Start({"LOCALAPPDATA=data", "STATEKEEPER_LOGBOOK_URL=" +
                                    (refused ? service_.endpoint() : "https://127.0.0.1:9/api")},
          {"/usr/bin/env", "-C", dir_.path()}, rows, columns);
    AnswerPrompts("k1abc");
    ASSERT_TRUE(terminal_->WaitForText(24, "Press any key to go on."));  // the last row
    // Rows 3 and below (1 and 2 hold the prompts), without trailing blanks, to row 24 each
    // ended by CR LF as tests/golden/ keeps them, the rest blank.
    std::string shown;
    for (int row = 3; row <= rows; ++row) {
      std::string text = terminal_->Row(row);
      text.erase(text.find_last_not_of(' ') + 1);
      shown += row <= 24 ? text + "\r\n" : text;
    }
    const auto path = std::filesystem::path(__FILE__).parent_path().parent_path() / "golden";
    EXPECT_EQ(shown, test::ReadFile((path / golden).string() + ".txt").value_or("(none)"))
        << terminal_->Screen();
  }
  terminal_->SendBytes("x");
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  PassTheUpdateWait();
  Right();
  ASSERT_TRUE(WaitForItem(1));
  ASSERT_TRUE(terminal_->WaitForText(42, "Unconfirmed States: 50   Confirmed States: 0 "));
  EXPECT_EQ(terminal_->Screen().find("Congratulation!"), std::string::npos);
  EndWithEscape();
}

// How many contacts of `total` row 23 says have arrived, or -1 while it says otherwise.
int ContactsReceived(std::string row, const std::string& total) {
  std::erase(row, ',');
  std::smatch match;
  const std::regex count("([0-9]+) of " + total + " contacts received");
  return std::regex_search(row, match, count) ? std::stoi(match[1]) : -1;
}

// A slow update shows its count rising; keys typed during it are read after it (the first
// by the wait after the update); it brings new confirmations and keeps every country. Esc
// cancels the next one, which changes nothing; the one after that says it is done.
TEST_F(ProgramTest, LaterUpdatesShowTheirCountTakeTypedKeysAfterThemAndCancelWithEsc) {
  FirstRun();
  award::ConfirmedCountryList before;
  award::LoadCountryFile(Folder(), before);
  ASSERT_TRUE(service_.GenerateLogbook(1500, 8));
  service_.SetMode("slow 40000");  // compressed bytes a second: some seconds for the whole
  Enter();
  ASSERT_TRUE(terminal_->WaitForText(21, "One moment please"));
  ASSERT_TRUE(terminal_->WaitForText(24, "Press [Esc] to cancel the download"));
  int first = -1;
  ASSERT_TRUE(terminal_->WaitUntil(
      [&] { return (first = ContactsReceived(terminal_->Row(23), "1500")) > 0; },
      "a count of the 1,500 contacts", 20'000));
  ASSERT_TRUE(terminal_->WaitUntil(
      [&] { return ContactsReceived(terminal_->Row(23), "1500") > first; }, "it rising", 20'000));
  terminal_->SendBytes("x");  // kept, then taken by the 3-second wait after the update
  Right();                    // kept, then read by the main screen: 10m at once
  ASSERT_TRUE(terminal_->WaitUntil([&] { return ShownItem() == 1; }, "10m shown", 30'000));
  const Files files = ProgramFiles();
  EXPECT_EQ(Differences(files, ExpectedFiles("K1ABC", before)), "");
  EXPECT_NE(files.at("dx.txt"), award::FormatCountryFile(before));  // new confirmations
  ASSERT_TRUE(terminal_->WaitForText(42, CountLine(files.at("10m.txt"))));

  Left();
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  ASSERT_TRUE(service_.GenerateLogbook(8000, 12));  // a local log of over 1 MB
  service_.SetMode("slow 20000");
  Enter();
  ASSERT_TRUE(terminal_->WaitUntil([&] { return ContactsReceived(terminal_->Row(23), "8000") > 0; },
                                   "a count", 20'000));
  Escape();
  ASSERT_TRUE(terminal_->WaitForText(23, "Process Time:"));
  ASSERT_TRUE(terminal_->WaitForText(21, "Update cancelled: nothing was changed"));
  EXPECT_NE(terminal_->Row(22).find("Esc was pressed"), std::string::npos) << terminal_->Row(22);
  // The count and the hint are gone (rows arrive top to bottom: wait for the last).
  EXPECT_TRUE(terminal_->WaitUntil([&] { return terminal_->Row(24) == std::string(66, ' '); },
                                   "row 24 blank"));
  EXPECT_EQ(terminal_->Row(23).find("contacts received"), std::string::npos);
  EXPECT_EQ(Differences(ProgramFiles(), files), "");
  // The Esc was the download's: the program goes on, and the next update says it is done.
  PassTheUpdateWait();
  Right();
  ASSERT_TRUE(WaitForItem(1));
  Left();
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  service_.SetMode("ok");
  Enter();
  ASSERT_TRUE(terminal_->WaitForText(22, "            Process Time: "));
  ASSERT_TRUE(terminal_->WaitForText(21, "Syncronized"));
  EXPECT_NE(terminal_->Row(22).find("  seconds"), std::string::npos);
  EXPECT_EQ(terminal_->Row(20), std::string(66, ' '));
  PassTheUpdateWait();
  EndWithEscape();
}

// As cron runs it with standard output sent elsewhere: standard error is the terminal,
// which shows the count while the logbook arrives and is left blank.
TEST_F(ProgramTest, UnattendedOnATerminalTheCountOfWhatArrivedIsShownAndThenCleared) {
  WriteSettings();
  ASSERT_TRUE(service_.GenerateLogbook(1500, 12));
  service_.SetMode("slow 30000");  // compressed bytes a second: some seconds for the whole
  const std::string output = dir_.Join("terminal.out");
  Start({}, {"/bin/sh", "-c", "exec \"$1\" --update >\"$0\"", output});
  ASSERT_TRUE(terminal_->WaitForText(1, " of 1,500 contacts received"));
  EXPECT_EQ(terminal_->WaitExit(60'000), "exit 0");
  EXPECT_EQ(terminal_->Screen().find_first_not_of(" \n"), std::string::npos) << terminal_->Screen();
  EXPECT_EQ(test::ReadFile(output).value_or("").rfind("Syncronized: 1500 contacts", 0), 0u);
  EXPECT_FALSE(terminal_->alternate_screen());
}

// One update at a time, and a termination signal cancels one and changes nothing; a
// refused key fails with its own status, a success says so in one line.
TEST_F(ProgramTest, UnattendedUpdatesRunOneAtATimeAndASignalCancelsOne) {
  WriteSettings();
  service_.SetMode("stall 30");
  const auto holder = LaunchUpdate();
  for (int i = 0; i < 1000 && service_.RequestLog().empty(); ++i) {  // then it holds the lock
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const e2e::Outcome second = LaunchUpdate()->Wait();
  EXPECT_EQ(second.status, 4);
  EXPECT_EQ(second.error,
            "statekeeper: Update failed: nothing was changed: another update is running\n");
  EXPECT_EQ(std::ranges::count(service_.RequestLog(), '\n'), 1) << service_.RequestLog();
  const Files before = ProgramFiles();
  ::kill(holder->pid(), SIGTERM);
  const e2e::Outcome cancelled = holder->Wait();
  EXPECT_EQ(cancelled.status, 1);
  EXPECT_EQ(cancelled.error,
            "statekeeper: Update cancelled: nothing was changed: the download was "
            "interrupted\n");
  EXPECT_EQ(Differences(ProgramFiles(), before), "");

  service_.SetMode("ok");
  WriteSettings("WRONG-KEY-1234");  // a refused key has its status and one line, without it
  const e2e::Outcome refused = LaunchUpdate()->Wait();
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.error.rfind("statekeeper: Update failed: nothing was changed: ", 0), 0u);
  EXPECT_EQ(std::ranges::count(refused.error, '\n'), 1) << refused.error;
  EXPECT_EQ(refused.error.find("WRONG-KEY-1234"), std::string::npos) << refused.error;
  WriteSettings();
  const e2e::Outcome done = LaunchUpdate()->Wait();
  EXPECT_EQ(done.status, 0) << done.error;
  EXPECT_EQ(done.output.rfind("Syncronized: 600 contacts, Process Time: ", 0), 0u);
  EXPECT_EQ(std::ranges::count(done.output, '\n'), 1) << done.output;
  EXPECT_EQ(done.error, "");
}

}  // namespace
}  // namespace e2e_program
