#include "app/command_line.h"

#include <cerrno>
#include <cstring>

namespace app {
namespace {

constexpr std::string_view kUsage = "Usage: statekeeper [-h | --help | --version]\n";

constexpr std::string_view kDescription =
    "Statekeeper tracks the Worked All States award from a QRZ Logbook. It downloads\n"
    "the whole logbook over HTTPS, counts the confirmed contacts per US state and\n"
    "band, and shows on a 66 x 43 screen the states still missing on each of nine\n"
    "bands, the confirmed contacts per state over all bands, and the confirmed\n"
    "countries. Run it without arguments: the first run asks for the QRZ account\n"
    "name and the Logbook API key, and downloads the logbook.\n";

constexpr std::string_view kOptions =
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n";

constexpr std::string_view kFileList =
    "  Keeper.ini            the account name and the API key\n"
    "  CALL.adi              the last downloaded logbook (CALL: the account name)\n"
    "  10m.txt ... 160m.txt  the confirmed contacts per state on each band\n"
    "  dx.txt                the confirmed countries\n";

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
  text += posix ? kPosixManual : kWindowsManual;
  return text;
}

CommandLineAnswer AnswerCommandLine(const std::vector<std::string>& arguments,
                                    std::string_view version, HelpPlatform platform) {
  CommandLineAnswer answer;
  if (arguments.empty()) return answer;
  answer.next = CommandLineAnswer::Next::kExit;
  for (const std::string& argument : arguments) {
    if (!IsHelp(argument) && argument != "--version") {
      answer.exit_status = kUsageExitStatus;
      answer.standard_error = "statekeeper: unknown argument '" + Printable(argument) +
                              "'; 'statekeeper --help' lists the arguments\n";
      return answer;
    }
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
