#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/startup.h"
#include "test_util.h"

namespace app {
namespace {

using Next = CommandLineAnswer::Next;

TEST(AnswerCommandLine, AnswersEachArgumentOrRefusesItInOneLineWithStatusTwo) {
  const std::string help = HelpText(HelpPlatform::kPosix);
  struct Case {
    std::vector<std::string> arguments;
    Next next;
    int band;
    std::string output;
    std::string refusal;  // a part of the one line on standard error
  };
  const Case cases[] = {
      {{}, Next::kRun, 0, "", ""},
      {{"-h", "--version"}, Next::kExit, 0, help, ""},  // among known ones the first decides
      {{"--version", "--help"}, Next::kExit, 0, "statekeeper 1.2.3\n", ""},
      {{"--needed", "10m"}, Next::kNeeded, 1, "", ""},
      {{"--needed", "20M"}, Next::kNeeded, 5, "", ""},
      {{"--needed", "21m"}, Next::kExit, 0, "", "unknown band '21m'; the bands are 10m 12m"},
      {{"--needed", "20m", "40m"}, Next::kExit, 0, "", "unknown argument '40m'"},
      {{"--update", "--help"}, Next::kExit, 0, "", "unknown argument '--help'"},
      {{"--help", "--bogus", "--other"}, Next::kExit, 0, "", "'--bogus'; 'statekeeper --help'"},
      {{"--HELP"}, Next::kExit, 0, "", "'--HELP'"},
      {{"--help=yes"}, Next::kExit, 0, "", "'--help=yes'"},
      {{"a\x1b[2J\n\x7f\xc3\xa4"}, Next::kExit, 0, "", "'a\\x1B[2J\\x0A\\x7F\xc3\xa4'"},
  };
  for (const Case& c : cases) {
    const std::string name = c.arguments.empty() ? "" : c.arguments.back();
    const CommandLineAnswer answer = AnswerCommandLine(c.arguments, "1.2.3", HelpPlatform::kPosix);
    EXPECT_EQ(answer.next, c.next) << name;
    EXPECT_EQ(answer.band, c.band) << name;
    EXPECT_EQ(answer.standard_output, c.output) << name;
    EXPECT_EQ(answer.exit_status, c.refusal.empty() ? 0 : 2) << name;
    const std::string& error = answer.standard_error;
    EXPECT_EQ(error.empty(), c.refusal.empty()) << name;
    if (error.empty()) continue;
    EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    EXPECT_EQ(error.find("--other"), std::string::npos) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    EXPECT_EQ(error.back(), '\n');
  }
}

TEST(HelpText, IsAsciiInLinesOfAnEightyColumnTerminalAndNamesEachPlatformsPlaces) {
  const std::string posix = HelpText(HelpPlatform::kPosix);
  const std::string windows = HelpText(HelpPlatform::kWindows);
  for (const std::string& text : {posix, windows}) {
    size_t line_start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << "byte " << i;
      if (byte != '\n') continue;
      EXPECT_LE(i - line_start, 79u) << text.substr(line_start, i - line_start);
      line_start = i + 1;
    }
    EXPECT_EQ(line_start, text.size());  // ends with a line end
  }
  for (const char* part : {"$XDG_DATA_HOME/Varnhold/", "STATEKEEPER_CA_FILE",
                           "17 3 * * * statekeeper --update", "man statekeeper"}) {
    EXPECT_NE(posix.find(part), std::string::npos) << part;
    EXPECT_EQ(windows.find(part), std::string::npos) << part;
  }
  EXPECT_NE(windows.find("%LOCALAPPDATA%\\Varnhold\\"), std::string::npos);
  EXPECT_NE(windows.find("schtasks /create"), std::string::npos);
}

TEST(WriteAnswer, WritesBothTextsAndReturnsTheStatusOrOneWhenOutputTakesNothing) {
  test::ScopedTempDir dir;
  const CommandLineAnswer refused = AnswerCommandLine({"-x"}, "1", HelpPlatform::kPosix);
  const CommandLineAnswer version = AnswerCommandLine({"--version"}, "1", HelpPlatform::kPosix);
  // A stream opened for reading refuses every write, as a full disk would.
  for (const char* mode : {"wb", "rb"}) {
    for (const CommandLineAnswer* answer : {&refused, &version}) {
      test::WriteFile(dir.Join("out"), "");
      std::FILE* output = std::fopen(dir.Join("out").c_str(), mode);
      std::FILE* error = std::fopen(dir.Join("err").c_str(), "wb");
      ASSERT_TRUE(output != nullptr && error != nullptr);
      const int status = WriteAnswer(*answer, output, error);
      std::fclose(output);
      std::fclose(error);
      const bool fails = *mode == 'r' && answer == &version;
      EXPECT_EQ(status, fails ? 1 : answer->exit_status);
      EXPECT_EQ(test::ReadFile(dir.Join("out")), *mode == 'r' ? "" : answer->standard_output);
      EXPECT_EQ(test::ReadFile(dir.Join("err"))
                    ->rfind(fails ? "statekeeper: cannot write to standard output"
                                  : answer->standard_error,
                            0),
                0u);
    }
  }
}

// One version for the whole program: the one "--version" gives is the window title's.
TEST(Version, IsTheOneInTheWindowTitle) {
  EXPECT_EQ(std::string(kWindowTitle),
            std::string("Statekeeper By Brannock Tarvel v") + STATEKEEPER_VERSION);
}

}  // namespace
}  // namespace app
