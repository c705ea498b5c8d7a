#include "app/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "award/lists.h"

namespace app {
namespace {

constexpr std::string_view kUsage =
    "Usage: statekeeper [-h | --help | --version]\n"
    "       statekeeper --update | --needed [BAND] | --countries\n";

constexpr std::string_view kDescription =
    "Statekeeper tracks the Worked All States award from a QRZ Logbook. It downloads\n"
    "the whole logbook over HTTPS, counts the confirmed contacts per US state and\n"
    "band, and shows on a 66 x 43 screen the states still missing on each of nine\n"
    "bands, the confirmed contacts per state over all bands, and the confirmed\n"
    "countries. Run it without arguments: the first run asks for the QRZ account\n"
    "name and the Logbook API key, and downloads the logbook.\n";

constexpr std::string_view kOptions =
    "Options:\n"
    "  --update         synchronise with the QRZ Logbook as the Update page does,\n"
    "                   without the screen, and print one line: the contacts and the\n"
    "                   process time, or on standard error why nothing was changed\n"
    "  --needed [BAND]  print the states still missing on each band, or on BAND\n"
    "                   (10m 12m 15m 17m 20m 30m 40m 80m 160m): \"20m: AK DE HI\"\n"
    "  --countries      print the confirmed countries, one a line\n"
    "  -h, --help       show this text and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Exit status of --update: 0 synchronised; 1 the update failed or was cancelled,\n"
    "nothing was changed; 2 a wrong argument, or no Keeper.ini yet (run the program\n"
    "once to enter the account); 3 the service refused the API key; 4 another update\n"
    "is running. --needed and --countries exit 0, or 1 when there is no file yet;\n"
    "--needed exits 2 for a band that is not one of the nine.\n";

constexpr std::string_view kFileList =
    "  Keeper.ini            the account name and the API key\n"
    "  CALL.adi              the last downloaded logbook (CALL: the account name)\n"
    "  10m.txt ... 160m.txt  the confirmed contacts per state on each band\n"
    "  dx.txt                the confirmed countries\n"
    "  Update.lock           held by the update that is running\n";

constexpr std::string_view kPosixFiles =
    "Files, in $LOCALAPPDATA/Varnhold/ when LOCALAPPDATA is set, else in\n"
    "$XDG_DATA_HOME/Varnhold/, else in ~/.local/share/Varnhold/:\n";
constexpr std::string_view kPosixDownload =
    "The download goes through QRZ_LogBook.tmp in $TEMP, else in $TMPDIR, else in\n"
    "that folder.\n";
constexpr std::string_view kPosixEnvironment =
    "Environment:\n"
    "  LOCALAPPDATA, XDG_DATA_HOME, HOME  where the files are kept (see above)\n"
    "  TEMP, TMPDIR                       where the download goes (see above)\n"
    "  STATEKEEPER_LOGBOOK_URL            another logbook service address\n"
    "  STATEKEEPER_CA_FILE                certificate authorities (PEM) to trust\n"
    "                                     instead of the system's\n"
    "  https_proxy, no_proxy              the proxy, and the hosts that bypass it\n";
constexpr std::string_view kPosixExample =
    "A crontab line that updates every night at 03:17:\n"
    "  17 3 * * * statekeeper --update >/dev/null\n";
constexpr std::string_view kPosixManual = "The manual: man statekeeper\n";

constexpr std::string_view kWindowsFiles = "Files, in %LOCALAPPDATA%\\Varnhold\\:\n";
constexpr std::string_view kWindowsDownload =
    "The download goes through QRZ_LogBook.tmp in %TEMP%, else in that folder.\n";
constexpr std::string_view kWindowsEnvironment =
    "Environment:\n"
    "  LOCALAPPDATA             where the files are kept\n"
    "  TEMP                     where the download goes\n"
    "  STATEKEEPER_LOGBOOK_URL  another logbook service address\n"
    "The proxy and the certificate authorities are those Windows is set to use.\n";
constexpr std::string_view kWindowsExample =
    "A task of the Task Scheduler that updates every night at 03:17:\n"
    "  schtasks /create /tn Statekeeper /sc daily /st 03:17\n"
    "           /tr \"C:\\Tools\\statekeeper.exe --update\"\n";
constexpr std::string_view kWindowsManual =
    "The manual: README.md of the sources, or statekeeper(1) on Linux.\n";

// `argument` fit to show in one line on a terminal: control characters and DEL as \xNN,
// every other byte (UTF-8 included) as it is.
std::string Printable(std::string_view argument) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : argument) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
    } else {
      shown += c;
    }
  }
  return shown;
}

