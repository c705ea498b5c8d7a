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

CommandLineAnswer Answer(const std::vector<std::string>& arguments,
                         HelpPlatform platform = HelpPlatform::kPosix) {
  return AnswerCommandLine(arguments, "1.2.3", platform);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(AnswerCommandLine, NoArgumentRunsTheProgram) {
  const CommandLineAnswer answer = Answer({});
  EXPECT_EQ(answer.next, Next::kRun);
  EXPECT_EQ(answer.standard_output, "");
  EXPECT_EQ(answer.standard_error, "");
}

TEST(AnswerCommandLine, HelpInBothSpellingsIsTheHelpTextOnStandardOutput) {
  for (const HelpPlatform platform : {HelpPlatform::kPosix, HelpPlatform::kWindows}) {
    for (const char* help : {"--help", "-h"}) {
      SCOPED_TRACE(help);
      const CommandLineAnswer answer = Answer({help}, platform);
      EXPECT_EQ(answer.next, Next::kExit);
      EXPECT_EQ(answer.exit_status, 0);
      EXPECT_EQ(answer.standard_output, HelpText(platform));
      EXPECT_EQ(answer.standard_error, "");
    }
  }
}

TEST(AnswerCommandLine, VersionIsTheNameAndTheVersionGiven) {
  const CommandLineAnswer answer = Answer({"--version"});
  EXPECT_EQ(answer.next, Next::kExit);
  EXPECT_EQ(answer.exit_status, 0);
  EXPECT_EQ(answer.standard_output, "statekeeper 1.2.3\n");
  EXPECT_EQ(answer.standard_error, "");
}

TEST(AnswerCommandLine, AnyOtherArgumentIsOneLineOnStandardErrorWithStatusTwo) {
  for (const std::string argument : {"--bogus", "-x", "help", "-help", "--HELP", "--help=yes",
                                     "--versions", "-v", "--", "-", "", "-hv", "/?"}) {
    SCOPED_TRACE(argument);
    const CommandLineAnswer answer = Answer({argument});
    EXPECT_EQ(answer.next, Next::kExit);
    EXPECT_EQ(answer.exit_status, 2);
    EXPECT_EQ(answer.standard_output, "");
    EXPECT_TRUE(Contains(answer.standard_error, "'" + argument + "'")) << answer.standard_error;
    EXPECT_TRUE(Contains(answer.standard_error, "statekeeper --help")) << answer.standard_error;
    EXPECT_EQ(std::count(answer.standard_error.begin(), answer.standard_error.end(), '\n'), 1);
    EXPECT_EQ(answer.standard_error.back(), '\n');
  }
}

TEST(AnswerCommandLine, AnUnknownArgumentBesideKnownOnesIsRefusedByName) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--help", "--bogus"}, {"--version", "--bogus", "--other"}, {"--bogus", "--help"}}) {
    const CommandLineAnswer answer = Answer(arguments);
    EXPECT_EQ(answer.exit_status, 2);
    EXPECT_EQ(answer.standard_output, "");
    EXPECT_TRUE(Contains(answer.standard_error, "'--bogus'")) << answer.standard_error;
    EXPECT_FALSE(Contains(answer.standard_error, "--other")) << answer.standard_error;
  }
}

TEST(AnswerCommandLine, AmongKnownArgumentsTheFirstDecides) {
  EXPECT_EQ(Answer({"--version", "--help"}).standard_output, "statekeeper 1.2.3\n");
  EXPECT_EQ(Answer({"-h", "--version"}).standard_output, HelpText(HelpPlatform::kPosix));
  EXPECT_EQ(Answer({"--help", "--help"}).exit_status, 0);
}

TEST(AnswerCommandLine, TheRunsWithoutTheScreenTakeTheirArgumentsOrRefuseThem) {
  struct Case {
    std::vector<std::string> arguments;
    Next next;
    int band;
    std::string error;  // a part of the refusal
  };
  const Case cases[] = {
      {{"--update"}, Next::kUpdate, 0, ""},
      {{"--countries"}, Next::kCountries, 0, ""},
      {{"--needed"}, Next::kNeeded, 0, ""},
      {{"--needed", "10m"}, Next::kNeeded, 1, ""},
      {{"--needed", "20M"}, Next::kNeeded, 5, ""},
      {{"--needed", "160m"}, Next::kNeeded, 9, ""},
      {{"--needed", "21m"}, Next::kExit, 0, "unknown band '21m'; the bands are 10m 12m"},
      {{"--needed", "m20"}, Next::kExit, 0, "unknown band 'm20'"},
      {{"--needed", ""}, Next::kExit, 0, "unknown band ''"},
      {{"--needed", "20m", "40m"}, Next::kExit, 0, "unknown argument '40m'"},
      {{"--update", "--help"}, Next::kExit, 0, "unknown argument '--help'"},
      {{"--countries", "x"}, Next::kExit, 0, "unknown argument 'x'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    const CommandLineAnswer answer = Answer(c.arguments);
    EXPECT_EQ(answer.next, c.next);
    EXPECT_EQ(answer.band, c.band);
    EXPECT_EQ(answer.standard_output, "");
    if (c.error.empty()) {
      EXPECT_EQ(answer.standard_error, "");
    } else {
      EXPECT_EQ(answer.exit_status, 2);
      EXPECT_TRUE(Contains(answer.standard_error, c.error)) << answer.standard_error;
      EXPECT_EQ(std::count(answer.standard_error.begin(), answer.standard_error.end(), '\n'), 1);
    }
  }
}

TEST(AnswerCommandLine, ControlCharactersOfARefusedArgumentAreShownAsHex) {
  const CommandLineAnswer answer = Answer({"a\x1b[2J\n\x7f\xc3\xa4"});
  EXPECT_TRUE(Contains(answer.standard_error, "'a\\x1B[2J\\x0A\\x7F\xc3\xa4'"))
      << answer.standard_error;
  EXPECT_EQ(answer.standard_error.find('\x1b'), std::string::npos);
  EXPECT_EQ(std::count(answer.standard_error.begin(), answer.standard_error.end(), '\n'), 1);
}

TEST(HelpText, IsAsciiInLinesThatFitAnEightyColumnTerminal) {
  for (const HelpPlatform platform : {HelpPlatform::kPosix, HelpPlatform::kWindows}) {
    const std::string text = HelpText(platform);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    size_t line_start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << "byte " << i;
      if (byte == '\n') {
        EXPECT_LE(i - line_start, 79u) << text.substr(line_start, i - line_start);
        line_start = i + 1;
      }
    }
  }
}

