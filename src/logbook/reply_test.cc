// The reply on its way to the Band files and the Country file, against the literal reference
// on random input: the streaming normalisation in chunks of every size and both extractions
// line by line; the verdict on a reply and the facts it is drawn from; and faulty pages.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "logbook/confirmed_countries.h"
#include "logbook/confirmed_states.h"
#include "logbook/logbook_pages.h"
#include "logbook/normalise.h"
#include "logbook/reply_scan.h"
#include "reference_pipeline.h"

namespace logbook {
namespace {

// Feeds `reply` through a Normaliser of `steps` in chunks of `feed` bytes, and its text to
// a DataStartFinder in chunks of `look` bytes, the way the program streams a file.
std::string Stream(const std::string& reply, Steps steps, size_t feed, size_t look,
                   DataStartFinder& finder) {
  Normaliser normaliser(steps);
  std::string text;
  for (size_t at = 0; at < reply.size(); at += feed) normaliser.Feed(reply.substr(at, feed), text);
  normaliser.Finish(text);
  for (size_t at = 0; at < text.size() && !finder.Look(text.substr(at, look)); at += look) {
  }
  return text;
}

TEST(Normalise, EveryChunkingGivesTheLiteralSteps) {
  const std::vector<std::string> pieces = {
      "&lt;eor&gt;", "&lt;", "&gt;", "&lt;e", "&lt;x", "&l", "t;", "&lt;eor&gt", "&lt;\neor&gt;",
      "eor",         "<",    ">",    "&",     "\n",    "\r", "x",  "=",          "RESULT=OK&"};
  std::mt19937 random(73);
  for (int round = 0; round < 4000; ++round) {
    std::string reply;
    for (int i = static_cast<int>(random() % 30); i > 0; --i) reply += pieces[random() % 18];
    const size_t sizes[] = {1 + random() % 16, 1 + random() % 4, reply.size() + 1};
    const size_t feed = sizes[random() % 3];
    DataStartFinder finder;
    const std::string text = Stream(reply, Steps::kAll, feed, 1 + random() % 16, finder);
    const std::string marked = reference::MarkRecordEnds(reference::DecodeReply(reply));
    ASSERT_EQ(text.substr(finder.drop()), reference::NormaliseReply(reply)) << reply;
    ASSERT_EQ(finder.found(), marked.find("=<") != std::string::npos) << reply;
    ASSERT_EQ(finder.front(), marked.substr(0, marked.find("=<"))) << reply;
    DataStartFinder unused;
    ASSERT_EQ(Stream(reply, Steps::kDecode, feed, 1, unused), reference::DecodeReply(reply))
        << reply;
    ASSERT_EQ(DecodeReply(reply), reference::DecodeReply(reply)) << reply;
  }
  // The front kept before the data is bounded.
  DataStartFinder finder;
  const std::string reply = std::string(DataStartFinder::kFrontLimit + 100, 'x') + "=<a>";
  EXPECT_EQ(Stream(reply, Steps::kAll, 4096, 1000, finder).substr(finder.drop()), "<a>");
  EXPECT_EQ(finder.front(), std::string(DataStartFinder::kFrontLimit, 'x'));
}

TEST(ConfirmedStates, BothExtractionsMatchTheReference) {
  // The fields and values the rules look at, and their near misses.
  const std::vector<std::string> pieces = {
      // Confirmation and countries.
      "<app_qrzlog_status:1>C", "<app_qrzlog_status:1>c", "<app_qrzlog_status:1>N",
      "<country:13>United States", "<country:6>Alaska", "<country:6>Hawaii", "<country:6>Canada",
      "<country:5>Japan", "<country:5>japan", "<country:", "<country:x>", "<country:0>",
      "<country:40>", "<country: 2>ab", "<country:-2>",
      // States, bands and other fields, line ends and other bytes.
      "<state:2>ny", "<state:2>TX", "<state:2>DC", "<state:2>ON", "<state:1>", "<state:10>",
      "<stat", "<state:", "<band:3>20m", "<band:3>10m", "<band:4>160m", "<band:3>40M",
      "<band:4>160M", "<band:3>20 m", "<BAND:3>20m", "<band:2>6m", "<band:3>60M",
      "<band:", "<comment:40>", "\r", "\r\n", "\n", "<eor>", "x", " ", "\xc3\xa4", "<", ">"};
  std::mt19937 random(42);
  for (int round = 0; round < 1000; ++round) {
    // The first log starts with a state field that ends its line: too short for a value.
    std::string log = round == 0 ? "<app_qrzlog_status:1>C<band:3>20m<country:13>United "
                                   "States<state:1>\r"
                                 : "";
    for (int i = static_cast<int>(random() % 300); i > 0; --i) {
      log += pieces[random() % pieces.size()];
    }
    award::BandTallies tallies{};
    award::ConfirmedCountryList countries{};
    if (round % 3 == 0) countries = {"1", "JAPAN"};
    if (round % 3 == 1) {  // one name short of the limit of the list
      countries[0] = std::to_string(award::kMaxCountries - 1);
      for (int i = 1; i < award::kMaxCountries; ++i) countries[i] = "C" + std::to_string(i);
    }
    award::ConfirmedCountryList expected = countries;
    {
      CountryCollector collector(countries);
      for (const std::string& line : reference::SplitLines(log)) {
        if (CountConfirmedState(line, tallies)) collector.AddConfirmedLine(line);
      }
    }
    const auto bands = reference::BandFiles(log);
    for (int band = 1; band <= award::kBandCount; ++band) {
      ASSERT_EQ(award::FormatBandFile(tallies[band - 1]), bands[band - 1])
          << "band " << band << " log " << ::testing::PrintToString(log);
    }
    reference::AddCountries(log, expected);
    ASSERT_EQ(countries, expected) << ::testing::PrintToString(log);
  }
}

TEST(ReplyScanner, VerdictsAndFactsInPiecesOfEverySize) {
  struct Row {
    std::string reply;
    ReplyKind kind;
    std::string reason;
    std::int64_t records;
    std::optional<std::int64_t> announced;
  };
  const std::string said = "the logbook service said: ";
  const std::string refused = "the logbook service refused the request";
  const std::string no_logbook = "the reply held no logbook";
  const std::vector<Row> rows = {
      {"RESULT=OK&COUNT=5678&ADIF=&lt;call:4&gt;W1AW&lt;e\nor&gt;\n&lt;a:1&gt;b&lt;eor&gt;",
       ReplyKind::kLogbook, "", 2, 5678},
      {"COUNT=0&ADIF=&STATUS=OK", ReplyKind::kLogbook, "", 0, std::nullopt},
      {"<html>RESULT=O\nK</html>", ReplyKind::kLogbook, "", 0, std::nullopt},
      {"STATUS=AUTH&REASON=invalid api key", ReplyKind::kKeyRefused, said + "invalid api key", 0,
       std::nullopt},
      {"RESULT=AUTH&COUNT=1&ADIF=<a:1>b<eor>", ReplyKind::kKeyRefused, refused, 1, 1},
      {"STATUS=FAIL&REASON=database busy&COUNT=0", ReplyKind::kFailed, said + "database busy", 0,
       std::nullopt},
      {"RESULT=FAIL&REASON=", ReplyKind::kFailed, refused, 0, std::nullopt},
      {"result=fail&RESULT=Ok", ReplyKind::kNoLogbook, no_logbook, 0, std::nullopt},
      {"<html><body>Maintenance</body></html>", ReplyKind::kNoLogbook, no_logbook, 0, std::nullopt},
      {"", ReplyKind::kNoLogbook, no_logbook, 0, std::nullopt},
      {"LOGCOUNT=5&COUNT=6&ADIF=<eor>", ReplyKind::kLogbook, "", 1, 6},
      {"COUNT=12a&ADIF=<eor>", ReplyKind::kLogbook, "", 1, std::nullopt},
      {"COUNT=&ADIF=<eor>", ReplyKind::kLogbook, "", 1, std::nullopt},
      {"COUNT=99999999999999999999&ADIF=<eor>", ReplyKind::kLogbook, "", 1, std::nullopt},
  };
  for (const Row& row : rows) {
    for (size_t size = 1; size <= row.reply.size() + 1; ++size) {
      SCOPED_TRACE(row.reply + " in pieces of " + std::to_string(size));
      ReplyScanner scanner;
      for (size_t at = 0; at < row.reply.size(); at += size) {
        scanner.Feed(row.reply.substr(at, size));
      }
      const ReplyVerdict verdict = scanner.Judge();
      EXPECT_EQ(verdict.kind, row.kind);
      EXPECT_EQ(verdict.reason, row.reason);
      EXPECT_EQ(scanner.records(), row.records);
      EXPECT_EQ(scanner.announced(), row.announced);
      EXPECT_EQ(scanner.bytes(), static_cast<std::int64_t>(row.reply.size()));
    }
  }
}

using Step = PageJoiner::Step;

TEST(PageJoiner, EveryFaultyPageFailsTheWhole) {
  std::string first = "COUNT=5000&ADIF=";  // a whole page as the service encodes it
  for (size_t i = 0; i < kPageSize; ++i) {
    const std::string id = std::to_string(1000 + 3 * i);
    first += "&lt;call:3&gt;K1X\n&lt;app_qrzlog_logid:" + std::to_string(id.size()) + "&gt;" + id +
             "&lt;eor&gt;\n";
  }
  first += "&RESULT=OK";
  struct Row {
    std::string page;  // a first page when it is one alone, else the page after `first`
    Step step;
    std::string text;  // the output, or the reason
  };
  const std::vector<Row> rows = {
      {"RESULT=OK&COUNT=0", Step::kDone, "RESULT=OK&COUNT=0"},  // an empty logbook, as it is
      {"RESULT=FAIL&REASON=no log entries found&COUNT=0", Step::kFailed,
       "the logbook service said: no log entries found"},
      {first, Step::kFailed, "the logbook service sent a page that it had sent before"},
      {"STATUS=AUTH&REASON=invalid api key", Step::kKeyRefused,
       "the logbook service said: invalid api key"},
      {"RESULT=FAIL&REASON=database busy", Step::kFailed,
       "the logbook service said: database busy"},
      {"COUNT=1&ADIF=&lt;call:1&gt;X&lt;eor&gt;", Step::kFailed,
       "a page of the logbook held no record numbers"},
      {"&lt;call:1&gt;X&lt;app_qrzlog_logid:5&gt;99999&lt;eor&gt;", Step::kFailed,
       "a page of the logbook could not be read"},
      // The ends of a logbook: the page before's trailer follows.
      {"COUNT=0&ADIF=&RESULT=OK", Step::kDone, "&RESULT=OK"},
      {"RESULT=FAIL&REASON=no log entries found&COUNT=0", Step::kDone, "&RESULT=OK"},
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
