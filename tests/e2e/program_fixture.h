// The real program on a pseudo-terminal, as an operator uses it: driven only by the bytes a
// terminal sends, checked only by what the terminal shows and what the files hold, against
// the test logbook service. This is what the program's end-to-end tests share.
#ifndef STATEKEEPER_TESTS_E2E_PROGRAM_FIXTURE_H_
#define STATEKEEPER_TESTS_E2E_PROGRAM_FIXTURE_H_

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "award/country_file.h"
#include "award/lists.h"
#include "logbook_service.h"
#include "reference_pipeline.h"
#include "test_util.h"
#include "vterm_harness.h"

namespace e2e_program {

constexpr char kKey[] = "XXXX-YYYY-ZZZZ-AAAA";
// The first column of each Selector item on row 1.
constexpr int kItemColumns[] = {3, 8, 13, 18, 23, 28, 33, 38, 43, 49, 54, 58};
// The terminal's (ANSI) colour index of each console colour: the console numbers blue 1 and
// red 4, the terminal the other way round.
constexpr int kAnsi[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
constexpr char kUpdatePrompt[] = "Press [Enter] to syncronize with your QRZ Logbook.";

// Types `text` (ASCII) as a terminal sends it.
inline void Type(e2e::VtermHarness& terminal, std::string_view text) {
  for (const char c : text) terminal.SendChar(static_cast<unsigned char>(c));
}

// Reads what the program writes for `ms` milliseconds: for checking that a key changed
// nothing, and for the silence that tells a lone Esc from Alt+key.
inline void Settle(e2e::VtermHarness& terminal, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) terminal.Pump(10);
}

inline bool ExitedWith(const std::optional<e2e::ExitStatus>& status, int code) {
  return status && status->exited && status->code == code;
}

// Compares rows `first_row` to `last_row` of the screen, without their trailing blanks,
// with tests/golden/<name>.txt (one row a line, each ended by CR LF), and checks that every
// row below them is blank. On a difference the rows shown go to failed/<name>.txt in the
// current folder.
inline void ExpectGoldenRows(const e2e::VtermHarness& terminal, int first_row, int last_row,
                             const std::string& name) {
  std::string shown;
  for (int row = first_row; row <= last_row; ++row) {
    std::string text = terminal.Row(row);
    text.erase(text.find_last_not_of(' ') + 1);
    shown += text + "\r\n";
  }
  const std::string golden =
      (std::filesystem::path(__FILE__).parent_path().parent_path() / "golden" / (name + ".txt"))
          .string();
  if (test::ReadFile(golden) != shown) {
    ::mkdir("failed", 0755);
    test::WriteFile("failed/" + name + ".txt", shown);
    ADD_FAILURE() << "rows " << first_row << " to " << last_row << " differ from " << golden
                  << " (written to failed/" << name << ".txt):\n"
                  << terminal.Screen();
  }
  for (int row = last_row + 1; row <= terminal.rows(); ++row) {
    EXPECT_EQ(terminal.Row(row), std::string(static_cast<size_t>(terminal.columns()), ' '))
        << "row " << row;
  }
}

// Every file of the Program folder, by name.
using Files = std::map<std::string, std::string>;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.ok());
    ASSERT_TRUE(service_.GenerateLogbook(600, 7));
    ::mkdir(data_.c_str(), 0755);
    ::mkdir(temp_.c_str(), 0755);
  }

  std::string Folder() const { return data_ + "/Varnhold/"; }

  void Start() {
    terminal_ = std::make_unique<e2e::VtermHarness>();
    ASSERT_TRUE(terminal_->Start(
        STATEKEEPER_PROGRAM, {},
        {"LOCALAPPDATA=" + data_, "TEMP=" + temp_, "STATEKEEPER_LOGBOOK_URL=" + service_.endpoint(),
         "STATEKEEPER_CA_FILE=" + service_.ca_file(), "LC_ALL=C.UTF-8", "no_proxy=127.0.0.1",
         "NO_PROXY=127.0.0.1", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}));
  }

  void Enter() { terminal_->SendKey(VTERM_KEY_ENTER); }
  void Escape() {
    terminal_->SendKey(VTERM_KEY_ESCAPE);
    Settle(*terminal_, 100);  // a lone Esc is told from Alt+key by the silence after it
  }
  void Right() { terminal_->SendKey(VTERM_KEY_RIGHT); }
  // After an update the page drops the first key for 3 seconds: a key that means nothing
  // there goes first, so that the next one counts whether the wait is over or not.
  void PassTheUpdateWait() {
    Type(*terminal_, "x");
    Settle(*terminal_, 50);
  }
  void Left() { terminal_->SendKey(VTERM_KEY_LEFT); }

  // From the Introduction through the prompts and the first synchronisation to the main
  // screen.
  void FirstRun(const std::string& account = "k1abc") {
    Start();
    ASSERT_TRUE(terminal_->WaitForText(20, "If you are NOT ready tap any other key."));
    Type(*terminal_, "y");
    ASSERT_TRUE(terminal_->WaitForText(1, "Please enter your QRZ Account Name:"));
    Type(*terminal_, account);
    Enter();
    ASSERT_TRUE(terminal_->WaitForText(2, "Please enter you QRZ API Key:"));
    Type(*terminal_, kKey);
    Enter();
    ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  }

  // The item whose page the screen shows: highlighted on row 1, or DX for the pager's
  // title; 0 for none.
  int ShownItem() const {
    if (terminal_->Row(1).find("Confirmed Countries") != std::string::npos) return 11;
    for (int item = 1; item <= 12; ++item) {
      const int column = kItemColumns[item - 1];
      if (terminal_->Foreground(1, column) == kAnsi[14] &&
          terminal_->Background(1, column) == kAnsi[4]) {
        return item;
      }
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
    Type(*terminal_, "x");  // ends the 5-second wait early
    EXPECT_TRUE(ExitedWith(terminal_->WaitExit(), 0));
    EXPECT_FALSE(terminal_->mouse_reporting());
    EXPECT_TRUE(terminal_->cursor_visible());
  }

  // A start with the Settings file of a first run already there, through `wrapper` (a
  // program and its arguments, to which the program is the last) when one is given.
  void StartWithSettings(const std::vector<std::string>& wrapper = {},
                         e2e::Session session = e2e::Session::kLeader) {
    ::mkdir(Folder().c_str(), 0700);
    test::WriteFile(Folder() + "Keeper.ini", std::string("K1ABC\r\n") + kKey + "\r\n");
    const std::vector<std::string> environment = {"LOCALAPPDATA=" + data_,
                                                  "TEMP=" + temp_,
                                                  "STATEKEEPER_LOGBOOK_URL=" + service_.endpoint(),
                                                  "STATEKEEPER_CA_FILE=" + service_.ca_file(),
                                                  "LC_ALL=C.UTF-8",
                                                  "no_proxy=127.0.0.1",
                                                  "NO_PROXY=127.0.0.1",
                                                  "https_proxy",
                                                  "HTTPS_PROXY",
                                                  "all_proxy",
                                                  "ALL_PROXY"};
    terminal_ = std::make_unique<e2e::VtermHarness>();
    if (wrapper.empty()) {
      ASSERT_TRUE(terminal_->Start(STATEKEEPER_PROGRAM, {}, environment, 43, 66, session));
    } else {
      std::vector<std::string> arguments(wrapper.begin() + 1, wrapper.end());
      arguments.push_back(STATEKEEPER_PROGRAM);
      ASSERT_TRUE(terminal_->Start(wrapper.front(), arguments, environment));
    }
    ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  }

  Files ProgramFiles() const {
    Files files;
    for (const std::string& name : test::ListFolder(Folder())) {
      files[name] = test::ReadFile(Folder() + name).value_or("?");
    }
    return files;
  }

  // What the files must hold after a synchronisation of the service's last reply, with
  // `countries` the list as it was before.
  Files ExpectedFiles(const std::string& account, award::ConfirmedCountryList countries) const {
    Files files;
    const std::string log = reference::NormaliseReply(service_.LastReply()) + "\r\n";
    files[account + ".adi"] = log;
    const auto bands = reference::BandFiles(log);
    for (int band = 1; band <= award::kBandCount; ++band) {
      files[award::BandFileName(band)] = bands[band - 1];
    }
    reference::AddCountries(log, countries);
    files["dx.txt"] = award::FormatCountryFile(countries);
    return files;
  }

  // The band view's count line for the Band file `content`.
  static std::string CountLine(const std::string& content) {
    int unconfirmed = 0;
    for (size_t at = content.find(",\r\n"); at != std::string::npos;
         at = content.find(",\r\n", at + 1)) {
      ++unconfirmed;
    }
    return "Unconfirmed States: " + std::to_string(unconfirmed) +
           "   Confirmed States: " + std::to_string(50 - unconfirmed) + " ";
  }

  test::LogbookService service_;
  test::ScopedTempDir dir_;
  const std::string data_ = dir_.Join("data");
  const std::string temp_ = dir_.Join("temp");
  // A new terminal for each start of the program.
  std::unique_ptr<e2e::VtermHarness> terminal_ = std::make_unique<e2e::VtermHarness>();
};

}  // namespace e2e_program

#endif  // STATEKEEPER_TESTS_E2E_PROGRAM_FIXTURE_H_
