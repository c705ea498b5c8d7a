// Joining pages: the joined text must read exactly like one reply with all the records,
// and every way a page can go wrong must stop the whole download.
#include "logbook/logbook_pages.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "logbook/normalise.h"
#include "reference_pipeline.h"

namespace logbook {
namespace {

// A record as the service sends it, with its log id.
std::string Record(std::uint64_t log_id, int seed) {
  const std::string id = std::to_string(log_id);
  const std::string call = "K" + std::to_string(seed % 10) + "X";
  return "<call:" + std::to_string(call.size()) + ">" + call + "\n<band:3>20m\n" +
         "<app_qrzlog_logid:" + std::to_string(id.size()) + ">" + id + "\n<eor>\n";
}

// The service's reply holding `records` (encoded as it encodes them), announcing `count`.
std::string Reply(const std::vector<std::string>& records, size_t count) {
  std::string adif;
  for (const std::string& record : records) adif += record + "\n";
  std::string encoded;
  for (const char c : adif) encoded += c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  return "COUNT=" + std::to_string(count) + "&ADIF=" + encoded + "&RESULT=OK";
}

constexpr char kNoMore[] = "RESULT=FAIL&REASON=no log entries found&COUNT=0";

// Serves `records` page by page as the service does and joins them. Returns the joined
// text, or "" with `failure` set.
std::string JoinAll(const std::vector<std::string>& records, std::string& failure) {
  PageJoiner joiner;
  std::string joined;
  size_t next = 0;
  for (;;) {
    const size_t take = std::min<size_t>(kPageSize, records.size() - next);
    const std::vector<std::string> page(records.begin() + next, records.begin() + next + take);
    const std::string raw = take > 0 ? Reply(page, records.size() - next) : kNoMore;
    const PageJoiner::Result result = joiner.Add(ReadPage(raw));
    if (result.step == PageJoiner::Step::kFailed || result.step == PageJoiner::Step::kKeyRefused) {
      failure = result.reason;
      return "";
    }
    joined += result.output;
    if (result.step == PageJoiner::Step::kDone) return joined;
    next += take;
  }
}

TEST(DecodeReply, IsWhatTheNormalisationFindsNothingMoreToDoIn) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, 10);
  const std::string parts[] = {"&", "lt;", "gt;", "&lt;", "&gt;", "\n", "<", ">", "eor", "=", "\r"};
  for (int round = 0; round < 2000; ++round) {
    std::string raw;
    for (int part = 0; part < 24; ++part) raw += parts[pick(random)];
    const std::string decoded = DecodeReply(raw);
    EXPECT_EQ(decoded.find('\n'), std::string::npos) << raw;
    EXPECT_EQ(decoded.find("&lt;"), std::string::npos) << raw;
    EXPECT_EQ(decoded.find("&gt;"), std::string::npos) << raw;
    EXPECT_EQ(reference::NormaliseReply(decoded), reference::NormaliseReply(raw)) << raw;
  }
}

TEST(ReadPage, FindsTheDataTheRecordsAndTheLogIds) {
  const Page page = ReadPage(
      "RESULT=OK&COUNT=3&ADIF=&lt;app_qrzlog_logid:3&gt;120&lt;eor&gt;\n"
      "&lt;APP_QRZLOG_LOGID:3&gt;999&lt;eor&gt;&lt;app_qrzlog_logid:3:N&gt;130&lt;eor&gt;"
      "&lt;app_qrzlog_logid:3&gt;1x0&lt;eor&gt;&lt;app_qrzlog_logid:2&gt;7&lt;eor&gt;tail");
  EXPECT_EQ(page.front(), "RESULT=OK&COUNT=3&ADIF");
  EXPECT_EQ(page.text.substr(page.data_start, 5), "<app_");
  EXPECT_EQ(page.text.substr(page.data_end), "tail");
  EXPECT_EQ(page.records, 5);
  // Capitals, a non-number and a short value do not count.
  EXPECT_EQ(page.lowest_log_id, 120u);
  EXPECT_EQ(page.highest_log_id, 130u);
  EXPECT_EQ(page.verdict.kind, ReplyKind::kLogbook);
  EXPECT_EQ(ReadPage("RESULT=OK&COUNT=0").verdict.kind, ReplyKind::kLogbook);
  EXPECT_EQ(ReadPage("COUNT=0&STATUS=O\nK").verdict.kind, ReplyKind::kLogbook);
  EXPECT_EQ(ReadPage("COUNT=0").verdict.kind, ReplyKind::kNoLogbook);
}

