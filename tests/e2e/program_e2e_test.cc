// The real program on a pseudo-terminal, as an operator uses it: first runs, moving about
// the screen and the DX pages, signals, a small terminal and the start-up checks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "program_fixture.h"

namespace e2e_program {
namespace {

TEST_F(ProgramTest, AFirstRunSynchronisesAndWritesEveryFileExactly) {
  FirstRun("  k1abc, more");

  EXPECT_EQ(terminal_->title(), "Statekeeper By Brannock Tarvel v2021.11.10");
  EXPECT_TRUE(terminal_->mouse_reporting());
  EXPECT_FALSE(terminal_->cursor_visible());
  EXPECT_EQ(ShownItem(), 12);
  EXPECT_EQ(terminal_->ConsoleForeground(20, 16), 14);  // "Enter" in the Highlight colours
  EXPECT_EQ(terminal_->ConsoleBackground(20, 16), 4);
  EXPECT_EQ(terminal_->ConsoleForeground(30, 30), 15);  // the Work area in the Normal colours
  EXPECT_EQ(terminal_->ConsoleBackground(30, 30), 1);

  const Files files = ProgramFiles();
  EXPECT_EQ(Differences(files, ExpectedFiles("K1ABC", {})), "");
  EXPECT_EQ(test::FileMode(Folder() + "Keeper.ini"), 0600);
  EXPECT_EQ(test::FileMode(Folder() + "Update.lock"), 0600);
  EXPECT_EQ(test::FileMode(Folder()), 0700);
  EXPECT_NE(files.at("dx.txt").find("\r\nUNITED STATES\r\n"), std::string::npos);

  Escape();  // the first Esc on the Update page is dropped
  EXPECT_EQ(ShownItem(), 12);
  EndWithEscape();
}

// A first run as many operators make it: the account and the key pasted with the CR LF of
// a clipboard, a portable call sign that no file name can hold as it stands, and a
// logbook that writes its bands in either case.
TEST_F(ProgramTest, APastedFirstRunOfAPortableCallCountsBandsInEitherCase) {
  std::string logbook = test::ReadFile(service_.state_dir() + "/logbook.adi").value_or("");
  int capitals = 0;
  for (const std::string band : {"10m", "12m", "15m", "17m", "20m", "30m", "40m", "80m", "160m"}) {
    const std::string field = "<band:" + std::to_string(band.size()) + ">" + band;
    std::string capital = field;
    capital.back() = 'M';
    for (size_t at = logbook.find(field); at != std::string::npos;
         at = logbook.find(field, at + 1)) {
      if (++capitals % 2 == 0) logbook.replace(at, field.size(), capital);
    }
  }
  ASSERT_GT(capitals, 100);
  service_.SetLogbook(logbook);

  FirstRun("k1abc/p", "\r\n");
  EXPECT_EQ(Differences(ProgramFiles(), ExpectedFiles("K1ABC_P", {}, "K1ABC/P")), "");
  Escape();
  EndWithEscape();
}

// Along the Selector by arrows, through the DX pages, and back by clicks.
TEST_F(ProgramTest, EveryItemIsReachedByArrowsAndByClicksAndTheDxPagesTurn) {
  FirstRun();
  const Files files = ProgramFiles();
  Right();  // from Update to 10m, then along the bands
  for (int band = 1; band <= award::kBandCount; ++band) {
    ASSERT_TRUE(WaitForItem(band));
    ASSERT_TRUE(terminal_->WaitForText(42, CountLine(files.at(award::BandFileName(band)))))
        << "band " << band;
    Right();
  }
  ASSERT_TRUE(WaitForItem(10));
  ASSERT_TRUE(terminal_->WaitForText(42, "Total Confirmed:"));
  Right();
  ASSERT_TRUE(WaitForItem(11));
  ASSERT_TRUE(terminal_->WaitForText(3, "  1 "));
  for (int page = 2; page <= 5; ++page) {
    terminal_->SendKey(VTERM_KEY_PAGEDOWN);
    ASSERT_TRUE(terminal_->WaitForText(3, std::to_string(78 * (page - 1) + 1) + " ")) << page;
  }
  Type(*terminal_, "D");  // the last page stays
  Type(*terminal_, "d");  // lower case does nothing
  Settle(*terminal_, 100);
  EXPECT_NE(terminal_->Row(3).find("313 "), std::string::npos);
  for (int page = 4; page >= 1; --page) {
    terminal_->SendKey(VTERM_KEY_PAGEUP);
    ASSERT_TRUE(terminal_->WaitForText(3, std::to_string(78 * (page - 1) + 1) + " ")) << page;
  }
  Escape();  // Esc does not end the program on the DX page
  EXPECT_EQ(ShownItem(), 11);
  Left();  // the pager hands Left back: All
  ASSERT_TRUE(WaitForItem(10));
  Right();
  ASSERT_TRUE(WaitForItem(11));
  Type(*terminal_, "R");
  ASSERT_TRUE(WaitForItem(12));
  Left();
  ASSERT_TRUE(WaitForItem(11));
  Right();  // the pager hands Right back to the Selector
  ASSERT_TRUE(WaitForItem(12));
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));

