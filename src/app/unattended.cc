#include "app/unattended.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/program.h"
#include "app/settings.h"
#include "app/synchronise.h"
#include "app/update_page.h"
#include "award/band_files.h"
#include "award/country_file.h"
#include "award/region_tables.h"
#include "base/text_file.h"
#include "base/unique_handle.h"
#include "views/country_pager.h"

namespace app {
namespace {

using Clock = std::chrono::steady_clock;

// How often the progress line is rewritten.
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

bool Readable(const std::string& path) {
  return base::UniqueFile(std::fopen(path.c_str(), "rb")).valid();
}

// Writes `text` to `output`; returns `status`, or kExitFailed with a line on `error` when
// the write failed (a full disk, a closed pipe), so that a script never takes a lost
// result for a good one.
int Finish(std::FILE* output, std::FILE* error, const std::string& text, int status) {
  errno = 0;
  std::fputs(text.c_str(), output);
  const bool failed = std::fflush(output) != 0 || std::ferror(output) != 0;
  if (failed) {
    const int cause = errno;
    std::fprintf(error, "statekeeper: cannot write to standard output%s%s\n", cause ? ": " : "",
                 cause ? std::strerror(cause) : "");
    std::fflush(error);
    return kExitFailed;
  }
  return status;
}

int Fail(std::FILE* error, const std::string& line, int status) {
  std::fprintf(error, "statekeeper: %s\n", line.c_str());
  std::fflush(error);
  return status;
}

// The progress line on a terminal: rewritten in place at most a few times a second, each
// time padded to cover the one before, and blanked by Clear().
class ProgressLine {
 public:
  explicit ProgressLine(std::FILE* terminal) : terminal_(terminal) {}

  void Show(const logbook::DownloadProgress& progress) {
    const Clock::time_point now = Clock::now();
    if (last_ && now - *last_ < kRedrawInterval) return;
    last_ = now;
    const std::string text = ProgressText(progress);
    Write(text + std::string(width_ > text.size() ? width_ - text.size() : 0, ' '));
    width_ = std::max(width_, text.size());
  }

  void Clear() {
    if (width_ > 0) Write(std::string(width_, ' ') + "\r");
  }

 private:
  void Write(const std::string& text) {
    std::fputs(("\r" + text).c_str(), terminal_);
    std::fflush(terminal_);
  }

  std::FILE* terminal_;
  std::optional<Clock::time_point> last_;
  size_t width_ = 0;
};

// The number of records in the Local log file: each ends a line with "<eor>".
long long CountContacts(const std::string& log_path) {
  long long contacts = 0;
  base::LineReader reader(log_path);
  for (std::string_view line; reader.Next(line);) {
    if (line.ends_with("<eor>")) ++contacts;
  }
  return contacts;
}

int RunUpdate(const Places& places, std::FILE* output, std::FILE* error) {
  const std::string settings_path = places.program_folder + kSettingsFileName;
  if (!SettingsFileReadable(settings_path)) {
    return Fail(error,
                "no settings yet (" + settings_path +
                    "); run statekeeper once without arguments to enter the QRZ account",
                kExitNoSettings);
  }
  ProgramValues values;
  values.places = places;
  const Settings settings = ReadSettings(settings_path);
  values.account_name = settings.account_name;
  values.api_key = settings.api_key;
  // The list the Update page would extend: the one loaded at start from the Country file.
  auto data = std::make_unique<AwardData>();
  award::LoadCountryFile(places.program_folder, data->countries);

  CatchInterruptions();
  std::optional<ProgressLine> progress_line;
  if (IsTerminal(error)) progress_line.emplace(error);
  const Clock::time_point start = Clock::now();
  const logbook::SyncResult result =
      UpdateLogbook(values, *data, [&](const logbook::DownloadProgress& progress) {
        if (InterruptionArrived()) return https::Flow::kCancel;
        if (progress_line) progress_line->Show(progress);
        return https::Flow::kGoOn;
      });
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  if (progress_line) progress_line->Clear();

  switch (result.outcome) {
    case logbook::SyncOutcome::kDone: {
      char line[128];
      std::snprintf(line, sizeof line, "Syncronized: %lld contacts, Process Time: %.2f seconds\n",
                    CountContacts(LocalLogPath(values)), ProcessSeconds(elapsed));
      return Finish(output, error, line, 0);
    }
    case logbook::SyncOutcome::kKeyRefused:
      return Fail(error, SyncFailureLine(values, result), kExitKeyRefused);
    case logbook::SyncOutcome::kAnotherRunning:
      return Fail(error, SyncFailureLine(values, result), kExitAnotherRunning);
    default:
      return Fail(error, SyncFailureLine(values, result), kExitFailed);
  }
}

int RunNeeded(int band_asked, const Places& places, std::FILE* output, std::FILE* error) {
  bool any_file = false;
  for (int band = 1; band <= award::kBandCount; ++band) {
    any_file = any_file || Readable(places.program_folder + award::BandFileName(band));
  }
  if (!any_file) {
    return Fail(error,
                "no Band files yet in " + places.program_folder +
                    "; run statekeeper --update, or the Update page, first",
                kExitFailed);
  }
  auto lists = std::make_unique<award::UnconfirmedStateLists>();
  award::LoadBandFiles(places.program_folder, *lists);
  std::string text;
  std::string name;
  for (int band = 1; band <= award::kBandCount; ++band) {
    if (band_asked != 0 && band != band_asked) continue;
    award::BandList& list = (*lists)[band - 1];
    text += award::kBandNames[band - 1];
    text += ':';
    // As the band view lists them: at most fifty, each upper-cased by the name look-up.
    const int listed = std::clamp(base::ParseCount(list[0]), 0, award::kStateCount);
    for (int i = 1; i <= listed; ++i) {
      award::LookUpRegionName(list[i], name);
      text += ' ';
      text += list[i];
    }
    text += '\n';
  }
  return Finish(output, error, text, 0);
}

int RunCountries(const Places& places, std::FILE* output, std::FILE* error) {
  const std::string path = places.program_folder + std::string(award::kCountryFileName);
  if (!Readable(path)) {
    return Fail(
        error,
        "no Country file yet (" + path + "); run statekeeper --update, or the Update page, first",
        kExitFailed);
  }
  auto countries = std::make_unique<award::ConfirmedCountryList>();
  award::LoadCountryFile(places.program_folder, *countries);
  views::SortCountryList(*countries);
  const int count = std::clamp(base::ParseCount((*countries)[0]), 0, award::kMaxCountries);
  std::string text;
  for (int i = 1; i <= count; ++i) {
    text += (*countries)[i];
    text += '\n';
  }
  return Finish(output, error, text, 0);
}

}  // namespace

int RunUnattended(const CommandLineAnswer& answer, const Places& places, std::FILE* output,
                  std::FILE* error) {
  switch (answer.next) {
    case CommandLineAnswer::Next::kUpdate:
      return RunUpdate(places, output, error);
    case CommandLineAnswer::Next::kNeeded:
      return RunNeeded(answer.band, places, output, error);
    case CommandLineAnswer::Next::kCountries:
      return RunCountries(places, output, error);
    default:
      return kUsageExitStatus;
  }
}

}  // namespace app