bool IsHelp(std::string_view argument) { return argument == "-h" || argument == "--help"; }

CommandLineAnswer Refusal(std::string message) {
  CommandLineAnswer answer;
  answer.next = CommandLineAnswer::Next::kExit;
  answer.exit_status = kUsageExitStatus;
  answer.standard_error = std::move(message);
  return answer;
}

CommandLineAnswer UnknownArgument(std::string_view argument) {
  return Refusal("statekeeper: unknown argument '" + Printable(argument) +
                 "'; 'statekeeper --help' lists the arguments\n");
}

// The number of the band named `name` in either case (1 to 9), or 0. The names' only
// letter is the "m".
int BandNumber(std::string_view name) {
  for (int band = 1; band <= award::kBandCount; ++band) {
    const std::string_view known = award::kBandNames[band - 1];
    if (name.size() == known.size() &&
        std::equal(name.begin(), name.end(), known.begin(),
                   [](char a, char b) { return (a == 'M' ? 'm' : a) == b; })) {
      return band;
    }
  }
  return 0;
}

// The answer to a command that runs without the screen: `arguments` begins with it.
CommandLineAnswer AnswerCommand(const std::vector<std::string>& arguments) {
  CommandLineAnswer answer;
  const std::string& command = arguments.front();
  const size_t most = command == "--needed" ? 2 : 1;
  if (arguments.size() > most) return UnknownArgument(arguments[most]);
  if (command == "--update") {
    answer.next = CommandLineAnswer::Next::kUpdate;
  } else if (command == "--countries") {
    answer.next = CommandLineAnswer::Next::kCountries;
  } else {
    answer.next = CommandLineAnswer::Next::kNeeded;
    if (arguments.size() == 2) {
      answer.band = BandNumber(arguments[1]);
      if (answer.band == 0) {
        return Refusal("statekeeper: unknown band '" + Printable(arguments[1]) +
                       "'; the bands are 10m 12m 15m 17m 20m 30m 40m 80m 160m\n");
      }
    }
  }
  return answer;
}

}  // namespace

std::string HelpText(HelpPlatform platform) {
  const bool posix = platform == HelpPlatform::kPosix;
  std::string text;
  text += kUsage;
  text += '\n';
  text += kDescription;
  text += '\n';
  text += kOptions;
  text += '\n';
  text += posix ? kPosixFiles : kWindowsFiles;
  text += kFileList;
  text += posix ? kPosixDownload : kWindowsDownload;
  text += '\n';
  text += posix ? kPosixEnvironment : kWindowsEnvironment;
  text += '\n';
  text += posix ? kPosixExample : kWindowsExample;
  text += '\n';
  text += posix ? kPosixManual : kWindowsManual;
  return text;
}

CommandLineAnswer AnswerCommandLine(const std::vector<std::string>& arguments,
                                    std::string_view version, HelpPlatform platform) {
  CommandLineAnswer answer;
  if (arguments.empty()) return answer;
  const std::string& first = arguments.front();
  if (first == "--update" || first == "--needed" || first == "--countries") {
    return AnswerCommand(arguments);
  }
  answer.next = CommandLineAnswer::Next::kExit;
  for (const std::string& argument : arguments) {
    if (!IsHelp(argument) && argument != "--version") return UnknownArgument(argument);
  }
  if (IsHelp(arguments.front())) {
    answer.standard_output = HelpText(platform);
  } else {
    answer.standard_output = "statekeeper " + std::string(version) + "\n";
  }
  return answer;
}

int WriteAnswer(const CommandLineAnswer& answer, std::FILE* output, std::FILE* error) {
  errno = 0;
  std::fputs(answer.standard_output.c_str(), output);
  const bool failed = std::fflush(output) != 0 || std::ferror(output) != 0;
  const int cause = errno;
  std::fputs(answer.standard_error.c_str(), error);
  if (failed) {
    std::fprintf(error, "statekeeper: cannot write to standard output%s%s\n", cause ? ": " : "",
                 cause ? std::strerror(cause) : "");
  }
  std::fflush(error);
  return failed ? 1 : answer.exit_status;
}

}  // namespace app
