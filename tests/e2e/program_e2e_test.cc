// The real program on a pseudo-terminal: first runs, moving about the screen and the DX
// pages, signals, stops, terminals too small or of eight colours; and without a terminal,
// what it answers to its arguments.
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "award/band_files.h"
#include "program_fixture.h"

namespace e2e_program {
namespace {

// A first run with the account and key pasted with a clipboard's CR LF and a portable call
// sign that no file name can hold as it stands; then every item by arrows and by clicks,
// and the DX pages turned.
TEST_F(ProgramTest, AFirstRunWritesEveryFileExactlyAndEveryItemIsReachedByArrowsAndClicks) {
  FirstRun("  k1abc/p, more", "\r\n");
  EXPECT_EQ(terminal_->title(), "Statekeeper By Brannock Tarvel v2021.11.10");
  ExpectTerminal(/*given_back=*/false);
  EXPECT_EQ(ShownItem(), 12);
  const Files files = ProgramFiles();
  EXPECT_EQ(Differences(files, ExpectedFiles("K1ABC_P", {}, "K1ABC/P")), "");
  EXPECT_EQ(test::FileMode(Folder() + "Keeper.ini"), 0600);
  EXPECT_EQ(test::FileMode(Folder() + "Update.lock"), 0600);
  EXPECT_EQ(test::FileMode(Folder()), 0700);
  Escape();  // the first Esc on the Update page is dropped
  EXPECT_EQ(ShownItem(), 12);
  // Along the Selector by arrows, through the DX pages, and back by clicks.
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
  // The pages turn (their keys are the pager's own, pinned by its unit tests).
  ASSERT_TRUE(terminal_->WaitForText(3, "  1 "));
  terminal_->SendKey(VTERM_KEY_PAGEDOWN);
  ASSERT_TRUE(terminal_->WaitForText(3, " 79 "));
  terminal_->SendKey(VTERM_KEY_PAGEUP);
  ASSERT_TRUE(terminal_->WaitForText(3, "  1 "));
  Escape();  // Esc does not end the program on the DX page
  EXPECT_EQ(ShownItem(), 11);
  Left();  // the pager hands Left and Right back to the Selector
  ASSERT_TRUE(WaitForItem(10));
  Right();
  ASSERT_TRUE(WaitForItem(11));
  terminal_->SendBytes("R");
  ASSERT_TRUE(WaitForItem(12));
  terminal_->SendBytes("L");
  ASSERT_TRUE(WaitForItem(11));
  Right();
  ASSERT_TRUE(WaitForItem(12));
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));

  // By clicks: the first click on the Update page is dropped, the next ones select; a click
  // beside the items draws the summary again; the pager takes no clicks.
  terminal_->Click(1, 2);
  terminal_->Click(1, kItemColumns[4], 3);  // a right click is nothing
  terminal_->Settle(100);
  EXPECT_EQ(ShownItem(), 12);
  for (int item = 1; item <= 10; ++item) {
    terminal_->Click(1, kItemColumns[item - 1] - 1);
    ASSERT_TRUE(WaitForItem(item));
  }
  terminal_->Click(1, 66);
  terminal_->Click(3, 10);
  terminal_->Settle(100);
  EXPECT_EQ(ShownItem(), 10);
  terminal_->Click(1, 53);
  ASSERT_TRUE(WaitForItem(11));
  Left();
  ASSERT_TRUE(WaitForItem(10));
  terminal_->Click(1, 65);
  ASSERT_TRUE(WaitForItem(12));
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  terminal_->SendBytes("R");  // the Update page takes R and L as the arrows
  ASSERT_TRUE(WaitForItem(1));
  EndWithEscape();
}

// Every signal that ends the program, whether it asks it to end or leaves it no time (a
// crash, SIGQUIT, SIGPIPE ...), gives the terminal back as it was and ends the program
// with that signal at once, during a download too; no file is touched.
TEST_F(ProgramTest, SignalsThatEndTheProgramRestoreTheTerminalAndEndWithTheSignal) {
  for (const int signal_number :
       {SIGTERM, SIGHUP, SIGINT, SIGSEGV, SIGABRT, SIGQUIT, SIGPIPE, SIGUSR1, -SIGTERM}) {
    const bool downloading = signal_number < 0;
    SCOPED_TRACE(sigabbrev_np(std::abs(signal_number)));
    StartWithSettings();
    if (downloading) {
      service_.SetMode("stall 30");
      Enter();
      ASSERT_TRUE(terminal_->WaitForText(21, "One moment please"));
      terminal_->Settle(300);
    } else {
      Right();
      ASSERT_TRUE(WaitForItem(1));  // the band view
    }
    ExpectTerminal(/*given_back=*/false);
    const Files files = ProgramFiles();
    terminal_->Signal(std::abs(signal_number));
    EXPECT_EQ(terminal_->WaitExit(5000), "signal " + std::to_string(std::abs(signal_number)));
    ExpectTerminal(/*given_back=*/true);
    EXPECT_EQ(Differences(ProgramFiles(), files), "");
    EXPECT_TRUE(test::ListFolder(temp_).empty());
  }
}

