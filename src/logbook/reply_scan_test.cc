// Reading what a reply says about itself: the service's answers in both spellings, a reply
// that is no logbook, the announced count, and the same facts whatever the chunking.
#include "logbook/reply_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reference_pipeline.h"

namespace logbook {
namespace {

TEST(TextCounter, CountsAcrossEveryBorder) {
  const std::string text = "x<eor><eor>y<eo<eor>r><eor";
  for (size_t size = 1; size <= text.size(); ++size) {
    TextCounter counter("<eor>");
    for (size_t at = 0; at < text.size(); at += size) counter.Look(text.substr(at, size));
    EXPECT_EQ(counter.count(), 3) << "pieces of " << size;
  }
}

TEST(ServiceAnswer, BothSpellingsAndTheReason) {
  struct Row {
    std::string front;
    ReplyKind kind;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"RESULT=OK&COUNT=3&ADIF", ReplyKind::kLogbook, ""},
      {"STATUS=AUTH&REASON=invalid api key", ReplyKind::kKeyRefused,
       "the logbook service said: invalid api key"},
      {"RESULT=AUTH", ReplyKind::kKeyRefused, "the logbook service refused the request"},
      {"STATUS=FAIL&REASON=database busy&COUNT=0", ReplyKind::kFailed,
       "the logbook service said: database busy"},
      {"RESULT=FAIL&REASON=", ReplyKind::kFailed, "the logbook service refused the request"},
      {"result=fail", ReplyKind::kLogbook, ""},  // the service writes capitals; so do we
  };
  for (const Row& row : rows) {
    const ReplyVerdict verdict = JudgeReply(row.front, 1, false);
    EXPECT_EQ(verdict.kind, row.kind) << row.front;
    EXPECT_EQ(verdict.reason, row.reason) << row.front;
  }
}

TEST(JudgeReply, NoRecordIsALogbookOnlyWhenTheServiceSaysOk) {
  EXPECT_EQ(JudgeReply("COUNT=0", 0, true).kind, ReplyKind::kLogbook);
  EXPECT_EQ(JudgeReply("COUNT=2", 2, false).kind, ReplyKind::kLogbook);
  const ReplyVerdict page = JudgeReply("<html><body>Maintenance</body></html>", 0, false);
  EXPECT_EQ(page.kind, ReplyKind::kNoLogbook);
  EXPECT_EQ(page.reason, "the reply held no logbook");
  // The service's own answer comes first, records or not.
  EXPECT_EQ(JudgeReply("RESULT=AUTH", 5, true).kind, ReplyKind::kKeyRefused);
}

TEST(ReadNumberValue, OnlyAWholeKeyWithDigits) {
  EXPECT_EQ(ReadNumberValue("RESULT=OK&COUNT=7001&ADIF", "COUNT"), 7001);
  EXPECT_EQ(ReadNumberValue("COUNT=12", "COUNT"), 12);
  EXPECT_EQ(ReadNumberValue("LOGCOUNT=5&COUNT=6", "COUNT"), 6);
  EXPECT_EQ(ReadNumberValue("COUNT=&X=1", "COUNT"), std::nullopt);
  EXPECT_EQ(ReadNumberValue("COUNT=12a", "COUNT"), std::nullopt);
  EXPECT_EQ(ReadNumberValue("COUNT=99999999999999999999", "COUNT"), std::nullopt);
  EXPECT_EQ(ReadNumberValue("RESULT=OK", "COUNT"), std::nullopt);
}

// The scanner's facts in random pieces against the whole reply read literally.
void ExpectScanMatchesWhole(const std::string& reply, std::mt19937& random) {
  ReplyScanner scanner;
  std::uniform_int_distribution<size_t> size(1, 64);
  for (size_t at = 0; at < reply.size();) {
    const size_t piece = size(random);
    scanner.Feed(std::string_view(reply).substr(at, piece));
    at += piece;
  }
  const ReplyVerdict verdict = scanner.Judge();

  // Steps 1 to 3 of the normalisation, literally: LF deleted, the two entities decoded.
  std::string text = reply;
  std::erase(text, '\n');
  for (const auto& [from, to] : {std::pair{"&lt;", "<"}, std::pair{"&gt;", ">"}}) {
    std::string out;
    size_t at = 0;
    for (size_t hit; (hit = text.find(from, at)) != std::string::npos; at = hit + 4) {
      out += text.substr(at, hit - at) + to;
    }
    text = out + text.substr(at);
  }
  int64_t records = 0;
  for (size_t at = text.find("<eor>"); at != std::string::npos; at = text.find("<eor>", at + 5)) {
    ++records;
  }
  const bool says_ok =
      text.find("RESULT=OK") != std::string::npos || text.find("STATUS=OK") != std::string::npos;
  const size_t data = text.find("=<");
  const std::string front = text.substr(0, data);

  EXPECT_EQ(scanner.records(), records) << reply;
  EXPECT_EQ(scanner.bytes(), static_cast<int64_t>(reply.size()));
  const ReplyVerdict expected = JudgeReply(front, records, says_ok);
  EXPECT_EQ(verdict.kind, expected.kind) << reply;
  EXPECT_EQ(verdict.reason, expected.reason) << reply;
  if (data != std::string::npos) {
    EXPECT_EQ(scanner.announced(), ReadNumberValue(front, "COUNT")) << reply;
  }
}

TEST(ReplyScanner, ChunkingChangesNothing) {
  std::mt19937 random(42);
  const std::vector<std::string> replies = {
      "RESULT=OK&COUNT=2&ADIF=&lt;call:4&gt;W1AW&lt;e\nor&gt;\n&lt;call:4&gt;K1AB&lt;eor&gt;",
      "<html>RESULT=O\nK</html>",
      "STATUS=FAIL&REASON=no&COUNT=0",
      "COUNT=1&ADIF=<call:1>X<eor>&RESULT=OK",
      "",
  };
  for (const std::string& reply : replies) {
    for (int round = 0; round < 20; ++round) ExpectScanMatchesWhole(reply, random);
  }
  std::uniform_int_distribution<int> pick(0, 9);
  const std::string alphabet[] = {"<", "eor", ">",         "&lt;", "&gt;",
                                  "=", "\n",  "RESULT=OK", "x",    "COUNT=3&"};
  for (int round = 0; round < 300; ++round) {
    std::string reply;
    for (int part = 0; part < 30; ++part) reply += alphabet[pick(random)];
    ExpectScanMatchesWhole(reply, random);
  }
}

TEST(ReplyScanner, AnnouncedCountOnceTheDataBegins) {
  ReplyScanner scanner;
  scanner.Feed("RESULT=OK&COUNT=5678&ADI");
  EXPECT_EQ(scanner.announced(), std::nullopt);  // the front text may not be complete yet
  scanner.Feed("F=&lt;call:4&gt;W1AW&lt;eor&gt;");
  EXPECT_EQ(scanner.announced(), 5678);
  EXPECT_EQ(scanner.records(), 1);
  EXPECT_EQ(scanner.Judge().kind, ReplyKind::kLogbook);
}

}  // namespace
}  // namespace logbook