TEST(PageJoiner, PagesJoinIntoTheSingleReply) {
  for (const size_t count : {1, 1999, 2000, 2001, 4000, 4501}) {
    std::vector<std::string> records;
    for (size_t i = 0; i < count; ++i) records.push_back(Record(1000 + 3 * i, static_cast<int>(i)));
    std::string failure;
    const std::string joined = JoinAll(records, failure);
    ASSERT_EQ(failure, "") << count;
    const std::string single = Reply(records, records.size());
    EXPECT_EQ(reference::NormaliseReply(joined), reference::NormaliseReply(single)) << count;
    EXPECT_EQ(joined, DecodeReply(single)) << count;
  }
}

TEST(PageJoiner, AnEmptyLogbookIsTheFirstPageAsItIs) {
  PageJoiner joiner;
  const PageJoiner::Result ok = joiner.Add(ReadPage("RESULT=OK&COUNT=0"));
  EXPECT_EQ(ok.step, PageJoiner::Step::kDone);
  EXPECT_EQ(ok.output, "RESULT=OK&COUNT=0");
  // The service's "nothing found" on the first page is its failure answer, as in one reply.
  PageJoiner other;
  EXPECT_EQ(other.Add(ReadPage(kNoMore)).step, PageJoiner::Step::kFailed);
}

TEST(PageJoiner, EveryFaultyPageFailsTheWhole) {
  std::vector<std::string> full_page;
  for (int i = 0; i < kPageSize; ++i) full_page.push_back(Record(10 + i, i));
  const std::string first = Reply(full_page, 5000);
  struct Row {
    std::string second;
    PageJoiner::Step step;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {first, PageJoiner::Step::kFailed, "the logbook service sent a page that it had sent before"},
      {"STATUS=AUTH&REASON=invalid api key", PageJoiner::Step::kKeyRefused,
       "the logbook service said: invalid api key"},
      {"RESULT=FAIL&REASON=database busy", PageJoiner::Step::kFailed,
       "the logbook service said: database busy"},
      {"<html>Bad Gateway</html>", PageJoiner::Step::kFailed, "the reply held no logbook"},
      {Reply({"<call:1>X<eor>"}, 1), PageJoiner::Step::kFailed,
       "a page of the logbook held no record numbers"},
      {"&lt;call:1&gt;X&lt;app_qrzlog_logid:5&gt;99999&lt;eor&gt;", PageJoiner::Step::kFailed,
       "a page of the logbook could not be read"},
  };
  for (const Row& row : rows) {
    PageJoiner joiner;
    ASSERT_EQ(joiner.Add(ReadPage(first)).step, PageJoiner::Step::kNextPage);
    EXPECT_EQ(joiner.next_log_id(), 10u + kPageSize);
    const PageJoiner::Result result = joiner.Add(ReadPage(row.second));
    EXPECT_EQ(result.step, row.step) << row.second.substr(0, 40);
    EXPECT_EQ(result.reason, row.reason) << row.second.substr(0, 40);
  }
}

TEST(PageJoiner, StopsAfterTheLastAllowedPage) {
  PageJoiner joiner;
  Page page;
  page.has_data_start = true;
  page.records = kPageSize;
  for (int number = 1; number < kMaxPages; ++number) {
    page.lowest_log_id = page.highest_log_id = static_cast<std::uint64_t>(number) * kPageSize;
    ASSERT_EQ(joiner.Add(page).step, PageJoiner::Step::kNextPage) << number;
  }
  page.lowest_log_id = page.highest_log_id = std::uint64_t{kMaxPages} * kPageSize;
  const PageJoiner::Result last = joiner.Add(page);
  EXPECT_EQ(last.step, PageJoiner::Step::kFailed);
  EXPECT_EQ(last.reason, "the logbook has more than 5,000 pages");
  // A last page that is not full ends in time.
  PageJoiner short_one;
  page.records = kPageSize - 1;
  EXPECT_EQ(short_one.Add(page).step, PageJoiner::Step::kDone);
}

TEST(MakePageOption, AsTheServiceDocumentsIt) {
  EXPECT_EQ(MakePageOption(0), "MAX:2000,AFTERLOGID:0");
  EXPECT_EQ(MakePageOption(123456790), "MAX:2000,AFTERLOGID:123456790");
}

}  // namespace
}  // namespace logbook
