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
#include <string>
#include <tuple>
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

// Files by name, with their contents.
using Files = std::map<std::string, std::string>;

// The names of the files that differ between `shown` and `expected`, or are in one only.
inline std::string Differences(const Files& shown, const Files& expected) {
  std::string names;
  for (const auto& [name, content] : expected) {
    if (!shown.contains(name) || shown.at(name) != content) names += name + " ";
  }
  for (const auto& [name, content] : shown) {
    if (!expected.contains(name)) names += name + "(extra) ";
  }
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

  // The program's environment: the fixture's folders and service, no proxy.
  std::vector<std::string> Environment() const {
    return {"LOCALAPPDATA=" + data_,
            "TEMP=" + temp_,
            "STATEKEEPER_LOGBOOK_URL=" + service_.endpoint(),
            "STATEKEEPER_CA_FILE=" + service_.ca_file(),
            "no_proxy=127.0.0.1",
            "NO_PROXY=127.0.0.1",
            "https_proxy",
            "HTTPS_PROXY",
            "all_proxy",
            "ALL_PROXY"};
  }

  // Starts the program on a new terminal of `rows` x `columns`, with Environment() and then
  // `changes`, through `wrapper` (a program and its arguments, to which the program is the
  // last) when one is given.
  void Start(const std::vector<std::string>& changes = {},
             const std::vector<std::string>& wrapper = {}, int rows = 43, int columns = 66,
             e2e::Session session = e2e::Session::kLeader) {
    std::vector<std::string> environment = Environment();
    environment.insert(environment.end(), changes.begin(), changes.end());
    std::vector<std::string> arguments(wrapper.empty() ? wrapper.end() : wrapper.begin() + 1,
                                       wrapper.end());
    if (!wrapper.empty()) arguments.push_back(STATEKEEPER_PROGRAM);
    terminal_ = std::make_unique<e2e::VtermHarness>();
    ASSERT_TRUE(terminal_->Start(wrapper.empty() ? STATEKEEPER_PROGRAM : wrapper.front(), arguments,
                                 environment, rows, columns, session));
  }

  // Starts "statekeeper --update" without a terminal, with Environment() and then `changes`.
  std::unique_ptr<e2e::DetachedRun> LaunchUpdate(const std::vector<std::string>& changes = {}) {
    std::vector<std::string> environment = Environment();
    environment.insert(environment.end(), changes.begin(), changes.end());
    return std::make_unique<e2e::DetachedRun>(STATEKEEPER_PROGRAM,
                                              std::vector<std::string>{"--update"}, environment);
  }

  void Enter() { terminal_->SendKey(VTERM_KEY_ENTER); }
  void Escape() {
    terminal_->SendKey(VTERM_KEY_ESCAPE);
    Settle(*terminal_, 100);  // a lone Esc is told from Alt+key by the silence after it
  }
  void Right() { terminal_->SendKey(VTERM_KEY_RIGHT); }
  void Left() { terminal_->SendKey(VTERM_KEY_LEFT); }
  // After an update the page drops the first key for 3 seconds: a key that means nothing
  // there goes first, so that the next one counts whether the wait is over or not.
  void PassTheUpdateWait() {
    Type(*terminal_, "x");
    Settle(*terminal_, 50);
  }

  // Answers the Introduction and the two prompts of a first run, each line typed and
  // ended with Enter, or pasted in one piece with `line_end`.
  void AnswerPrompts(const std::string& account, const char* line_end = nullptr) {
    ASSERT_TRUE(terminal_->WaitForText(20, "If you are NOT ready tap any other key."));
    Type(*terminal_, "y");
    for (const auto& [row, prompt, answer] :
         {std::tuple{1, "Please enter your QRZ Account Name:", account},
          std::tuple{2, "Please enter you QRZ API Key:", std::string(kKey)}}) {
      ASSERT_TRUE(terminal_->WaitForText(row, prompt));
      if (line_end == nullptr) {
        Type(*terminal_, answer);
        Enter();
      } else {
        terminal_->SendBytes(answer + line_end);
        Settle(*terminal_, 200);  // the LF of a pasted line must not answer the next prompt
        if (row == 1) {
          EXPECT_FALSE(test::ReadFile(Folder() + "Keeper.ini").has_value());
        }
      }
    }
  }

  // From the Introduction through the prompts and the first synchronisation to the main
  // screen.
  void FirstRun(const std::string& account = "k1abc", const char* line_end = nullptr) {
    Start();
    AnswerPrompts(account, line_end);
    ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt, 20'000));
  }

  // The Settings file of a first run, with `key`.
  void WriteSettings(const std::string& key = kKey) {
    ::mkdir(Folder().c_str(), 0700);
    test::WriteFile(Folder() + "Keeper.ini", "K1ABC\r\n" + key + "\r\n");
  }

  // A start with the Settings file of a first run already there, up to the Update page.
  void StartWithSettings(const std::vector<std::string>& wrapper = {},
                         e2e::Session session = e2e::Session::kLeader) {
    WriteSettings();
    Start({}, wrapper, 43, 66, session);
    ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt, 20'000));
  }

  // The item whose page the screen shows: highlighted on row 1, or DX for the pager's
  // title; 0 for none.
  int ShownItem() const {
    if (terminal_->Row(1).find("Confirmed Countries") != std::string::npos) return 11;
    for (int item = 1; item <= 12; ++item) {
      const int column = kItemColumns[item - 1];
      if (terminal_->ConsoleForeground(1, column) == 14 &&
          terminal_->ConsoleBackground(1, column) == 4) {
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
    EXPECT_FALSE(terminal_->alternate_screen());
  }

  // Every file of the Program folder, by name.
  Files ProgramFiles() const {
    Files files;
    for (const std::string& name : test::ListFolder(Folder())) {
      files[name] = test::ReadFile(Folder() + name).value_or("?");
    }
    return files;
  }

  // What the files must hold after a synchronisation of the service's last reply, with
  // `countries` the list as it was before: the Settings file of `settings` and the lock
  // too, unless `settings` is empty.
  Files ExpectedFiles(const std::string& account, award::ConfirmedCountryList countries,
                      const std::string& settings = "K1ABC") const {
    Files files;
    if (!settings.empty()) {
      files["Keeper.ini"] = settings + "\r\n" + kKey + "\r\n";
      files["Update.lock"] = "";  // the synchronisation held it
    }
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