  // By clicks: the first click on the Update page is dropped, the next ones select.
  terminal_->Click(1, 2);
  Settle(*terminal_, 100);
  EXPECT_EQ(ShownItem(), 12);
  terminal_->Click(1, 2);
  ASSERT_TRUE(WaitForItem(1));
  const int click_columns[] = {7, 12, 17, 22, 27, 32, 37, 42, 48};
  for (int item = 2; item <= 10; ++item) {
    terminal_->Click(1, click_columns[item - 2]);
    ASSERT_TRUE(WaitForItem(item));
  }
  terminal_->Click(1, 66);  // no item there: the summary is drawn again
  terminal_->Click(3, 10);
  Settle(*terminal_, 100);
  EXPECT_EQ(ShownItem(), 10);
  terminal_->Click(1, 53);
  ASSERT_TRUE(WaitForItem(11));
  Left();  // the pager takes no clicks
  ASSERT_TRUE(WaitForItem(10));
  terminal_->Click(1, 65);
  ASSERT_TRUE(WaitForItem(12));
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  Escape();
  EndWithEscape();
}

// Every signal that ends the program, whether it asks it to end or leaves it no time (a
// crash, SIGQUIT, SIGPIPE ...), gives the terminal back as it was and ends the program
// with that signal at once, during a download too; no file is touched.
TEST_F(ProgramTest, SignalsThatEndTheProgramRestoreTheTerminalAndEndWithTheSignal) {
  struct Case {
    int signal_number;
    bool downloading;
  };
  const Case cases[] = {{SIGTERM, false}, {SIGHUP, false},  {SIGINT, false},
                        {SIGSEGV, false}, {SIGABRT, false}, {SIGQUIT, false},
                        {SIGPIPE, false}, {SIGUSR1, false}, {SIGTERM, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(sigabbrev_np(c.signal_number)) + (c.downloading ? " download" : ""));
    StartWithSettings();
    if (c.downloading) {
      service_.SetMode("stall 30");
      Enter();
      ASSERT_TRUE(terminal_->WaitForText(21, "One moment please"));
      Settle(*terminal_, 300);
    } else {
      Right();
      ASSERT_TRUE(WaitForItem(1));  // the band view
    }
    ASSERT_NE(terminal_->TtyModes(), terminal_->tty_modes_at_start());
    const Files files = ProgramFiles();
    terminal_->Signal(c.signal_number);
    const std::optional<e2e::ExitStatus> status = terminal_->WaitExit(5000);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->signalled && status->signal == c.signal_number);
    EXPECT_EQ(terminal_->TtyModes(), terminal_->tty_modes_at_start());
    EXPECT_FALSE(terminal_->mouse_reporting());
    EXPECT_TRUE(terminal_->cursor_visible());
    EXPECT_FALSE(terminal_->alternate_screen());
    EXPECT_EQ(Differences(ProgramFiles(), files), "");
    EXPECT_TRUE(test::ListFolder(temp_).empty());
  }
}