// A stop gives the shell its terminal back; running on takes it again, paints the whole
// screen, and keys work. A terminal too small shows a notice instead and the screen comes
// back whole; a larger one shows it at the top left and takes no clicks beyond it.
TEST_F(ProgramTest, AStopOrATooSmallTerminalGivesTheScreenBackWhole) {
  StartWithSettings({}, /*as_job=*/true);
  Right();
  ASSERT_TRUE(WaitForItem(1));
  ASSERT_TRUE(terminal_->WaitForText(42, "Confirmed States:"));  // the view's last row
  const std::string screen = terminal_->Screen();
  const std::string program_modes = terminal_->TtyModes();
  terminal_->Signal(SIGTSTP);
  ASSERT_TRUE(terminal_->WaitUntil([&] { return terminal_->Stopped(); }, "stopped"));
  terminal_->Settle(0);  // what it wrote before it stopped
  ExpectTerminal(/*given_back=*/true);
  terminal_->Signal(SIGCONT);
  ASSERT_TRUE(terminal_->WaitUntil([&] { return terminal_->Screen() == screen; },
                                   "the whole screen painted again"));
  ExpectTerminal(/*given_back=*/false);
  EXPECT_EQ(terminal_->TtyModes(), program_modes);
  terminal_->Resize(20, 40);
  ASSERT_TRUE(terminal_->WaitForText(0, "at least 66 x 43"));
  EXPECT_TRUE(terminal_->WaitForText(0, "40 x 20"));
  terminal_->SendBytes("x");  // keys still reach the program
  terminal_->Resize(43, 66);
  ASSERT_TRUE(
      terminal_->WaitUntil([&] { return terminal_->Screen() == screen; }, "the screen back whole"));
  terminal_->Resize(50, 80);
  std::string wide;
  for (const char c : screen) wide += c == '\n' ? std::string(14, ' ') + "\n" : std::string(1, c);
  for (int row = 44; row <= 50; ++row) wide += std::string(80, ' ') + "\n";
  ASSERT_TRUE(terminal_->WaitUntil([&] { return terminal_->Screen() == wide; },
                                   "the screen at the top left"));
  terminal_->Click(44, kItemColumns[2]);  // below the screen: nothing
  terminal_->Click(1, kItemColumns[1]);
  ASSERT_TRUE(WaitForItem(2));
  EndWithEscape();
}

// On the Linux console, of eight colours, the bright half of the foregrounds shows as bold
// and a bright background as dark plus blink. A terminal fills erased cells with the colours
// alone: no erase (ECH, EL, ED) may come while bold or blink is on, or the blanks of a run
// would lose what the rest of it has. A closed terminal ends the program as SIGHUP does; a
// terminal type that curses does not know, in one line and before anything is sent to it.
TEST_F(ProgramTest, OnTheLinuxConsoleTheBrightHalfIsBoldOrBlinkAndNoEraseLosesIt) {
  WriteSettings();
  Start({"TERM=no-such-terminal", "ASAN_OPTIONS=detect_leaks=0"});  // curses leaks for it
  EXPECT_EQ(terminal_->WaitExit(), "exit 1");
  EXPECT_EQ(terminal_->output(), "statekeeper: unknown terminal type 'no-such-terminal'\r\n");
  Start({"TERM=linux"});
  ASSERT_TRUE(terminal_->WaitForText(20, kUpdatePrompt));
  EXPECT_EQ(terminal_->Look(1, kItemColumns[11]) + ", " + terminal_->Look(20, 1),
            "6/4 bold, 7/1 bold");
  Left();  // the DX page: its panels in black on bright white
  ASSERT_TRUE(WaitForItem(11));
  EXPECT_TRUE(terminal_->WaitUntil([&] { return terminal_->Look(41, 30) == "0/7 blink"; },
                                   "a blank of a panel in 0/7 blink"));
  const std::string& output = terminal_->output();
  const std::regex sequence("\x1b\\[([0-9;]*)([mXKJ])"), colour("[34][0-9]|39;49");
  bool on = false;
  int erases = 0;
  for (auto it = std::sregex_iterator(output.begin(), output.end(), sequence);
       it != std::sregex_iterator(); ++it) {
    const std::string parameters = (*it)[1];
    if ((*it)[2] != "m") {
      erases += on ? 1 : 0;
    } else if (!std::regex_match(parameters, colour)) {
      on = std::regex_search(parameters, std::regex("(^|;)[15](;|$)"));
    }
  }
  EXPECT_EQ(erases, 0);
  terminal_->Hangup();
  EXPECT_EQ(terminal_->WaitExit(), "signal " + std::to_string(SIGHUP));
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kFolders) ASSERT_EQ(::mkdir(homes_.Join(name).c_str(), 0700), 0);
  }

  // Runs the program without a terminal in the folder "cwd", with every folder it could
  // keep files in or download to one of those of `homes_`.
  e2e::Outcome RunWith(const std::vector<std::string>& arguments) {
    return e2e::DetachedRun(STATEKEEPER_PROGRAM, arguments,
                            {"HOME=" + homes_.Join("home"), "XDG_DATA_HOME=" + homes_.Join("xdg"),
                             "LOCALAPPDATA=" + homes_.Join("local"), "TEMP=" + homes_.Join("temp"),
                             "TMPDIR=" + homes_.Join("tmpdir")},
                            homes_.Join("cwd"))
        .Wait();
  }

  static constexpr const char* kFolders[] = {"home", "xdg", "local", "temp", "tmpdir", "cwd"};
  test::ScopedTempDir homes_;
};

