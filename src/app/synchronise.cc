#include "app/synchronise.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/program_folder.h"
#include "app/settings.h"
#include "app/update_lock.h"
#include "award/band_files.h"

namespace app {
namespace {

constexpr int kNoticeWidth = 53;
constexpr int kNoticeColumn = 6;
constexpr int kProgressRow = 23;
constexpr int kCancelRow = 24;
// How often the download's progress is drawn, and how often the keyboard is looked at
// (Esc must answer at once; a look costs a millisecond).
constexpr std::int64_t kRedrawMs = 250;
constexpr std::int64_t kKeyLookMs = 50;
constexpr char kCancelHint[] = "Press [Esc] to cancel the download";
constexpr char kFailedText[] = "Update failed: nothing was changed";
constexpr char kCancelledText[] = "Update cancelled: nothing was changed";
constexpr char kKeyHintText[] = "To enter your API key again, delete the file";

// The byte lengths of the characters of a UTF-8 text.
std::vector<size_t> CharacterLengths(const std::string& text) {
  std::vector<size_t> lengths;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    length = std::min(length, text.size() - i);
    lengths.push_back(length);
    i += length;
  }
  return lengths;
}

// `text` centred in the notice's width. A longer text keeps its start and its end, which
// say what failed and why ("cannot write /a/long/path...: File too large"), with "..."
// for the middle; characters are never split.
std::string Centred(const std::string& text) {
  const std::vector<size_t> lengths = CharacterLengths(text);
  std::string fitted = text;
  int characters = static_cast<int>(lengths.size());
  if (characters > kNoticeWidth) {
    const int keep_start = (kNoticeWidth - 3) / 2;
    const int keep_end = kNoticeWidth - 3 - keep_start;
    size_t start_bytes = 0, end_bytes = 0;
    for (int i = 0; i < keep_start; ++i) start_bytes += lengths[i];
    for (int i = 0; i < keep_end; ++i) end_bytes += lengths[lengths.size() - 1 - i];
    fitted = text.substr(0, start_bytes) + "..." + text.substr(text.size() - end_bytes);
    characters = kNoticeWidth;
  }
  const int left = (kNoticeWidth - characters) / 2;
  return std::string(left, ' ') + fitted + std::string(kNoticeWidth - characters - left, ' ');
}

void WriteNoticeRow(console::Console& console, int row, const std::string& text) {
  console.MoveCursor(row, kNoticeColumn);
  console.WriteText(Centred(text));
}

// 1234567 as "1,234,567".
std::string WithThousands(std::int64_t number) {
  const std::string digits = std::to_string(number);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    const size_t left = digits.size() - i;  // digits from here to the end
    if (i > 0 && left % 3 == 0 && digits[i - 1] != '-') grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

// Draws the download's progress on row 23 a few times a second and listens for Esc, keeping
// every other key for after the download.
class DownloadMonitor {
 public:
  DownloadMonitor(console::Console& console, const std::function<bool()>& termination_requested)
      : console_(console), termination_requested_(termination_requested) {}

  // Returns Flow::kCancel once the download is to stop: Esc was pressed or the process is
  // ending.
  https::Flow Look(const logbook::DownloadProgress& progress) {
    if (termination_requested_ && termination_requested_()) return https::Flow::kCancel;
    const std::int64_t now = console_.NowMs();
    if (!cancelled_ && (!last_key_look_ms_ || now - *last_key_look_ms_ >= kKeyLookMs)) {
      last_key_look_ms_ = now;
      cancelled_ = console_.ReadTypeAhead(std::string(1, console::kKeyEscape));
    }
    if (cancelled_) return https::Flow::kCancel;
    if (console_.rows() < kProgressRow) return https::Flow::kGoOn;  // a first run's short window
    if (!last_draw_ms_ || now - *last_draw_ms_ >= kRedrawMs) {
      last_draw_ms_ = now;
      WriteNoticeRow(console_, kProgressRow, ProgressText(progress));
      console_.Flush();
    }
    return https::Flow::kGoOn;
  }

 private:
  console::Console& console_;
  const std::function<bool()>& termination_requested_;
  std::optional<std::int64_t> last_key_look_ms_;
  std::optional<std::int64_t> last_draw_ms_;
  bool cancelled_ = false;
};

// The hint that Esc cancels, with "Esc" in the Highlight colours as on the Update page.
void WriteCancelHint(console::Console& console) {
  if (console.rows() < kCancelRow) return;  // a first run's short window
  const std::string row = Centred(kCancelHint);
  console.MoveCursor(kCancelRow, kNoticeColumn);
  console.WriteText(row);
  const int foreground = console.foreground();
  const int background = console.background();
  console.SetColors(kHighlightForeground, kHighlightBackground);
  console.MoveCursor(kCancelRow, kNoticeColumn + static_cast<int>(row.find("Esc")));
  console.WriteText("Esc");
  console.SetColors(foreground, background);
}

}  // namespace

void ClearWorkArea(console::Console& console) {
  const std::string blanks(55, ' ');
  for (int row = 3; row <= 42; ++row) {
    console.MoveCursor(row, 2);
    console.WriteText(blanks);
  }
}

std::string LocalLogPath(const ProgramValues& values) {
  return values.places.program_folder + LocalLogFileName(values.account_name);
}

logbook::SyncResult UpdateLogbook(const ProgramValues& values, AwardData& data,
                                  const logbook::ProgressCheck& progress) {
  // Taken before the Temporary download file is opened or any file of the Program folder
  // touched: two updates would write the same files.
  const UpdateLock lock = UpdateLock::Take(values.places.program_folder);
  if (lock.status() == UpdateLock::Status::kHeld) {
    return {logbook::SyncOutcome::kAnotherRunning, lock.reason()};
  }
  if (lock.status() == UpdateLock::Status::kFailed) {
    return {logbook::SyncOutcome::kFailed, lock.reason()};
  }
  logbook::SyncSettings settings;
  settings.program_folder = values.places.program_folder;
  settings.temp_folder = values.places.temp_folder;
  settings.service = {values.places.endpoint, values.places.ca_file, values.api_key};
  settings.progress = progress;
  logbook::SyncResult result =
      logbook::DownloadLogbook(settings, LocalLogPath(values), data.countries);
  if (result.ok()) award::LoadBandFiles(values.places.program_folder, data.unconfirmed);
  return result;
}

logbook::SyncResult Synchronise(console::Console& console, const ProgramValues& values,
                                AwardData& data) {
  ClearWorkArea(console);
  const std::string blanks(38, ' ');
  console.MoveCursor(21, 9);
  console.WriteText(blanks);
  console.EndLine();
  console.MoveCursor(22, 9);
  console.WriteText(blanks);
  console.EndLine();
  console.MoveCursor(21, kNoticeColumn);
  console.WriteText("One moment please, downloading your log book from QRZ");
  WriteCancelHint(console);
  console.Flush();

  DownloadMonitor monitor(console, values.termination_requested);
  logbook::SyncResult result = UpdateLogbook(
      values, data,
      [&monitor](const logbook::DownloadProgress& progress) { return monitor.Look(progress); });
  const std::string blanks_of_notice(kNoticeWidth, ' ');
  for (const int row : {kProgressRow, kCancelRow}) {
    if (row > console.rows()) break;
    console.MoveCursor(row, kNoticeColumn);
    console.WriteText(blanks_of_notice);
  }
  return result;
}

std::string ProgressText(const logbook::DownloadProgress& progress) {
  // A COUNT that the records have outgrown was no total (a page's own count, say): the
  // count then stands alone rather than above its total.
  if (progress.announced && progress.records <= *progress.announced) {
    return WithThousands(progress.records) + " of " + WithThousands(*progress.announced) +
           " contacts received";
  }
  if (progress.announced) return WithThousands(progress.records) + " contacts received";
  char megabytes[32];
  std::snprintf(megabytes, sizeof megabytes, "%.1f MB received",
                static_cast<double>(progress.bytes) / 1e6);
  return megabytes;
}

std::string SyncFailureLine(const ProgramValues& values, const logbook::SyncResult& result) {
  if (result.outcome == logbook::SyncOutcome::kCancelled) {
    return std::string(kCancelledText) + ": the download was interrupted";
  }
  std::string line = std::string(kFailedText) + ": " + result.reason;
  if (result.outcome == logbook::SyncOutcome::kKeyRefused) {
    line +=
        "; " + std::string(kKeyHintText) + " " + values.places.program_folder + kSettingsFileName;
  }
  return line;
}

void ShowSyncFailure(console::Console& console, const ProgramValues& values,
                     const logbook::SyncResult& result, FailureLayout layout) {
  const bool first_run = layout == FailureLayout::kFirstRun;
  const int notice_row = first_run ? 20 : 21;
  const int hint_row = first_run ? 22 : 24;
  if (result.outcome == logbook::SyncOutcome::kCancelled) {
    WriteNoticeRow(console, notice_row, kCancelledText);
    WriteNoticeRow(console, notice_row + 1, "Esc was pressed during the download");
    return;
  }
  WriteNoticeRow(console, notice_row, kFailedText);
  WriteNoticeRow(console, notice_row + 1, result.reason);
  if (result.outcome != logbook::SyncOutcome::kKeyRefused) return;
  WriteNoticeRow(console, hint_row, kKeyHintText);
  const std::string path = values.places.program_folder + kSettingsFileName;
  WriteNoticeRow(console, hint_row + 1, path);
}

}  // namespace app
