#include "logbook/logbook_pages.h"

#include <algorithm>

#include "logbook/normalise.h"

namespace logbook {
namespace {

constexpr std::string_view kLogIdTag = "<app_qrzlog_logid:";

// The value of an app_qrzlog_logid field whose tag starts at `at`, when it is a number:
// "<app_qrzlog_logid:LENGTH>" or "<app_qrzlog_logid:LENGTH:TYPE>", then LENGTH digits.
std::optional<std::uint64_t> LogIdAt(std::string_view text, size_t at) {
  size_t position = at + kLogIdTag.size();
  size_t length = 0;
  size_t digits = 0;
  while (position < text.size() && text[position] >= '0' && text[position] <= '9' && digits < 6) {
    length = length * 10 + static_cast<size_t>(text[position++] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  const size_t close = text.find('>', position);
  if (close == std::string_view::npos || (close != position && text[position] != ':')) {
    return std::nullopt;
  }
  const std::string_view value = text.substr(close + 1, length);
  if (value.empty() || value.size() != length || value.size() > 19) return std::nullopt;
  std::uint64_t number = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return number;
}

}  // namespace

std::string MakePageOption(std::uint64_t after_log_id) {
  return "MAX:" + std::to_string(kPageSize) + ",AFTERLOGID:" + std::to_string(after_log_id);
}

std::string_view Page::front() const {
  return std::string_view(text).substr(0, has_data_start ? data_start - 1 : text.size());
}

Page ReadPage(std::string_view raw) {
  Page page;
  page.text = DecodeReply(raw);
  const std::string_view text = page.text;
  if (const size_t start = text.find("=<"); start != std::string_view::npos) {
    page.has_data_start = true;
    page.data_start = start + 1;
  }
  page.data_end = page.data_start;
  constexpr std::string_view kEor = "<eor>";
  for (size_t at = text.find(kEor, page.data_start); at != std::string_view::npos;
       at = text.find(kEor, at + kEor.size())) {
    ++page.records;
    page.data_end = at + kEor.size();
  }
  const std::string_view data = text.substr(page.data_start, page.data_end - page.data_start);
  for (size_t at = data.find(kLogIdTag); at != std::string_view::npos;
       at = data.find(kLogIdTag, at + 1)) {
    if (const std::optional<std::uint64_t> id = LogIdAt(data, at)) {
      page.lowest_log_id = std::min(page.lowest_log_id.value_or(*id), *id);
      page.highest_log_id = std::max(page.highest_log_id.value_or(0), *id);
    }
  }
  ReplyScanner scanner;
  scanner.Feed(raw);
  page.verdict = scanner.Judge();
  return page;
}

PageJoiner::Result PageJoiner::Add(const Page& page) {
  const bool first = pages_++ == 0;
  const std::string_view text = page.text;
  const ReplyVerdict& verdict = page.verdict;
  if (verdict.kind != ReplyKind::kLogbook) {
    // Past the last record the service answers that there is nothing more.
    const bool nothing_more = verdict.kind == ReplyKind::kFailed &&
                              (ReadNumberValue(page.front(), "COUNT") == 0 ||
                               page.front().find("no log entries found") != std::string::npos);
    if (!first && nothing_more) return {Step::kDone, trailer_, ""};
    return {verdict.kind == ReplyKind::kKeyRefused ? Step::kKeyRefused : Step::kFailed, "",
            verdict.reason};
  }
  if (page.records == 0) return {Step::kDone, first ? page.text : trailer_, ""};
  if (!page.has_data_start) return {Step::kFailed, "", "a page of the logbook could not be read"};
  if (!page.highest_log_id) {
    return {Step::kFailed, "", "a page of the logbook held no record numbers"};
  }
  // A record below the AFTERLOGID asked for was sent before (or the service ignored the
  // option): joined, it would be counted twice. Such a page may well advance.
  if (*page.lowest_log_id < next_log_id_) {
    return {Step::kFailed, "", "the logbook service sent a page that it had sent before"};
  }
  Result result{Step::kNextPage, "", ""};
  const size_t from = first ? 0 : page.data_start;
  result.output.assign(text.substr(from, page.data_end - from));
  trailer_.assign(text.substr(page.data_end));
  next_log_id_ = *page.highest_log_id + 1;
  if (page.records < kPageSize) {
    result.step = Step::kDone;
    result.output += trailer_;
  } else if (pages_ >= kMaxPages) {
    return {Step::kFailed, "", "the logbook has more than 5,000 pages"};
  }
  return result;
}

}  // namespace logbook
