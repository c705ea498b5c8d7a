// Updates of the real program on a pseudo-terminal: failures that change nothing, a failed
// first run, a kill at any moment, a full disk, and later updates: the progress of a slow
// download, keys typed during it, Esc to cancel it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/atomic_file.h"
#include "program_fixture.h"

namespace e2e_program {
namespace {

// Each failure of an update, a full disk among them, says why and changes no file; the
// program goes on.
TEST_F(ProgramTest, AFailedUpdateSaysWhyAndChangesNoFile) {
  FirstRun();
  Escape();
  EndWithEscape();
  const Files before = ProgramFiles();
  ASSERT_TRUE(service_.GenerateLogbook(3000, 10));
  // No room for the download of 3,000 contacts.
  StartWithSettings({"/usr/bin/prlimit", "--fsize=700000"});
  struct Failure {
    const char* mode;  // how the service answers, or "" with the service stopped
    const char* reason;
  };
  const Failure failures[] = {
      {"ok", "File too large"},      {"fail500", "500"},     {"cut", "broken off"},
      {"page", "held no logbook"},  // a maintenance page with status 200
      {"refuse", "invalid api key"}, {"", "cannot connect"},
  };
  test::WriteFile(service_.state_dir() + "/page",
                  "<html><body><h1>Down for maintenance</h1>Back soon.</body></html>\n");
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.mode);
    if (std::string(failure.mode) == "refuse") {
      service_.SetKey("ANOTHER-KEY");
      service_.SetMode("ok");
    } else if (*failure.mode == '\0') {
      service_.Stop();
    } else {
      service_.SetMode(failure.mode);
    }
    Enter();
    // The terminal receives changed rows top to bottom: the notice is whole once its
    // lowest row is there.
    const bool refused = std::string(failure.mode) == "refuse";
    ASSERT_TRUE(terminal_->WaitForText(refused ? 25 : 23,
                                       refused ? "Keeper.ini" : "Process Time:", 60'000));
    ASSERT_TRUE(terminal_->WaitForText(21, "Update failed: nothing was changed"));
    EXPECT_NE(terminal_->Row(22).find(failure.reason), std::string::npos) << terminal_->Row(22);
    EXPECT_EQ(terminal_->Row(22).find(kKey), std::string::npos);
    EXPECT_NE(terminal_->Row(23).find("Process Time:"), std::string::npos);
    EXPECT_EQ(terminal_->Row(24).find("delete the file") != std::string::npos, refused);
    EXPECT_EQ(Differences(ProgramFiles(), before), "");
    // Back to the prompt for the next try: away and back again.
    PassTheUpdateWait();
    Right();
    ASSERT_TRUE(WaitForItem(1));
    Left();
    ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  }
  Escape();
  EndWithEscape();
}

// A first run happens in the window's own size: the notice of a failed first
// synchronisation, its reason, the hint and the line asking for a key stand each on a row
// of its own within the first 24, in the common 80 x 24 window as in a larger one. Without
// Band files every band then lists all fifty states, and none congratulates the operator.
TEST_F(ProgramTest, AFirstRunsFailureFitsTheFirst24RowsAndLeavesEveryStateMissing) {
  struct Case {
    int rows;
    int columns;
    bool refused;  // by the service; else nothing listens
    const char* golden;
  };
  const Case cases[] = {
      {24, 80, true, "first_run_key_refused"},
      {24, 80, false, "first_run_no_connection"},
      {43, 66, false, "first_run_no_connection"},
      {43, 66, true, "first_run_key_refused"},
  };
  service_.SetKey("ANOTHER-KEY");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.golden) + " " + std::to_string(c.columns));
    // A short Settings file path, the same in every run, for the hint.
    std::filesystem::remove_all(data_);
    ::mkdir(data_.c_str(), 0755);
    Start({"LOCALAPPDATA=data", "STATEKEEPER_LOGBOOK_URL=" +
                                    (c.refused ? service_.endpoint() : "https://127.0.0.1:9/api")},
          {"/usr/bin/env", "-C", dir_.path()}, c.rows, c.columns);
    AnswerPrompts("k1abc");
    // The terminal receives changed rows top to bottom: the last row comes last.
    ASSERT_TRUE(terminal_->WaitForText(24, "Press any key to go on."));
    // Rows 1 and 2 hold the prompts and what was typed.
    ExpectGoldenRows(*terminal_, 3, 24, c.golden);
  }
  Type(*terminal_, "x");
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  PassTheUpdateWait();
  Right();
  for (int band = 1; band <= award::kBandCount; ++band) {
    ASSERT_TRUE(WaitForItem(band));
    ASSERT_TRUE(terminal_->WaitForText(42, "Unconfirmed States: 50   Confirmed States: 0 "))
        << "band " << band;
    EXPECT_EQ(terminal_->Screen().find("Congratulation!"), std::string::npos) << band;
    EXPECT_NE(terminal_->Row(3).find("ALABAMA"), std::string::npos) << band;
    EXPECT_NE(terminal_->Row(14).find("WYOMING"), std::string::npos) << band;
    Right();
  }
  ASSERT_TRUE(WaitForItem(10));
  EndWithEscape();
}

