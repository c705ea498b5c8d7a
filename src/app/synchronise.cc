#include "app/synchronise.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/settings.h"
#include "award/band_files.h"

namespace app {
namespace {

constexpr int kNoticeWidth = 53;
constexpr int kNoticeColumn = 6;

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

}  // namespace

void ClearWorkArea(console::Console& console) {
  const std::string blanks(55, ' ');
  for (int row = 3; row <= 42; ++row) {
    console.MoveCursor(row, 2);
    console.WriteText(blanks);
  }
}

logbook::SyncResult Synchronise(console::Console& console, const ProgramValues& values,
                                AwardData& data) {
  const std::string log_path = values.places.program_folder + values.account_name + ".adi";
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
  console.Flush();

  logbook::SyncSettings settings;
  settings.program_folder = values.places.program_folder;
  settings.temp_folder = values.places.temp_folder;
  settings.endpoint = values.places.endpoint;
  settings.ca_file = values.places.ca_file;
  settings.api_key = values.api_key;
  settings.cancelled = values.termination_requested;
  logbook::SyncResult result = logbook::DownloadLogbook(settings, log_path, data.countries);
  if (result.ok) award::LoadBandFiles(values.places.program_folder, data.unconfirmed);
  return result;
}

void ShowSyncFailure(console::Console& console, const ProgramValues& values,
                     const logbook::SyncResult& result) {
  WriteNoticeRow(console, 21, "Update failed: nothing was changed");
  WriteNoticeRow(console, 22, result.reason);
  if (!result.key_refused) return;
  WriteNoticeRow(console, 24, "To enter your API key again, delete the file");
  const std::string path = values.places.program_folder + kSettingsFileName;
  WriteNoticeRow(console, 25, path);
}

}  // namespace app
