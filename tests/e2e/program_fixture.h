// The real program on a pseudo-terminal against the test logbook service, driven only by
// the bytes a terminal sends and checked by what the terminal shows and the files hold.
#ifndef STATEKEEPER_TESTS_E2E_PROGRAM_FIXTURE_H_
#define STATEKEEPER_TESTS_E2E_PROGRAM_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "award/country_file.h"
#include "award/lists.h"
#include "logbook/local_log.h"
#include "logbook_service.h"
#include "test_util.h"
#include "vterm_harness.h"

namespace e2e_program {

constexpr char kKey[] = "XXXX-YYYY-ZZZZ-AAAA";
// The first column of each Selector item on row 1.
constexpr int kItemColumns[] = {3, 8, 13, 18, 23, 28, 33, 38, 43, 49, 54, 58};
constexpr char kUpdatePrompt[] = "Press [Enter] to syncronize with your QRZ Logbook.";

using Files = std::map<std::string, std::string>;  // contents by file name

// The names of the files that differ between `shown` and `expected`, "+" after an extra one.
inline std::string Differences(const Files& shown, const Files& expected) {
  std::string names;
  for (const auto& [name, content] : expected) {
    if (!shown.contains(name) || shown.at(name) != content) names += name + " ";
  }
  for (const auto& [name, content] : shown) names += expected.contains(name) ? "" : name + "+ ";
  return names;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.ok());
    ASSERT_TRUE(service_.GenerateLogbook(600, 7));
    ::mkdir(data_.c_str(), 0755);
    ::mkdir(temp_.c_str(), 0755);
  }

  std::string Folder() const { return data_ + "/Varnhold/"; }

  // The fixture's folders and service, no proxy, then `changes`.
  std::vector<std::string> Environment(std::vector<std::string> changes = {}) const {
    changes.insert(changes.begin(),
                   {"LOCALAPPDATA=" + data_, "TEMP=" + temp_, "no_proxy=127.0.0.1",
                    "NO_PROXY=127.0.0.1", "STATEKEEPER_CA_FILE=" + service_.ca_file(),
                    "STATEKEEPER_LOGBOOK_URL=" + service_.endpoint()});
    return changes;
  }

  // Starts the program on a new terminal with Environment(`changes`), through `wrapper`.
  void Start(const std::vector<std::string>& changes = {}, std::vector<std::string> wrapper = {},
             int rows = 43, int columns = 66, bool as_job = false) {
    wrapper.push_back(STATEKEEPER_PROGRAM);
    terminal_ = std::make_unique<e2e::VtermHarness>();
    ASSERT_TRUE(terminal_->Start(wrapper.front(), {wrapper.begin() + 1, wrapper.end()},
                                 Environment(changes), rows, columns, as_job));
  }

  // Starts "statekeeper --update" without a terminal, with Environment(`changes`).
  std::unique_ptr<e2e::DetachedRun> LaunchUpdate(std::vector<std::string> changes = {}) const {
    return std::make_unique<e2e::DetachedRun>(
        STATEKEEPER_PROGRAM, std::vector<std::string>{"--update"}, Environment(std::move(changes)));
  }

  void Enter() { terminal_->SendKey(VTERM_KEY_ENTER); }
  void Escape() {
    terminal_->SendKey(VTERM_KEY_ESCAPE);
    terminal_->Settle(100);  // a lone Esc is told from Alt+key by the silence after it
  }
  void Right() { terminal_->SendKey(VTERM_KEY_RIGHT); }
  void Left() { terminal_->SendKey(VTERM_KEY_LEFT); }
  // After an update the page drops the first key for 3 seconds: one that means nothing.
  void PassTheUpdateWait() {
    terminal_->SendBytes("x");
    terminal_->Settle(50);
  }

  // Answers the Introduction and the prompts of a first run, each answer ended by `line_end`.
  void AnswerPrompts(const std::string& account, const std::string& line_end = "?\x7f\r") {
    ASSERT_TRUE(terminal_->WaitForText(20, "If you are NOT ready tap any other key."));
    terminal_->SendBytes("y");
    ASSERT_TRUE(terminal_->WaitForText(1, "Please enter your QRZ Account Name:"));
    terminal_->SendBytes(account + line_end);
    ASSERT_TRUE(terminal_->WaitForText(2, "Please enter you QRZ API Key:"));
    terminal_->Settle(200);  // the LF of a pasted line must not answer the next prompt
    EXPECT_FALSE(test::FileExists(Folder() + "Keeper.ini"));
    terminal_->SendBytes(kKey + line_end);
  }

  // A first run, through to the Update page.
  void FirstRun(const std::string& account = "k1abc", const std::string& line_end = "?\x7f\r") {
    Start();
    AnswerPrompts(account, line_end);
    ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt, 20'000));
  }

  // The Settings file of a first run, with `key`.
  void WriteSettings(const std::string& key = kKey) {
    ::mkdir(Folder().c_str(), 0700);
    test::WriteFile(Folder() + "Keeper.ini", "K1ABC\r\n" + key + "\r\n");
  }

  // A start with the Settings file of a first run, up to the Update page.
  void StartWithSettings(const std::vector<std::string>& wrapper = {}, bool as_job = false) {
    WriteSettings();
    Start({}, wrapper, 43, 66, as_job);
    ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt, 20'000));
  }

  // The item shown: the one on row 1 in other colours than column 1, DX by its title; or 0.
  int ShownItem() const {
    if (terminal_->Row(1).find("Confirmed Countries") != std::string::npos) return 11;
    for (int item = 1; item <= 12; ++item) {
      if (terminal_->Look(1, kItemColumns[item - 1]) != terminal_->Look(1, 1)) return item;
    }
    return 0;
  }
  ::testing::AssertionResult WaitForItem(int item) {
    return terminal_->WaitUntil([&] { return ShownItem() == item; },
                                "item " + std::to_string(item) + " shown");
  }

  // Ends the program from the main loop with Esc and checks what it leaves behind.
  void EndWithEscape() {
    Escape();
    ASSERT_TRUE(terminal_->WaitForText(1, "Thanks for playing. You have a nice day."));
    EXPECT_NE(terminal_->Row(2).find("73 Arlo"), std::string::npos);
    terminal_->SendBytes("x");  // ends the 5-second wait early
    EXPECT_EQ(terminal_->WaitExit(), "exit 0");
    ExpectTerminal(/*given_back=*/true);
  }

  // Checks that the terminal is as the program keeps it or, `given_back`, as it was before.
  void ExpectTerminal(bool given_back) const {
    EXPECT_NE(terminal_->alternate_screen(), given_back);
    EXPECT_NE(terminal_->mouse_reporting(), given_back);
    EXPECT_EQ(terminal_->cursor_visible(), given_back);
    EXPECT_EQ(terminal_->TtyModes() == terminal_->tty_modes_at_start(), given_back);
  }

  // Every file of the Program folder, by name.
  Files ProgramFiles() const {
    Files files;
    for (const std::string& name : test::ListFolder(Folder())) {
      files[name] = test::ReadFile(Folder() + name).value_or("?");
    }
    return files;
  }

  // The files after a synchronisation of the service's last reply, `countries` the list as
  // it was before: the Settings and lock files, and what the logbook library (unit-tested
  // on its own) makes of that reply in a scratch folder. So the program is checked for
  // writing every file, exactly, from the reply it got.
  Files ExpectedFiles(const std::string& account, award::ConfirmedCountryList countries,
                      const std::string& settings = "K1ABC") const {
    Files files = {{"Keeper.ini", settings + "\r\n" + kKey + "\r\n"}, {"Update.lock", ""}};
    const test::ScopedTempDir scratch;
    const std::string folder = scratch.path() + "/";
    test::WriteFile(dir_.Join("last_reply"), service_.LastReply());
    EXPECT_TRUE(
        logbook::ProcessReply(folder, dir_.Join("last_reply"), folder + account + ".adi", countries)
            .ok());
    for (const std::string& name : test::ListFolder(folder)) {
      files[name] = test::ReadFile(folder + name).value_or("?");
    }
    return files;
  }

  // The band view's count line for the Band file `content`.
  static std::string CountLine(const std::string& content) {
    int unconfirmed = 0;
    for (size_t at = 0; (at = content.find(",\r\n", at)) != std::string::npos; at += 3) {
      ++unconfirmed;
    }
    return "Unconfirmed States: " + std::to_string(unconfirmed) +
           "   Confirmed States: " + std::to_string(50 - unconfirmed) + " ";
  }

  test::LogbookService service_;
  test::ScopedTempDir dir_;
  const std::string data_ = dir_.Join("data");
  const std::string temp_ = dir_.Join("temp");
  std::unique_ptr<e2e::VtermHarness> terminal_;  // a new one for each start
};

}  // namespace e2e_program

#endif  // STATEKEEPER_TESTS_E2E_PROGRAM_FIXTURE_H_
