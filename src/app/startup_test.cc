#include "app/startup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/atomic_file.h"
#include "console/console.h"
#include "recording_backend.h"
#include "test_util.h"

namespace app {
namespace {

using test::PadRight;
using test::RowText;

// Nothing listens on the discard port of the loopback address: every download fails at
// once, without the network.
constexpr const char* kDeadEndpoint = "https://127.0.0.1:9/api";
// Keys scripted behind this pause are typed after the download: while it runs, the program
// takes the keys that have arrived (listening for Esc), and on the test's clock it is over
// within a few milliseconds.
constexpr std::int64_t kAfterTheDownloadMs = 1000;

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : backend_(console::Size{30, 80}), console_(backend_) {
    places_.program_folder = dir_.Join("Varnhold/");
    places_.temp_folder = dir_.path() + "/";
    places_.endpoint = kDeadEndpoint;
    places_.creation = Places::Creation::kLastLevel;
  }

  int Run() {
    return RunProgram(console_, places_, [] { return false; });
  }
  std::string SettingsPath() const { return places_.program_folder + kSettingsFileName; }
  void Enter() { backend_.AddKey("\r"); }
  void Escape() { backend_.AddKey("\x1b"); }

  test::ScopedTempDir dir_;
  Places places_;
  test::RecordingBackend backend_;
  console::Console console_;
};

TEST_F(StartupTest, TheIntroductionIsShownInTheTerminalsOwnSizeAndColours) {
  backend_.AddText("n");
  EXPECT_EQ(Run(), 0);

  ASSERT_GE(backend_.screens().size(), 1u);
  const console::Grid& intro = backend_.screens().front();
  ASSERT_EQ(intro.rows, 30);
  ASSERT_EQ(intro.columns, 80);
  const std::vector<std::string> expected = {
      "  Before going further you will need your QRZ Account Name",
      "  which is usually your call sign.",
      "",
      "  And you will also need your QRZ Logbook API Key.        ",
      "  It can be found in your QRZ log book under 'Settings'.  ",
      "  It's a long number that looks like: XXXX-YYYY-ZZZZ-AAAA ",
      "  Of course your API Key will have different numbers.     ",
      "  Make sure you enter it correctly!  Double check it.     ",
      "",
      "  The initial installation process will download your QRZ ",
      "  log book to your hard drive. When ever you update your  ",
      "  QRZ log book you should use the 'Update' option in the  ",
      "  Statekeeper to resynchronize the Statekeeper with your  ",
      "  online QRZ logbook.                                     ",
      "",
      "  Please make sure you have copied your logbook API Key   ",
      "  correctly.  This is very important.                     ",
      "",
      "       If you are ready to proceed press the [Y] key.     ",
      "         If you are NOT ready tap any other key.          ",
  };
  for (int row = 1; row <= intro.rows; ++row) {
    const std::string line = row <= static_cast<int>(expected.size()) ? expected[row - 1] : "";
    EXPECT_EQ(RowText(intro, row), PadRight(line, 80)) << "row " << row;
    for (int column = 0; column < intro.columns; ++column) {
      ASSERT_EQ(intro.at(row - 1, column).attribute, 0x07) << row << "," << column + 1;
    }
  }
}

TEST_F(StartupTest, AnyAnswerButYEndsInTheFarewellWithNothingCreated) {
  const std::vector<std::string> answers = {"n", "\x1b", "\r", std::string("\0H", 2), "Z"};
  for (const std::string& answer : answers) {
    test::ScopedTempDir dir;
    places_.program_folder = dir.Join("Varnhold/");
    test::RecordingBackend backend(console::Size{30, 80});
    console::Console console(backend);
    backend.AddKey(answer);
    EXPECT_EQ(RunProgram(console, places_, [] { return false; }), 0);

    // The Farewell in the colours of the Introduction, and the 5-second wait took no key.
    EXPECT_EQ(RowText(backend.presented(), 1),
              PadRight("Thanks for playing. You have a nice day.", 80));
    EXPECT_EQ(RowText(backend.presented(), 2), PadRight("73 Arlo", 80));
    EXPECT_EQ(backend.presented().at(0, 0).attribute, 0x07);
    EXPECT_GE(backend.NowMs(), 5000);
    EXPECT_TRUE(test::ListFolder(dir.path()).empty()) << "answer " << int(answer[0]);
  }
}

TEST_F(StartupTest, BothCasesOfYGoOnToThePrompts) {
  for (const char* answer : {"y", "Y"}) {
    test::ScopedTempDir dir;
    places_.program_folder = dir.Join("Varnhold/");
    test::RecordingBackend backend(console::Size{30, 80});
    console::Console console(backend);
    backend.AddText(answer);
    backend.AddText("k1abc\r");
    backend.AddText("KEY\r");
    backend.AddPause(kAfterTheDownloadMs);
    backend.AddKey("x");  // goes on after the failure notice
    backend.AddKey("\x1b");
    backend.AddKey("\x1b");
    EXPECT_EQ(RunProgram(console, places_, [] { return false; }), 0);
    ASSERT_GE(backend.screens().size(), 2u);
    EXPECT_EQ(RowText(backend.screens()[1], 1), PadRight("Please enter your QRZ Account Name:", 80))
        << answer;
    EXPECT_EQ(test::ReadFile(dir.Join("Varnhold/Keeper.ini")), "K1ABC\r\nKEY\r\n") << answer;
  }
}

TEST_F(StartupTest, FirstRunTakesTheFirstFieldsAndWritesPrivateSettings) {
  backend_.AddText("y");
  backend_.AddText("  k1abc, more text\r");
  backend_.AddText("\"AB12 CD, 34\" rest\r");
  backend_.AddPause(kAfterTheDownloadMs);
  backend_.AddKey("x");
  Escape();
  Escape();
  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(test::ReadFile(SettingsPath()), "K1ABC\r\nAB12 CD, 34\r\n");
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
  EXPECT_EQ(test::FileMode(SettingsPath()), 0600);
  EXPECT_EQ(test::FileMode(dir_.Join("Varnhold")), 0700);
#endif

  // The prompts: the second one starts the row after the first entry, which is echoed.
  const std::vector<console::Grid>& screens = backend_.screens();
  const auto prompts = std::find_if(screens.begin(), screens.end(), [](const console::Grid& g) {
    return RowText(g, 2).starts_with("Please enter you QRZ API Key:");
  });
  ASSERT_NE(prompts, screens.end());
  EXPECT_EQ(RowText(*prompts, 1),
            PadRight("Please enter your QRZ Account Name:  k1abc, more text", 80));
  EXPECT_EQ(RowText(*prompts, 2), PadRight("Please enter you QRZ API Key:", 80));
}

TEST_F(StartupTest, AFailedFirstSynchronisationSaysSoWaitsForAKeyAndChangesNothing) {
  backend_.AddText("y");
  backend_.AddText("K1ABC\r");
  backend_.AddText("KEY\r");
  backend_.AddPause(kAfterTheDownloadMs);
  backend_.AddKey("x");
  Escape();
  Escape();
  EXPECT_EQ(Run(), 0);

  // The notice, still in the terminal's size and colours, waits for the key.
  const std::vector<console::Grid>& screens = backend_.screens();
  const auto notice = std::find_if(screens.begin(), screens.end(), [](const console::Grid& g) {
    return RowText(g, 24).find("Press any key to go on.") != std::string::npos;
  });
  ASSERT_NE(notice, screens.end());
  EXPECT_EQ(notice->columns, 80);
  EXPECT_EQ(RowText(*notice, 20).substr(0, 58),
            std::string(14, ' ') + "Update failed: nothing was changed" + std::string(10, ' '));
  EXPECT_NE(RowText(*notice, 21), PadRight("", 80));
  EXPECT_EQ(RowText(*notice, 21).find("KEY"), std::string::npos);
  EXPECT_EQ(notice->at(19, 20).attribute, 0x07);

  // Only the Settings file was written, beside the update's lock.
  EXPECT_EQ(test::ListFolder(dir_.Join("Varnhold")),
            (std::vector<std::string>{"Keeper.ini", "Update.lock"}));
}

TEST_F(StartupTest, EmptyEntriesWriteEmptyLines) {
  backend_.AddText("y\r\r");
  backend_.AddPause(kAfterTheDownloadMs);
  backend_.AddKey("x");
  Escape();
  Escape();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(test::ReadFile(SettingsPath()), "\r\n\r\n");
}

TEST_F(StartupTest, ASettingsFileThatCannotBeWrittenStillReachesTheMainScreen) {
  test::WriteFile(dir_.Join("Varnhold"), "in the way");
  backend_.AddText("y");
  backend_.AddText("K1ABC\r");
  backend_.AddText("KEY\r");
  backend_.AddPause(kAfterTheDownloadMs);
  backend_.AddKey("x");
  Escape();
  Escape();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(test::ReadFile(dir_.Join("Varnhold")), "in the way");
  // The main screen came up all the same.
  const auto& screens = backend_.screens();
  ASSERT_GE(screens.size(), 2u);
  EXPECT_EQ(RowText(screens[screens.size() - 2], 20).substr(8, 50),
            "Press [Enter] to syncronize with your QRZ Logbook.");
}

TEST_F(StartupTest, AStartWithSettingsConfiguresTheConsoleAndOpensOnTheUpdatePage) {
  CreateProgramFolder(places_);
  test::WriteFile(SettingsPath(), "k1abc\r\nKEY\r\n");
  Escape();
  Escape();
  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(backend_.title(), "Statekeeper By Brannock Tarvel v2021.11.10");
  EXPECT_EQ(backend_.requested_size(), (console::Size{43, 66}));
  EXPECT_TRUE(backend_.mouse_reporting());
  EXPECT_FALSE(console_.cursor_visible());

  // No Introduction: the first screen is the Update page with "Update" highlighted.
  ASSERT_GE(backend_.screens().size(), 1u);
  const console::Grid& first = backend_.screens().front();
  ASSERT_EQ(first.rows, 43);
  ASSERT_EQ(first.columns, 66);
  EXPECT_EQ(RowText(first, 1),
            PadRight("  10m  12m  15m  17m  20m  30m  40m  80m  160m  All  DX  Update"));
  EXPECT_EQ(first.at(0, 57).attribute, 0x4E);
  EXPECT_EQ(first.at(0, 62).attribute, 0x4E);
  EXPECT_EQ(first.at(0, 56).attribute, 0x1F);
  EXPECT_EQ(first.at(0, 63).attribute, 0x1F);
  EXPECT_EQ(first.at(42, 65).attribute, 0x1F);

  // The settings were read and nothing was written.
  EXPECT_EQ(test::ReadFile(SettingsPath()), "k1abc\r\nKEY\r\n");
  EXPECT_EQ(test::ListFolder(dir_.Join("Varnhold")), std::vector<std::string>{"Keeper.ini"});
}

TEST_F(StartupTest, WhatAnUpdateKilledMidwayLeftIsGoneAfterTheNextStart) {
  CreateProgramFolder(places_);
  test::WriteFile(SettingsPath(), "K1ABC\r\nKEY\r\n");
  test::WriteFile(places_.program_folder + "K1ABC.adi", "old log");
  // What the killed process had written of the new Local log and of a Band file.
  test::ChildProcess killed;
  killed.End();
  const std::string log_leftover = base::TemporaryName("K1ABC.adi", killed.id(), 0x5eed);
  const std::string band_leftover = base::TemporaryName("10m.txt", killed.id(), 0xfeed);
  test::WriteFile(places_.program_folder + log_leftover, std::string(50000, 'x'));
  test::WriteFile(places_.program_folder + band_leftover, "10m");
  // The operator's own files with similar names.
  test::WriteFile(places_.program_folder + "K1ABC.adi.partial", "mine");
  test::WriteFile(places_.program_folder + "statekeeper-notes.txt", "mine too");
  ASSERT_EQ(test::ListFolder(dir_.Join("Varnhold")).size(), 6u);
  Escape();
  Escape();
  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(test::ListFolder(dir_.Join("Varnhold")),
            (std::vector<std::string>{"K1ABC.adi", "K1ABC.adi.partial", "Keeper.ini",
                                      "statekeeper-notes.txt"}));
  EXPECT_EQ(test::ReadFile(places_.program_folder + "K1ABC.adi"), "old log");
  EXPECT_EQ(test::ReadFile(places_.program_folder + "K1ABC.adi.partial"), "mine");
}

}  // namespace
}  // namespace app
