// The verdict on a reply and the facts it is drawn from, the same in pieces of every size.
#include "logbook/reply_scan.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace logbook {
namespace {

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
      ReplyScanner scanner;
      for (size_t at = 0; at < row.reply.size(); at += size) {
        scanner.Feed(row.reply.substr(at, size));
      }
      const ReplyVerdict verdict = scanner.Judge();
      EXPECT_EQ(verdict.kind, row.kind) << row.reply << " in pieces of " << size;
      EXPECT_EQ(verdict.reason, row.reason) << row.reply << " in pieces of " << size;
      EXPECT_EQ(scanner.records(), row.records) << row.reply << " in pieces of " << size;
      EXPECT_EQ(scanner.announced(), row.announced) << row.reply << " in pieces of " << size;
      EXPECT_EQ(scanner.bytes(), static_cast<std::int64_t>(row.reply.size()));
    }
  }
}

TEST(ReplyScanner, HandsOnTheNormalisedText) {
  ReplyScanner scanner;
  std::string text(scanner.Feed("COUNT=1&ADIF=&lt;eor&gt;&l"));
  text += scanner.Finish();
  EXPECT_EQ(text, "COUNT=1&ADIF=<eor>\r&l");
  EXPECT_EQ(scanner.data_start().drop(), 13u);
  EXPECT_EQ(scanner.Finish(), "");
}

}  // namespace
}  // namespace logbook