TEST(HelpText, NamesWhatTheProgramDoesItsFilesVariablesAndManual) {
  const std::string posix = HelpText(HelpPlatform::kPosix);
  const std::string windows = HelpText(HelpPlatform::kWindows);
  for (const std::string& text : {posix, windows}) {
    EXPECT_EQ(text.rfind("Usage: statekeeper ", 0), 0u) << text;
    for (const char* part : {"--help",
                             "--version",
                             "Worked All States",
                             "QRZ Logbook",
                             "Keeper.ini",
                             "10m.txt",
                             "160m.txt",
                             "dx.txt",
                             ".adi",
                             "QRZ_LogBook.tmp",
                             "LOCALAPPDATA",
                             "TEMP",
                             "STATEKEEPER_LOGBOOK_URL",
                             "The manual: ",
                             "--update",
                             "--needed [BAND]",
                             "--countries",
                             "Update.lock",
                             "0 synchronised",
                             "3 the service refused the API key",
                             "4 another update\nis running"}) {
      EXPECT_TRUE(Contains(text, part)) << part;
    }
  }
  EXPECT_TRUE(Contains(windows, "schtasks /create"));
  for (const char* part : {"$XDG_DATA_HOME/Varnhold/", "~/.local/share/Varnhold/", "TMPDIR",
                           "17 3 * * * statekeeper --update", "STATEKEEPER_CA_FILE", "https_proxy",
                           "no_proxy", "man statekeeper"}) {
    EXPECT_TRUE(Contains(posix, part)) << part;
  }
  EXPECT_TRUE(Contains(windows, "%LOCALAPPDATA%\\Varnhold\\"));
  // Windows reads neither of these: the folder is always under LOCALAPPDATA, and the
  // authorities are the system's.
  EXPECT_FALSE(Contains(windows, "XDG_DATA_HOME"));
  EXPECT_FALSE(Contains(windows, "STATEKEEPER_CA_FILE"));
}

// The texts written back, read from the two files.
struct Written {
  int status;
  std::string output;
  std::string error;
};

Written WriteTo(const CommandLineAnswer& answer, const std::string& output_path,
                const char* output_mode, const std::string& error_path) {
  std::FILE* output = std::fopen(output_path.c_str(), output_mode);
  std::FILE* error = std::fopen(error_path.c_str(), "wb");
  if (output == nullptr || error == nullptr) {
    ADD_FAILURE() << "cannot open the files";
    if (output != nullptr) std::fclose(output);
    if (error != nullptr) std::fclose(error);
    return {-1, "", ""};
  }
  const int status = WriteAnswer(answer, output, error);
  std::fclose(output);
  std::fclose(error);
  return {status, test::ReadFile(output_path).value_or("?"),
          test::ReadFile(error_path).value_or("?")};
}

TEST(WriteAnswer, WritesBothTextsAndReturnsTheStatus) {
  test::ScopedTempDir dir;
  const CommandLineAnswer refused = Answer({"--bogus"});
  const Written written = WriteTo(refused, dir.Join("out"), "wb", dir.Join("err"));
  EXPECT_EQ(written.status, 2);
  EXPECT_EQ(written.output, "");
  EXPECT_EQ(written.error, refused.standard_error);

  const CommandLineAnswer help = Answer({"--help"});
  const Written shown = WriteTo(help, dir.Join("out"), "wb", dir.Join("err"));
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.output, help.standard_output);
  EXPECT_EQ(shown.error, "");
}

TEST(WriteAnswer, AStandardOutputThatTakesNothingEndsWithStatusOneAndSaysSo) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("out"), "");
  // A stream opened for reading refuses every write, as a full disk would.
  const Written written = WriteTo(Answer({"--version"}), dir.Join("out"), "rb", dir.Join("err"));
  EXPECT_EQ(written.status, 1);
  EXPECT_EQ(written.output, "");
  EXPECT_EQ(written.error.rfind("statekeeper: cannot write to standard output", 0), 0u)
      << written.error;
}

// One version for the whole program: "--version" (given STATEKEEPER_VERSION by main), the
// User-Agent, the manual, the package, and the window title that the program sets.
TEST(Version, IsTheOneInTheWindowTitle) {
  EXPECT_EQ(std::string(kWindowTitle),
            std::string("Statekeeper By Brannock Tarvel v") + STATEKEEPER_VERSION);
}

}  // namespace
}  // namespace app
