// The command line: without arguments the program runs; "--help" (or "-h") and
// "--version" are answered with a text and an exit status; "--update", "--needed [BAND]"
// and "--countries" name a run without the screen (unattended.h); anything else is
// refused. The answer is worked out here without touching the terminal, a file or the
// environment, so that main can give it before any of its set-up.
#ifndef STATEKEEPER_APP_COMMAND_LINE_H_
#define STATEKEEPER_APP_COMMAND_LINE_H_

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The platform whose files, variables and manual the help text describes.
enum class HelpPlatform { kPosix, kWindows };

struct CommandLineAnswer {
  // kRun: go on and run the program; kExit: write the two texts and end with
  // `exit_status`; kUpdate, kNeeded, kCountries: the run without the screen of that name.
  enum class Next { kRun, kExit, kUpdate, kNeeded, kCountries };
  Next next = Next::kRun;
  int exit_status = 0;
  std::string standard_output;
  std::string standard_error;
  // For kNeeded: the band asked for (1 to 9 in Band list order), or 0 for all nine.
  int band = 0;
};

// The exit status of a refused argument, as usual for a wrong command line.
inline constexpr int kUsageExitStatus = 2;

// The answer to the arguments after the program's name. No argument runs the program.
// "--update" and "--countries" stand alone, "--needed" takes at most a band named as on
// the Selector, in either case ("20m", "20M"); a band that is not one of the nine is
// refused with one line that lists them (status 2). Otherwise every argument must be "-h",
// "--help" or "--version", or the first one that is not is refused with one line on
// standard error that names it and points to "--help" (status 2), and the first argument
// decides: the help text, or "statekeeper VERSION", on standard output (status 0).
CommandLineAnswer AnswerCommandLine(const std::vector<std::string>& arguments,
                                    std::string_view version, HelpPlatform platform);

// The usage text of "--help", all ASCII, lines of at most 79 characters.
std::string HelpText(HelpPlatform platform);

// Writes the answer's texts to `output` and `error` and returns the status to end with:
// the answer's, or 1 (with a line on `error`) when `output` could not be written, so that
// "statekeeper --help > /dev/full" does not claim success.
int WriteAnswer(const CommandLineAnswer& answer, std::FILE* output, std::FILE* error);

}  // namespace app

#endif  // STATEKEEPER_APP_COMMAND_LINE_H_