TEST_F(ProgramTest, KilledAtAnyMomentOfAnUpdateTheFilesAreAllOldOrAllNew) {
  // The old files: a first synchronisation of a small logbook.
  WriteSettings();
  ASSERT_EQ(LaunchUpdate()->Wait().status, 0);
  const Files old_files = ProgramFiles();
  ASSERT_TRUE(service_.GenerateLogbook(15000, 9));

  // The new files, and how long the update takes on this machine now: the same update run
  // to its end on a copy of the folder.
  const std::string copy = dir_.Join("copy");
  std::filesystem::create_directories(copy + "/Varnhold");
  std::filesystem::copy(Folder(), copy + "/Varnhold");
  const auto began = std::chrono::steady_clock::now();
  ASSERT_EQ(LaunchUpdate({"LOCALAPPDATA=" + copy})->Wait().status, 0);
  const auto update_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - began)
                             .count();
  Files new_files;
  for (const auto& [name, content] : old_files) {
    new_files[name] = test::ReadFile(copy + "/Varnhold/" + name).value_or("?");
  }

  // Kills spread over the whole update and a little past it.
  std::mt19937 random(4711);
  bool changed = false;
  for (int kill = 0; kill < 50; ++kill) {
    const auto update = LaunchUpdate();
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % (update_ms * 5 / 4 + 1)));
    ::kill(update->pid(), SIGKILL);
    update->Wait();
    // What the next start does first: an interrupted commit is undone, leftovers go.
    base::RemoveLeftovers(Folder());
    const Files files = ProgramFiles();
    EXPECT_TRUE(files == old_files || files == new_files) << "the files are a mix of old and new";
    changed = changed || files != old_files;
  }
  EXPECT_TRUE(changed) << "no kill came late enough to see the new files";
}

// The number of contacts row 23 says have arrived of `total`, or -1 while it says something
// else.
int ContactsReceived(const std::string& row, const std::string& total) {
  std::smatch match;
  if (!std::regex_search(row, match,
                         std::regex("([0-9][0-9,]*) of " + total + " contacts received"))) {
    return -1;
  }
  std::string digits = match[1];
  std::erase(digits, ',');
  return std::stoi(digits);
}

// Later updates: a slow one shows its count rising, and keys typed during it are read
// after it (the first by the wait after the update); the update brings new confirmations
// and keeps every country. Esc cancels the next one, which changes nothing.
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
      [&] { return (first = ContactsReceived(terminal_->Row(23), "1,500")) > 0; },
      "a count of the 1,500 contacts", 20'000));
  int later = -1;
  ASSERT_TRUE(terminal_->WaitUntil(
      [&] { return (later = ContactsReceived(terminal_->Row(23), "1,500")) > first; },
      "the count rising", 20'000));
  EXPECT_LT(later, 1500);
  Type(*terminal_, "x");  // kept, then taken by the 3-second wait after the update
  Right();                // kept, then read by the main screen: 10m at once
  ASSERT_TRUE(terminal_->WaitUntil([&] { return ShownItem() == 1; }, "10m shown", 30'000));

  const Files files = ProgramFiles();
  EXPECT_EQ(Differences(files, ExpectedFiles("K1ABC", before)), "");
  award::ConfirmedCountryList after;
  award::LoadCountryFile(Folder(), after);
  const int old_count = std::stoi(before[0]);
  ASSERT_GT(std::stoi(after[0]), old_count);
  for (int i = 1; i <= old_count; ++i) EXPECT_EQ(after[i], before[i]) << i;
  ASSERT_TRUE(terminal_->WaitForText(42, CountLine(files.at("10m.txt"))));

  Left();
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  ASSERT_TRUE(service_.GenerateLogbook(4000, 12));
  service_.SetMode("slow 20000");
  Enter();
  ASSERT_TRUE(terminal_->WaitUntil(
      [&] { return ContactsReceived(terminal_->Row(23), "4,000") > 0; }, "a count", 20'000));
  Escape();
  ASSERT_TRUE(terminal_->WaitForText(23, "Process Time:"));
  ASSERT_TRUE(terminal_->WaitForText(21, "Update cancelled: nothing was changed"));
  EXPECT_NE(terminal_->Row(22).find("Esc was pressed"), std::string::npos) << terminal_->Row(22);
  // The count and the hint are gone (rows arrive top to bottom: wait for the last).
  EXPECT_TRUE(terminal_->WaitUntil([&] { return terminal_->Row(24) == std::string(66, ' '); },
                                   "row 24 blank"));
  EXPECT_EQ(terminal_->Row(23).find("contacts received"), std::string::npos);
  EXPECT_EQ(Differences(ProgramFiles(), files), "");
  // The Esc was the download's: the program goes on.
  PassTheUpdateWait();
  Right();
  ASSERT_TRUE(WaitForItem(1));
  EndWithEscape();
}

}  // namespace
}  // namespace e2e_program
