#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "https/download.h"

namespace https {
namespace {

TEST(RequestBodyTest, PercentEncodesTheKeyAndIsNeverCut) {
  struct Row {
    std::string key;
    std::string option;
    std::string body;
  };
  const std::vector<Row> rows = {
      {"XXXX-YYYY-ZZZZ-AAAA", "", "KEY=XXXX-YYYY-ZZZZ-AAAA&ACTION=FETCH"},
      {"azAZ09-._~", "", "KEY=azAZ09-._~&ACTION=FETCH"},
      {"a&b", "", "KEY=a%26b&ACTION=FETCH"},
      {"a#b c", "", "KEY=a%23b%20c&ACTION=FETCH"},
      {"+/=%?", "", "KEY=%2B%2F%3D%25%3F&ACTION=FETCH"},
      {"\xC3\xA9\x01\x7F", "", "KEY=%C3%A9%01%7F&ACTION=FETCH"},
      {std::string("a\0b", 3), "", "KEY=a%00b&ACTION=FETCH"},
      {"", "", "KEY=&ACTION=FETCH"},
      {"a&b", "MAX:2000,AFTERLOGID:0", "KEY=a%26b&ACTION=FETCH&OPTION=MAX:2000,AFTERLOGID:0"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MakeRequestBody(row.key, row.option), row.body) << row.key;
  }
  const std::string long_key(300, 'K');
  EXPECT_EQ(MakeRequestBody(long_key, ""), "KEY=" + long_key + "&ACTION=FETCH");
}

}  // namespace
}  // namespace https
