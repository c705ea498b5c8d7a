// The real program asked for its help, its version, or given a wrong argument: what it
// writes where, its exit status, and that it neither takes over a terminal nor makes a
// file or folder anywhere.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "award/band_files.h"
#include "award/region_tables.h"
#include "test_util.h"
#include "vterm_harness.h"

namespace {

using e2e::Outcome;

const std::string kUnknown =
    "statekeeper: unknown argument '--bogus'; 'statekeeper --help' lists the arguments\n";

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kFolders) {
      ASSERT_EQ(::mkdir(homes_.Join(name).c_str(), 0700), 0) << name;
    }
  }

  // Runs the program without a terminal, in the folder "cwd", with every folder it could
  // keep files in or download to one of those of `homes_`.
  Outcome RunWith(const std::vector<std::string>& arguments) {
    return e2e::DetachedRun(STATEKEEPER_PROGRAM, arguments,
                            {"HOME=" + homes_.Join("home"), "XDG_DATA_HOME=" + homes_.Join("xdg"),
                             "LOCALAPPDATA=" + homes_.Join("local"), "TEMP=" + homes_.Join("temp"),
                             "TMPDIR=" + homes_.Join("tmpdir")},
                            homes_.Join("cwd"))
        .Wait();
  }

  // Every folder the program was pointed at, and its working folder, are still empty.
  void ExpectNothingCreated() {
    for (const char* name : kFolders) {
      EXPECT_TRUE(test::ListFolder(homes_.Join(name)).empty()) << name << " is not empty";
    }
    EXPECT_EQ(test::ListFolder(homes_.path()).size(), 6u);
  }

  static constexpr const char* kFolders[] = {"home", "xdg", "local", "temp", "tmpdir", "cwd"};
  test::ScopedTempDir homes_;
};

// What is asked of the program alone is answered without a terminal and makes nothing;
// without arguments the same run looks for its terminal and fails for want of one.
TEST_F(CommandLineTest, EachArgumentIsAnsweredWithItsStatusAndWritesNothing) {
  const std::string help = app::HelpText(app::HelpPlatform::kPosix);
  ASSERT_NE(help.find("man statekeeper"), std::string::npos);
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string output;
    std::string error;  // what it starts with
  };
  const Case cases[] = {
      {{"--help"}, 0, help, ""},
      {{"-h"}, 0, help, ""},
      {{"--version"}, 0, std::string("statekeeper ") + STATEKEEPER_VERSION + "\n", ""},
      {{"--bogus"}, 2, "", kUnknown},
      {{"--help", "--bogus"}, 2, "", kUnknown},
      {{"--needed"}, 1, "", "statekeeper: no "},
      {{"--countries"}, 1, "", "statekeeper: no "},
      {{}, 1, "", "statekeeper: no terminal to run in (/dev/tty)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? "none" : c.arguments.back());
    const Outcome run = RunWith(c.arguments);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, c.status) << run.error;
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(run.error.rfind(c.error, 0), 0u) << run.error;
    EXPECT_EQ(run.error.find('\n'), c.error.empty() ? std::string::npos : run.error.size() - 1)
        << run.error;
  }
  ExpectNothingCreated();
}

TEST_F(CommandLineTest, NeededAndCountriesPrintWhatTheLastUpdateLeftAndWriteNothing) {
  const std::string folder = homes_.Join("local/Varnhold/");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  award::StateTable states;
  award::FillStateTable(states);
  std::array<int, award::kStateCount> all{};
  all.fill(2);
  std::array<int, award::kStateCount> some = all;
  for (const int row : {1, 7, 10}) some[row] = 0;  // AK, DE, HI
  for (int band = 1; band <= award::kBandCount; ++band) {
    test::WriteFile(folder + award::BandFileName(band),
                    award::FormatBandFile(band == 5 ? some : all));
  }
  // A hand-edited file: the band view shows the abbreviation upper-cased.
  test::WriteFile(folder + "160m.txt", "wy,\r\nAL, 3\r\n");
  test::WriteFile(folder + "dx.txt", "3\r\nJAPAN\r\nCANADA\r\nALAND ISLANDS\r\n");
  const std::vector<std::string> files = test::ListFolder(folder);

  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string output;
  };
  const Case cases[] = {
      {{"--needed"}, 0, "10m:\n12m:\n15m:\n17m:\n20m: AK DE HI\n30m:\n40m:\n80m:\n160m: WY\n"},
      {{"--needed", "20M"}, 0, "20m: AK DE HI\n"},
      {{"--needed", "160m"}, 0, "160m: WY\n"},
      {{"--needed", "21m"}, 2, ""},
      {{"--countries"}, 0, "ALAND ISLANDS\nCANADA\nJAPAN\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    const Outcome run = RunWith(c.arguments);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, c.status) << run.error;
    EXPECT_EQ(run.output, c.output);
    if (c.status == 0) {
      EXPECT_EQ(run.error, "");
    }
  }
  EXPECT_EQ(test::ListFolder(folder), files);
  EXPECT_EQ(test::ReadFile(folder + "160m.txt"), "wy,\r\nAL, 3\r\n");
}

// On a terminal the answers are plain lines: no control sequence reaches it.
TEST(CommandLineOnATerminal, AnswersAreWrittenAsPlainTextAndTheTerminalIsLeftAlone) {
  struct Case {
    std::string argument;
    std::string text;
    int status;
  };
  const Case cases[] = {
      {"--help", app::HelpText(app::HelpPlatform::kPosix), 0},
      {"--bogus", kUnknown, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    e2e::VtermHarness terminal;
    ASSERT_TRUE(terminal.Start(STATEKEEPER_PROGRAM, {c.argument}));
    const std::optional<e2e::ExitStatus> status = terminal.WaitExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->exited);
    EXPECT_EQ(status->code, c.status);
    // The terminal turns each line end into CR LF.
    std::string expected;
    for (const char ch : c.text) expected += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    EXPECT_EQ(terminal.output(), expected);
    EXPECT_FALSE(terminal.alternate_screen());
    EXPECT_EQ(terminal.title(), "");
  }
}

}  // namespace
