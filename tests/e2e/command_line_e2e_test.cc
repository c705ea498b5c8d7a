// The real program asked for its help, its version, or given a wrong argument: what it
// writes where, its exit status, and that it neither takes over a terminal nor makes a
// file or folder anywhere.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "award/band_files.h"
#include "award/region_tables.h"
#include "test_util.h"
#include "vterm_harness.h"

extern char** environ;

namespace {

struct Outcome {
  bool exited = false;
  int status = -1;
  std::string output;
  std::string error;
};

// Runs the program with `arguments` in a new session without a controlling terminal, so
// that any attempt to use one fails. Standard input is /dev/null, standard output and error
// go to files of `scratch`; the working folder is `cwd`. Every folder the program could
// keep files in or download to is one of `homes`, given through the environment.
Outcome RunProgram(const std::vector<std::string>& arguments, const test::ScopedTempDir& scratch,
                   const std::string& cwd, const std::string& homes) {
  std::vector<std::string> argv_text = {STATEKEEPER_PROGRAM};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argv_text) argv.push_back(text.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string entry_text = *entry;
    const std::string name = entry_text.substr(0, entry_text.find('='));
    if (name == "HOME" || name == "XDG_DATA_HOME" || name == "LOCALAPPDATA" || name == "TEMP" ||
        name == "TMPDIR") {
      continue;
    }
    env_text.push_back(entry_text);
  }
  env_text.push_back("HOME=" + homes + "/home");
  env_text.push_back("XDG_DATA_HOME=" + homes + "/xdg");
  env_text.push_back("LOCALAPPDATA=" + homes + "/local");
  env_text.push_back("TEMP=" + homes + "/temp");
  env_text.push_back("TMPDIR=" + homes + "/tmpdir");
  std::vector<char*> envp;
  for (std::string& text : env_text) envp.push_back(text.data());
  envp.push_back(nullptr);

  const std::string output_path = scratch.Join("stdout");
  const std::string error_path = scratch.Join("stderr");
  Outcome run;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return run;
  }
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int input = ::open("/dev/null", O_RDONLY);
    const int output = ::open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = ::open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::setsid() < 0 || input < 0 || output < 0 || error < 0 || ::dup2(input, 0) < 0 ||
        ::dup2(output, 1) < 0 || ::dup2(error, 2) < 0 || ::chdir(cwd.c_str()) != 0) {
      ::_exit(126);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      ADD_FAILURE() << "waitpid: " << std::strerror(errno);
      return run;
    }
  }
  run.exited = WIFEXITED(status);
  run.status = run.exited ? WEXITSTATUS(status) : -1;
  run.output = test::ReadFile(output_path).value_or("(no file)");
  run.error = test::ReadFile(error_path).value_or("(no file)");
  return run;
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"home", "xdg", "local", "temp", "tmpdir", "cwd"}) {
      ASSERT_EQ(::mkdir(homes_.Join(name).c_str(), 0700), 0) << name;
    }
  }

  Outcome RunWith(const std::vector<std::string>& arguments) {
    return RunProgram(arguments, scratch_, homes_.Join("cwd"), homes_.path());
  }

  // Every folder the program was pointed at, and its working folder, are still empty.
  void ExpectNothingCreated() {
    for (const char* name : {"home", "xdg", "local", "temp", "tmpdir", "cwd"}) {
      EXPECT_TRUE(test::ListFolder(homes_.Join(name)).empty()) << name << " is not empty";
    }
    EXPECT_EQ(test::ListFolder(homes_.path()).size(), 6u);
  }

  test::ScopedTempDir homes_;
  test::ScopedTempDir scratch_;
};

TEST_F(CommandLineTest, HelpIsTheUsageTextOnStandardOutputWithStatusZero) {
  for (const char* help : {"--help", "-h"}) {
    SCOPED_TRACE(help);
    const Outcome run = RunWith({help});
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.error;
    EXPECT_EQ(run.output, app::HelpText(app::HelpPlatform::kPosix));
    EXPECT_NE(run.output.find("man statekeeper"), std::string::npos);
    EXPECT_EQ(run.error, "");
  }
  ExpectNothingCreated();
}

TEST_F(CommandLineTest, VersionIsTheProjectVersionOnStandardOutputWithStatusZero) {
  const Outcome run = RunWith({"--version"});
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.error;
  EXPECT_EQ(run.output, std::string("statekeeper ") + STATEKEEPER_VERSION + "\n");
  EXPECT_EQ(run.error, "");
  ExpectNothingCreated();
}

TEST_F(CommandLineTest, AnyOtherArgumentIsNamedOnStandardErrorWithStatusTwo) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--bogus"}, {"--help", "--bogus"}}) {
    const Outcome run = RunWith(arguments);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error,
              "statekeeper: unknown argument '--bogus'; 'statekeeper --help' lists the "
              "arguments\n");
  }
  ExpectNothingCreated();
}

TEST_F(CommandLineTest, NeededAndCountriesPrintWhatTheLastUpdateLeftAndWriteNothing) {
  for (const char* command : {"--needed", "--countries"}) {
    SCOPED_TRACE(command);
    const Outcome run = RunWith({command});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error.rfind("statekeeper: no ", 0), 0u) << run.error;
  }
  ExpectNothingCreated();

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

// Without arguments the same run would need a terminal: it fails for want of one, which
// shows that the runs above got their answer without looking for it.
TEST_F(CommandLineTest, WithoutArgumentsTheProgramLooksForItsTerminal) {
  const Outcome run = RunWith({});
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_NE(run.error.find("no terminal"), std::string::npos) << run.error;
}

// On a terminal the answers are plain lines: no control sequence reaches it.
TEST(CommandLineOnATerminal, AnswersAreWrittenAsPlainTextAndTheTerminalIsLeftAlone) {
  struct Case {
    std::string argument;
    std::string text;
    int status;
  };
  const Case cases[] = {
      {"--version", std::string("statekeeper ") + STATEKEEPER_VERSION + "\n", 0},
      {"--help", app::HelpText(app::HelpPlatform::kPosix), 0},
      {"--bogus",
       "statekeeper: unknown argument '--bogus'; 'statekeeper --help' lists the arguments\n", 2},
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