// What is asked of the program alone is answered without a terminal, first with nothing
// kept yet, then from the files an update left, and makes or changes no file; without
// arguments it looks for its terminal and fails for want of one.
TEST_F(CommandLineTest, EachArgumentOrFailedStartIsAnsweredInOneLineAndWritesNothing) {
  const std::string help = app::HelpText(app::HelpPlatform::kPosix);
  const std::string unknown =
      "statekeeper: unknown argument '--bogus'; 'statekeeper --help' lists the arguments\n";
  ASSERT_NE(help.find("man statekeeper"), std::string::npos);
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string output;
    std::string error;  // its one line starts with this; none when empty
  };
  const auto check = [&](const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.arguments.empty() ? "none" : c.arguments.back());
      const e2e::Outcome run = RunWith(c.arguments);
      EXPECT_EQ(run.status, c.status) << run.error;
      EXPECT_EQ(run.output, c.output);
      EXPECT_EQ(run.error.rfind(c.error, 0), 0u) << run.error;
      EXPECT_EQ(run.error.find('\n'), c.error.empty() ? std::string::npos : run.error.size() - 1)
          << run.error;
    }
  };
  check({
      {{"--help"}, 0, help, ""},
      {{"--bogus"}, 2, "", unknown},
      {{"--needed"}, 1, "", "statekeeper: no "},
      {{"--countries"}, 1, "", "statekeeper: no "},
      {{"--update"}, 2, "", "statekeeper: no settings yet ("},
      {{}, 1, "", "statekeeper: no terminal to run in (/dev/tty)"},
  });
  for (const char* name : kFolders) EXPECT_EQ(test::ListFolder(homes_.Join(name)).size(), 0u);
  EXPECT_EQ(test::ListFolder(homes_.path()).size(), 6u);

  const std::string folder = homes_.Join("local/Varnhold/");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  for (int band = 1; band <= award::kBandCount; ++band) {  // a count is a confirmed state
    test::WriteFile(folder + award::BandFileName(band),
                    band == 5 ? "AK,\r\nDE,\r\nHI,\r\n" : "AL, 2\r\n");
  }
  // A hand-edited file: the abbreviation is upper-cased.
  test::WriteFile(folder + "160m.txt", "wy,\r\nAL, 3\r\n");
  test::WriteFile(folder + "dx.txt", "3\r\nJAPAN\r\nCANADA\r\nALAND ISLANDS\r\n");
  const std::vector<std::string> files = test::ListFolder(folder);
  check({
      {{"--needed"}, 0, "10m:\n12m:\n15m:\n17m:\n20m: AK DE HI\n30m:\n40m:\n80m:\n160m: WY\n", ""},
      {{"--needed", "160m"}, 0, "160m: WY\n", ""},
      {{"--countries"}, 0, "ALAND ISLANDS\nCANADA\nJAPAN\n", ""},
  });
  EXPECT_EQ(test::ListFolder(folder), files);
  EXPECT_EQ(test::ReadFile(folder + "160m.txt"), "wy,\r\nAL, 3\r\n");
}

}  // namespace
}  // namespace e2e_program
