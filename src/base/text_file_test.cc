#include "base/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace base {
namespace {

using Lines = std::vector<std::string>;

TEST(ParseCount, SkipsBlanksAndStopsAtTheFirstOtherCharacter) {
  const std::pair<std::string, int> cases[] = {{"", 0},
                                               {"  7", 7},
                                               {"12abc", 12},
                                               {"-3", -3},
                                               {"+4", 4},
                                               {"\t5", 0},
                                               {"99999999999", 2147483647},
                                               {"-99999999999", -2147483647 - 1}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseCount(text), value) << text;
}

TEST(LineReader, LinesEndAtCrWithOneLfAfterItAndTheDataAtCtrlZ) {
  const std::string a(65'535, 'a'), long_line(200'000, 'x');
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"a\r\n\nb", {"a", "\nb"}},  // only one LF goes with the CR
      {"a\nb\r\n", {"a\nb"}},      // a lone LF is data
      {"a\r\nb\032c\r\n", {"a", "b"}},
      {"\032a\r\n", {}},
      {std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
      // Lines longer than the read buffer, and a CR LF split over two reads.
      {long_line + "\r\n" + long_line, {long_line, long_line}},
      {a + "\r\nb\r\n", {a, "b"}},
      {a + "\r\n\032", {a}},
  };
  test::ScopedTempDir dir;
  std::string line;
  for (const auto& [content, lines] : cases) {
    test::WriteFile(dir.Join("f"), content);
    LineReader reader(dir.Join("f"));
    Lines read;
    while (reader.Next(line)) read.push_back(line);
    EXPECT_EQ(read, lines) << content.size();
  }
  EXPECT_FALSE(LineReader(dir.Join("none")).Next(line));
}

TEST(FieldReader, ReadsCommaSeparatedFieldsAndNumbers) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("f"),
                  "AL,\r\n"
                  "  \"A,Z\" , 12\r\n"
                  "A\tR,4 x,\r\n"
                  "CA, 5\n"  // a lone LF ends a record too
                  "CO, 7\032CT,\r\n");
  FieldReader reader(dir.Join("f"));
  EXPECT_FALSE(reader.AtEnd());
  std::string fields;
  for (const char* kind : {"f", "f", "f", "n", "f", "n", "f", "f", "n", "f", "n", "f", "n"}) {
    fields += (kind[0] == 'f' ? reader.ReadField() : std::to_string(reader.ReadNumber())) + "|";
  }
  // The number ends at the blank and the rest of its field goes; Ctrl-Z ends the data.
  EXPECT_EQ(fields, "AL||A,Z|12|AR|4||CA|5|CO|7||0|");
  EXPECT_TRUE(reader.AtEnd());
  test::WriteFile(dir.Join("g"), "\"AB,\r\nCD");
  FieldReader unclosed(dir.Join("g"));
  EXPECT_EQ(unclosed.ReadField(), "AB,\rCD");
  EXPECT_TRUE(unclosed.AtEnd());
  EXPECT_TRUE(FieldReader(dir.Join("none")).AtEnd());
}

TEST(FirstField, UpToTheCommaOrBlankOrWithinQuotes) {
  const std::pair<const char*, const char*> cases[] = {
      {"  W1AW, more text", "W1AW"},
      {"W1AW  ,x", "W1AW"},
      {"\"Smith, John\" rest", "Smith, John"},
      {"  \"open quote, no close", "open quote, no close"},
      {"     ", ""},
      {",x", ""},
      {"a b, c", "a b"},
      {"x\"y\", z", "x\"y\""}};
  for (const auto& [line, field] : cases) EXPECT_EQ(FirstField(line), field) << line;
  EXPECT_EQ(JoinLinesCrLf({"", "a"}), "\r\na\r\n");
}

}  // namespace
}  // namespace base
