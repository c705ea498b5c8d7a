// The form body that carries the key, percent-encoded, and the scrubbing of the key from
// texts in both of its forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "https/download.h"

namespace https {
namespace {

TEST(RequestForm, TheKeyIsPercentEncodedInTheBodyAndScrubbedInBothForms) {
  struct Row {
    std::string key;
    std::string option;
    std::string body;
  };
  const std::vector<Row> rows = {
      {"azAZ09-._~", "", "KEY=azAZ09-._~&ACTION=FETCH"},
      {"a#b c&+/=%?", "", "KEY=a%23b%20c%26%2B%2F%3D%25%3F&ACTION=FETCH"},
      {std::string("\xC3\xA9\x01\x7F\0", 5), "", "KEY=%C3%A9%01%7F%00&ACTION=FETCH"},
      {"", "", "KEY=&ACTION=FETCH"},
      {"a&b", "MAX:2000,AFTERLOGID:0", "KEY=a%26b&ACTION=FETCH&OPTION=MAX:2000,AFTERLOGID:0"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MakeRequestBody(row.key, row.option), row.body) << row.key;
    // Every occurrence, as it is and percent-encoded, goes; an empty key changes nothing.
    std::string text = row.body + " " + row.key + row.key;
    ScrubKey(text, row.key);
    const std::string option = row.option.empty() ? "" : "&OPTION=" + row.option;
    EXPECT_EQ(text,
              row.key.empty() ? "KEY=&ACTION=FETCH " : "KEY=***&ACTION=FETCH" + option + " ******");
  }
}

}  // namespace
}  // namespace https
