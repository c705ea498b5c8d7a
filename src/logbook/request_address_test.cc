#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logbook/download.h"

namespace logbook {
namespace {

TEST(RequestAddressTest, PercentEncodesTheKeyAndIsNeverCut) {
  struct Row {
    std::string key;
    std::string query;
  };
  const std::vector<Row> rows = {
      {"XXXX-YYYY-ZZZZ-AAAA", "?KEY=XXXX-YYYY-ZZZZ-AAAA&ACTION=FETCH"},
      {"azAZ09-._~", "?KEY=azAZ09-._~&ACTION=FETCH"},
      {"a&b", "?KEY=a%26b&ACTION=FETCH"},
      {"a#b c", "?KEY=a%23b%20c&ACTION=FETCH"},
      {"+/=%?", "?KEY=%2B%2F%3D%25%3F&ACTION=FETCH"},
      {"\xC3\xA9\x01\x7F", "?KEY=%C3%A9%01%7F&ACTION=FETCH"},
      {std::string("a\0b", 3), "?KEY=a%00b&ACTION=FETCH"},
      {"", "?KEY=&ACTION=FETCH"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MakeRequestAddress("https://logbook.qrz.com/api", row.key),
              "https://logbook.qrz.com/api" + row.query)
        << row.key;
  }
  const std::string long_key(300, 'K');
  const std::string address = MakeRequestAddress(kDefaultEndpoint, long_key);
  EXPECT_EQ(address, std::string(kDefaultEndpoint) + "?KEY=" + long_key + "&ACTION=FETCH");
}

}  // namespace
}  // namespace logbook
