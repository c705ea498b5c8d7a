// The reply on its way to the Band files and the Country file: the streaming normalisation
// of each reply of a table in chunks of every size, and both extractions on a table of
// lines; the verdict on a reply and the facts it is drawn from; and faulty pages.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "award/lists.h"
#include "award/region_tables.h"
#include "logbook/confirmed_countries.h"
#include "logbook/confirmed_states.h"
#include "logbook/logbook_pages.h"
#include "logbook/normalise.h"
#include "logbook/reply_scan.h"

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

TEST(Normalise, EachReplyInChunksOfEverySize) {
  // Each reply and its text, "|" marking where the data starts (after the first "=<"'s "=").
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"RESULT=OK&ADIF=&lt;call:1&gt;K&lt;eor&gt;\n&lt;eor&gt;",
       "RESULT=OK&ADIF=|<call:1>K<eor>\r<eor>\r"},
      // Every LF goes, inside an entity, a record end and the "=<" too.
      {"&l\nt;e\nor&g\nt;x=\n<y", "<eor>\rx=|<y"},
      // Near misses stay as they are, and what is decoded is not decoded again.
      {"&lt&gt;&lx;&gx;&l;&gt:&amp;&&lt;lt;&lt;gt;", "&lt>&lx;&gx;&l;&gt:&amp;&<lt;<gt;"},
      // Record ends however they are made, and the "<"s in front of them.
      {"<eor><<eor><e<eor>&lt;eor>&lt;&lt;eor&gt;<eo&lt;eor&gt;\r",
       "<eor>\r<<eor>\r<e<eor>\r<eor>\r<<eor>\r<eo<eor>\r\r"},
      // After "&lt;": a byte that may go on with "eor>", a plain one, "&", "<", LF, the end.
      {"&lt;e&lt;x&lt;&amp;&lt;<&lt;\n&lt;", "<e<x<&amp;<<<<"},
      {"a=b==<c=<d", "a=b==|<c=<d"},
      {"=&lt;&lt;eor&gt;", "=|<<eor>\r"},
      // What is held back at the end is plain text.
      {"x&l", "x&l"},
      {"&lt;eor&gt", "<eor&gt"}};
  for (const auto& [reply, marked] : rows) {
    std::string text = marked;
    std::erase(text, '|');
    for (size_t size = 1; size <= reply.size() + 1; ++size) {
      SCOPED_TRACE(::testing::PrintToString(reply) + " in chunks of " + std::to_string(size));
      DataStartFinder finder;
      EXPECT_EQ(Stream(reply, Steps::kAll, size, size, finder), text);
      // The finder's front and, once it found the data, "=|" and the text from its drop on.
      EXPECT_EQ(finder.front() + (finder.found() ? "=|" + text.substr(finder.drop()) : ""), marked);
    }
  }
  // Pages are only decoded: no CR after a record end, and the "=<" stays.
  EXPECT_EQ(DecodeReply("&lt;e\nor&gt;<eor>\n=&lt;"), "<eor><eor>=<");
  // The front kept before the data is bounded.
  DataStartFinder finder;
  const std::string reply = std::string(DataStartFinder::kFrontLimit + 100, 'x') + "=<a>";
  EXPECT_EQ(Stream(reply, Steps::kAll, 4096, 1000, finder).substr(finder.drop()), "<a>");
  EXPECT_EQ(finder.front(), std::string(DataStartFinder::kFrontLimit, 'x'));
}

TEST(ConfirmedStates, EachLineTalliesItsBandAndStateAndAddsItsCountry) {
  const std::string c(kConfirmed);
  const std::string us = c + "<band:3>12m<country:13>United States<state:";
  // Each line, the band and state it tallies and the country it adds to the list, or "".
  std::vector<std::array<std::string, 3>> rows = {
      // Only the exact mark of a confirmed record counts.
      {"<app_qrzlog_status:1>c<app_qrzlog_status:1>N<band:3>20m<country:6>Alaska", "", ""},
      // Any country field may name the state's country; the first one is added to the list.
      // Alaska and Hawaii count as states, Hawaii before Alaska.
      {c + "<band:3>20m<country:13>United States<country:4>Fiji<state:2>ny", "20m NY",
       "UNITED STATES"},
      {"<band:4>160M<state:2>TX<country:6>Alaska<country:4>Fiji" + c, "160m AK", "ALASKA"},
      {c + "<band:3>40M<country:6>Alaska<country:6>Hawaii<country:4>Fiji", "40m HI", "ALASKA"},
      // The last band in band order counts; near misses do not.
      {c + "<band:4>160m<band:3>10m<band:3>80m<country:6>Hawaii<", "160m HI", "HAWAII"},
      {c + "<country:6>Hawaii<band:3>20 m<BAND:3>20m<band:2>6m<band:3>60M<band:3>20", "", "HAWAII"},
      // Only a United States record's first state field counts, by its first two bytes.
      {c + "<band:3>10m<country:6>Canada<state:2>ON", "", "CANADA"},
      {us + "4>ohio<state:2>NY", "12m OH", "UNITED STATES"},
      // The country value is read with its length and upper-cased; a known one is not added.
      {c + "<band:3>30m<state:2>NY", "", ""},
      {c + "<country:", "", ""},
      {c + "<country:5>japan", "", ""},
      {c + "<country: 2>abc", "", "AB"},
      {c + "<country:40>Peru", "", "PERU"}};
  for (const char* value : {"2>DC", "2>4Y", "2>{Y", "2>N4", "2>N{", "2>n", "1>"}) {
    rows.push_back({us + value, "", "UNITED STATES"});
  }
  award::StateTable states;
  award::FillStateTable(states);
  for (const auto& [line, tally, country] : rows) {
    award::BandTallies tallies{};
    award::ConfirmedCountryList list = {"1", "JAPAN"};
    CountryCollector collector(list);
    if (CountConfirmedState(line, tallies)) collector.AddConfirmedLine(line);
    for (int b = 0; b < award::kBandCount; ++b) {
      for (int i = 0; i < award::kStateCount; ++i) {
        const std::string name = std::string(award::kBandNames[b]) + " " + states[i].abbreviation;
        EXPECT_EQ(tallies[b][i], name == tally ? 1 : 0) << line << ": " << name;
      }
    }
    award::ConfirmedCountryList expected = {"1", "JAPAN"};
    if (!country.empty()) expected = {"2", "JAPAN", country};
    EXPECT_EQ(list, expected) << line;
  }
  // A list one name short of its limit takes one more, then no other.
  award::ConfirmedCountryList list = {std::to_string(award::kMaxCountries - 1)};
  for (int i = 1; i < award::kMaxCountries; ++i) list[i] = "C" + std::to_string(i);
  CountryCollector collector(list);
  collector.AddConfirmedLine(c + "<country:4>Peru");
  collector.AddConfirmedLine(c + "<country:5>Chile");
  EXPECT_EQ(list[0], std::to_string(award::kMaxCountries));
  EXPECT_EQ(list[award::kMaxCountries], "PERU");
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
