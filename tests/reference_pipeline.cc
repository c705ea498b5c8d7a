#include "reference_pipeline.h"

#include "award/region_tables.h"
#include "base/upper_case.h"

namespace reference {
namespace {

// Every occurrence, left to right, without overlap and without rescanning the inserted
// text.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  std::string result;
  size_t start = 0;
  for (;;) {
    const size_t found = text.find(from, start);
    if (found == std::string::npos) break;
    result += text.substr(start, found - start);
    result += to;
    start = found + from.size();
  }
  result += text.substr(start);
  return result;
}

bool Contains(const std::string& line, const std::string& text) {
  return line.find(text) != std::string::npos;
}

// The number written at the start of `text`: leading blanks skipped, an optional sign,
// then digits; no digits give 0.
long long LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 1000000000000LL) {
    value = value * 10 + (text[i] - '0');
    ++i;
  }
  return negative ? -value : value;
}

}  // namespace

std::string NormaliseReply(std::string text) {
  text = ReplaceAll(text, "\n", "");
  text = ReplaceAll(text, "&lt;", "<");
  text = ReplaceAll(text, "&gt;", ">");
  text = ReplaceAll(text, "<eor>", "<eor>\r");
  const size_t data = text.find("=<");
  if (data != std::string::npos) text = text.substr(data + 1);
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // something of a line not yet ended has been read
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == 26) break;
    if (c == '\r') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      continue;
    }
    line += c;
    open = true;
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
    int band = 0;
    if (Contains(line, "<country:6>Alaska")) state = "AK";
    if (Contains(line, "<country:6>Hawaii")) state = "HI";
    if (state.empty() && Contains(line, "<country:13>United States")) {
      const size_t found = line.find("<state:");
      if (found != std::string::npos) {
        if (found + 9 < line.size()) state = base::UpperCase(line.substr(found + 9, 2));
      }
    }
    for (int b = 1; b <= award::kBandCount; ++b) {
      // A band value matches in either case: "<band:3>20M" is 20m.
      std::string capital = band_texts[b - 1];
      capital.back() = 'M';
      if (Contains(line, band_texts[b - 1]) || Contains(line, capital)) band = b;
    }
    if (band == 0) continue;
    for (int row = 1; row <= award::kStateCount; ++row) {
      if (states[row - 1].abbreviation == state) {
        counts[band - 1][row - 1] += 1;
        break;
      }
    }
  }

  std::array<std::string, award::kBandCount> files;
  for (int b = 1; b <= award::kBandCount; ++b) {
    for (int row = 1; row <= award::kStateCount; ++row) {
      std::string& file = files[b - 1];
      file += states[row - 1].abbreviation;
      file += ',';
      if (counts[b - 1][row - 1] != 0) {
        file += ' ';
        file += std::to_string(counts[b - 1][row - 1]);
      }
      file += "\r\n";
    }
  }
  return files;
}

void AddCountries(const std::string& log_text, award::ConfirmedCountryList& list) {
  for (const std::string& line : SplitLines(log_text)) {
    if (!Contains(line, "<app_qrzlog_status:1>C")) continue;
    const size_t field = line.find("<country:");
    if (field == std::string::npos) continue;
    const size_t close = line.find('>', field + 9);
    if (close == std::string::npos) continue;
    long long length = LeadingNumber(line.substr(field + 9, close - (field + 9)));
    if (length < 0) length = 0;
    const std::string value = base::UpperCase(line.substr(close + 1, static_cast<size_t>(length)));

    long long count = LeadingNumber(list[0]);
    if (count < 0) count = 0;
    if (count > award::kMaxCountries) count = award::kMaxCountries;
    bool known = false;
    for (long long i = 1; i <= count; ++i) {
      if (list[i] == value) {
        known = true;
        break;
      }
    }
    if (known || count == award::kMaxCountries) continue;
    list[count + 1] = value;
    list[0] = std::to_string(count + 1);
  }
}

}  // namespace reference
