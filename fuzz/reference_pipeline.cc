#include "reference_pipeline.h"

#include <algorithm>
#include <utility>

#include "award/region_tables.h"
#include "base/upper_case.h"

namespace reference {
namespace {

// Every occurrence, left to right, without overlap and without rescanning the inserted text.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  std::string result;
  size_t start = 0;
  for (size_t found; (found = text.find(from, start)) != std::string::npos;) {
    result += text.substr(start, found - start) + to;
    start = found + from.size();
  }
  return result + text.substr(start);
}

bool Contains(const std::string& line, const std::string& text) {
  return line.find(text) != std::string::npos;
}

// The number written at the start of `text`: leading blanks skipped, an optional sign,
// then digits; no digits give 0.
long long LeadingNumber(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return 0;
  const bool negative = text[i] == '-';
  if (text[i] == '+' || text[i] == '-') ++i;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 1000000000000LL; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::string DecodeReply(std::string text) {
  text = ReplaceAll(text, "\n", "");
  text = ReplaceAll(text, "&lt;", "<");
  return ReplaceAll(text, "&gt;", ">");
}

std::string MarkRecordEnds(const std::string& text) { return ReplaceAll(text, "<eor>", "<eor>\r"); }

std::string NormaliseReply(std::string text) {
  text = MarkRecordEnds(DecodeReply(std::move(text)));
  const size_t data = text.find("=<");
  return data == std::string::npos ? text : text.substr(data + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // something of a line not yet ended has been read
  for (size_t i = 0; i < text.size() && text[i] != 26; ++i) {
    if (text[i] != '\r') {
      line += text[i];
      open = true;
      continue;
    }
    lines.push_back(std::exchange(line, ""));
    open = false;
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  if (open) lines.push_back(line);
  return lines;
}

std::array<std::string, award::kBandCount> BandFiles(const std::string& log_text) {
  const std::array<std::string, award::kBandCount> band_texts = {
      "<band:3>10m", "<band:3>12m", "<band:3>15m", "<band:3>17m", "<band:3>20m",
      "<band:3>30m", "<band:3>40m", "<band:3>80m", "<band:4>160m"};
  award::StateTable states;
  award::FillStateTable(states);
  int counts[award::kBandCount][award::kStateCount] = {};
  for (const std::string& line : SplitLines(log_text)) {
    if (!Contains(line, "<app_qrzlog_status:1>C")) continue;
    std::string state;
    if (Contains(line, "<country:6>Alaska")) state = "AK";
    if (Contains(line, "<country:6>Hawaii")) state = "HI";
    const size_t found = line.find("<state:");
    if (state.empty() && Contains(line, "<country:13>United States") &&
        found != std::string::npos && found + 9 < line.size()) {
      state = base::UpperCase(line.substr(found + 9, 2));
    }
    int band = 0;
    for (int b = 1; b <= award::kBandCount; ++b) {
      // A band value matches in either case: "<band:3>20M" is 20m.
      std::string capital = band_texts[b - 1];
      capital.back() = 'M';
      if (Contains(line, band_texts[b - 1]) || Contains(line, capital)) band = b;
    }
    for (int row = 1; band != 0 && row <= award::kStateCount; ++row) {
      if (states[row - 1].abbreviation == state) ++counts[band - 1][row - 1];
    }
  }
  std::array<std::string, award::kBandCount> files;
  for (int b = 1; b <= award::kBandCount; ++b) {
    for (int row = 1; row <= award::kStateCount; ++row) {
      const int count = counts[b - 1][row - 1];
      files[b - 1] += std::string(states[row - 1].abbreviation) + "," +
                      (count != 0 ? " " + std::to_string(count) : "") + "\r\n";
    }
  }
  return files;
}

void AddCountries(const std::string& log_text, award::ConfirmedCountryList& list) {
  for (const std::string& line : SplitLines(log_text)) {
    const size_t field = line.find("<country:");
    if (!Contains(line, "<app_qrzlog_status:1>C") || field == std::string::npos) continue;
    const size_t close = line.find('>', field + 9);
    if (close == std::string::npos) continue;
    const long long length = LeadingNumber(line.substr(field + 9, close - (field + 9)));
    const std::string value =
        base::UpperCase(line.substr(close + 1, static_cast<size_t>(std::max(length, 0LL))));
    const long long count = std::clamp(LeadingNumber(list[0]), 0LL, 0LL + award::kMaxCountries);
    bool known = false;
    for (long long i = 1; i <= count; ++i) known = known || list[i] == value;
    if (known || count == award::kMaxCountries) continue;
    list[count + 1] = value;
    list[0] = std::to_string(count + 1);
  }
}

}  // namespace reference
