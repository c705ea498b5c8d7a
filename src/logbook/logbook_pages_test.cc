// Joining pages: the joined text must read exactly like one reply with all the records,
// and every way a page can go wrong must stop the whole download.
#include "logbook/logbook_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logbook/normalise.h"

namespace logbook {
namespace {

using Step = PageJoiner::Step;

// The service's reply holding records `first` to `last` - 1 (log ids 1000 + 3 i), encoded
// as it encodes them, announcing `count`.
std::string Reply(size_t first, size_t last, size_t count) {
  std::string adif;
  for (size_t i = first; i < last; ++i) {
    const std::string id = std::to_string(1000 + 3 * i);
    adif += "&lt;call:3&gt;K" + std::to_string(i % 10) + "X\n&lt;band:3&gt;20m\n" +
            "&lt;app_qrzlog_logid:" + std::to_string(id.size()) + "&gt;" + id + "&lt;eor&gt;\n";
  }
  return "COUNT=" + std::to_string(count) + "&ADIF=" + adif + "&RESULT=OK";
}

constexpr char kNoMore[] = "RESULT=FAIL&REASON=no log entries found&COUNT=0";

TEST(PageJoiner, PagesJoinIntoTheSingleReply) {
  for (const size_t count : {1, 2000, 4501}) {
    PageJoiner joiner;
    std::string joined;
    for (size_t next = 0;;) {
      const size_t last = std::min<size_t>(next + kPageSize, count);
      const PageJoiner::Result result =
          joiner.Add(ReadPage(next < count ? Reply(next, last, count - next) : kNoMore));
      ASSERT_TRUE(result.step == Step::kNextPage || result.step == Step::kDone) << result.reason;
      joined += result.output;
      if (result.step == Step::kDone) break;
      next = last;
    }
    EXPECT_EQ(joined, DecodeReply(Reply(0, count, count))) << count;
  }
}

TEST(PageJoiner, EveryFaultyPageFailsTheWhole) {
  const std::string first = Reply(0, kPageSize, 5000);
  struct Row {
    std::string page;  // a first page when it is one alone, else the page after `first`
    Step step;
    std::string text;  // the output, or the reason
  };
  const std::vector<Row> rows = {
      {"RESULT=OK&COUNT=0", Step::kDone, "RESULT=OK&COUNT=0"},  // an empty logbook, as it is
      {kNoMore, Step::kFailed, "the logbook service said: no log entries found"},
      {first, Step::kFailed, "the logbook service sent a page that it had sent before"},
      {"STATUS=AUTH&REASON=invalid api key", Step::kKeyRefused,
       "the logbook service said: invalid api key"},
      {"RESULT=FAIL&REASON=database busy", Step::kFailed,
       "the logbook service said: database busy"},
      {"<html>Bad Gateway</html>", Step::kFailed, "the reply held no logbook"},
      {"COUNT=1&ADIF=&lt;call:1&gt;X&lt;eor&gt;", Step::kFailed,
       "a page of the logbook held no record numbers"},
      {"&lt;call:1&gt;X&lt;app_qrzlog_logid:5&gt;99999&lt;eor&gt;", Step::kFailed,
       "a page of the logbook could not be read"},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    PageJoiner joiner;
    if (i >= 2) {
      ASSERT_EQ(joiner.Add(ReadPage(first)).step, Step::kNextPage);
    }
    const PageJoiner::Result result = joiner.Add(ReadPage(row.page));
    EXPECT_EQ(result.step, row.step) << row.page.substr(0, 40);
    EXPECT_EQ(result.step == Step::kDone ? result.output : result.reason, row.text);
  }
}

TEST(PageJoiner, LogIdsAndTheLastAllowedPage) {
  const Page read = ReadPage(
      "COUNT=3&ADIF=&lt;app_qrzlog_logid:3&gt;120&lt;eor&gt;&lt;APP_QRZLOG_LOGID:3&gt;999"
      "&lt;eor&gt;&lt;app_qrzlog_logid:3:N&gt;130&lt;eor&gt;&lt;app_qrzlog_logid:3&gt;1x0"
      "&lt;eor&gt;&lt;app_qrzlog_logid:2&gt;7&lt;eor&gt;&lt;app_qrzlog_logid:&gt;8&lt;eor&gt;"
      "&lt;app_qrzlog_logid:3x&gt;140&lt;eor&gt;");
  // Capitals, a non-number, a short value, no length and a bad length do not count.
  EXPECT_EQ(read.lowest_log_id, 120u);
  EXPECT_EQ(read.highest_log_id, 130u);

  PageJoiner joiner;
  Page page;
  page.has_data_start = true;
  page.records = kPageSize;
  for (int number = 1; number <= kMaxPages; ++number) {
    page.lowest_log_id = page.highest_log_id = static_cast<std::uint64_t>(number) * kPageSize;
    const PageJoiner::Result result = joiner.Add(page);
    ASSERT_EQ(result.step, number < kMaxPages ? Step::kNextPage : Step::kFailed) << number;
    EXPECT_EQ(result.reason, number < kMaxPages ? "" : "the logbook has more than 5,000 pages");
  }
}

}  // namespace
}  // namespace logbook