// A stop gives the shell its terminal back; running on takes it again and paints the
// whole screen, and keys work.
TEST_F(ProgramTest, AStopGivesTheTerminalBackAndRunningOnPaintsItAgain) {
  StartWithSettings({}, e2e::Session::kJob);  // the Update page, whose prompt comes last
  const std::string screen = terminal_->Screen();
  const std::string program_modes = terminal_->TtyModes();

  terminal_->Signal(SIGTSTP);
  ASSERT_TRUE(terminal_->WaitUntil([&] { return terminal_->Stopped(); }, "stopped"));
  terminal_->Pump(0);  // what it wrote before it stopped
  EXPECT_EQ(terminal_->TtyModes(), terminal_->tty_modes_at_start());
  EXPECT_FALSE(terminal_->mouse_reporting());
  EXPECT_TRUE(terminal_->cursor_visible());
  EXPECT_FALSE(terminal_->alternate_screen());

  terminal_->Signal(SIGCONT);
  ASSERT_TRUE(terminal_->WaitUntil([&] { return terminal_->Screen() == screen; },
                                   "the whole screen painted again"));
  EXPECT_TRUE(terminal_->alternate_screen());
  EXPECT_TRUE(terminal_->mouse_reporting());
  EXPECT_FALSE(terminal_->cursor_visible());
  EXPECT_EQ(terminal_->TtyModes(), program_modes);
  Right();
  ASSERT_TRUE(WaitForItem(1));
  EndWithEscape();
}

TEST_F(ProgramTest, ATerminalTooSmallShowsANoticeAndTheScreenComesBackWhole) {
  StartWithSettings();
  Right();
  ASSERT_TRUE(WaitForItem(1));
  ASSERT_TRUE(terminal_->WaitForText(42, "Confirmed States:"));  // the view's last row
  const std::string screen = terminal_->Screen();
  for (int i = 0; i < 5; ++i) {
    terminal_->Resize(20, 40);
    ASSERT_TRUE(terminal_->WaitForScreenText("at least 66 x 43"));
    EXPECT_TRUE(terminal_->WaitForScreenText("40 x 20"));
    Type(*terminal_, "x");  // keys still reach the program
    terminal_->Resize(43, 66);
    ASSERT_TRUE(terminal_->WaitUntil([&] { return terminal_->Screen() == screen; },
                                     "the screen back whole"));
  }
  Right();
  ASSERT_TRUE(WaitForItem(2));
  EndWithEscape();
}

// A start that cannot go on says why in one line, leaves the terminal alone, ends with
// status 1 and makes no file.
TEST(ProgramStart, WithoutAPlaceForItsFilesOrAKnownTerminalItSaysSoInOneLine) {
  test::ScopedTempDir dir;
  const std::vector<std::string> no_folder = {"LOCALAPPDATA", "XDG_DATA_HOME", "HOME"};
  // curses leaks a little inside its terminal database when it does not know the type:
  // not ours to report.
  const std::vector<std::string> no_terminal = {
      "TERM=no-such-terminal", "LOCALAPPDATA=" + dir.path(), "ASAN_OPTIONS=detect_leaks=0"};
  for (const auto& [environment, reason] :
       {std::pair{no_folder, "LOCALAPPDATA"}, std::pair{no_terminal, "no-such-terminal"}}) {
    SCOPED_TRACE(reason);
    e2e::VtermHarness terminal;
    ASSERT_TRUE(terminal.Start(STATEKEEPER_PROGRAM, {}, environment));
    EXPECT_TRUE(ExitedWith(terminal.WaitExit(), 1));
    const std::string& output = terminal.output();
    EXPECT_NE(output.find(reason), std::string::npos) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
    EXPECT_EQ(output.find('\x1b'), std::string::npos) << "the terminal was touched: " << output;
    EXPECT_TRUE(test::ListFolder(dir.path()).empty());
  }
}

}  // namespace
}  // namespace e2e_program
