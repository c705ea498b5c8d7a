#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
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
      {{"--needed", "20M"}, Next::kNeeded, 5, "", ""},
      {{"--needed", "21m"}, Next::kExit, 0, "", "unknown band '21m'; the bands are 10m 12m"},
      {{"--needed", "20m", "40m"}, Next::kExit, 0, "", "unknown argument '40m'"},
      {{"--update", "--help"}, Next::kExit, 0, "", "unknown argument '--help'"},
      {{"--help", "--bogus", "--other"}, Next::kExit, 0, "", "'--bogus'; 'statekeeper --help'"},
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

// Both texts fit an 80-column terminal in ASCII, each naming its own platform's places.
TEST(HelpText, IsAsciiInLinesOfAnEightyColumnTerminalAndNamesEachPlatformsPlaces) {
  for (const auto& [platform, part, other] :
       {std::tuple{HelpPlatform::kPosix, "$XDG_DATA_HOME/Varnhold/", "%LOCALAPPDATA%"},
        {HelpPlatform::kWindows, "schtasks /create", "man statekeeper"}}) {
    const std::string text = HelpText(platform);
    EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(text.find(other), std::string::npos) << other;
    EXPECT_EQ(text.back(), '\n');
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      EXPECT_LE(end - start, 79u) << text.substr(start, end - start);
    }
    EXPECT_TRUE(std::all_of(text.begin(), text.end(),
                            [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7F); }));
  }
}

// The texts as they are written show in the end-to-end tests; here output that takes
// nothing, as a full disk would: a stream opened for reading refuses every write.
TEST(WriteAnswer, ReturnsOneWhenStandardOutputTakesNothing) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("out"), "");
  for (const char* argument : {"-x", "--version"}) {
    const CommandLineAnswer answer = AnswerCommandLine({argument}, "1", HelpPlatform::kPosix);
    std::FILE* output = std::fopen(dir.Join("out").c_str(), "rb");
    std::FILE* error = std::fopen(dir.Join("err").c_str(), "wb");
    ASSERT_TRUE(output != nullptr && error != nullptr);
    const int status = WriteAnswer(answer, output, error);
    std::fclose(output);
    std::fclose(error);
    const bool fails = !answer.standard_output.empty();
    EXPECT_EQ(status, fails ? 1 : 2) << argument;
    EXPECT_EQ(
        test::ReadFile(dir.Join("err"))
            ->rfind(fails ? "statekeeper: cannot write to standard output" : answer.standard_error,
                    0),
        0u);
  }
}

}  // namespace
}  // namespace app
