#include "base/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace base {
namespace {

std::vector<std::string> Lines(const std::string& content) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("f"), content);
  LineReader reader(dir.Join("f"));
  std::vector<std::string> lines;
  std::string line;
  while (reader.Next(line)) lines.push_back(line);
  return lines;
}

using Lines_ = std::vector<std::string>;

TEST(ParseCount, SkipsBlanksAndStopsAtTheFirstOtherCharacter) {
  const std::pair<std::string, int> cases[] = {{"", 0},
                                               {"12", 12},
                                               {"  7", 7},
                                               {" 2", 2},
                                               {"12abc", 12},
                                               {"abc", 0},
                                               {"-3", -3},
                                               {"+4", 4},
                                               {"\t5", 0},
                                               {"1 2", 1},
                                               {"99999999999", 2147483647},
                                               {"-99999999999", -2147483647 - 1}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseCount(text), value) << text;
}

TEST(LineReader, LinesEndAtCrWithAnLfAfterItBelongingToTheEnd) {
  EXPECT_EQ(Lines(""), Lines_{});
  EXPECT_EQ(Lines("a"), Lines_{"a"});
  EXPECT_EQ(Lines("a\r\n"), Lines_{"a"});
  EXPECT_EQ(Lines("a\r\nb"), (Lines_{"a", "b"}));
  EXPECT_EQ(Lines("a\rb\r"), (Lines_{"a", "b"}));
  EXPECT_EQ(Lines("\r\n\r\n"), (Lines_{"", ""}));
  EXPECT_EQ(Lines("a\r\n\nb"), (Lines_{"a", "\nb"}));  // only one LF goes with the CR
  EXPECT_EQ(Lines("a\nb\r\n"), Lines_{"a\nb"});        // a lone LF is data
  EXPECT_EQ(Lines("a\r\nb\x1A"
                  "c\r\n"),
            (Lines_{"a", "b"}));
  EXPECT_EQ(Lines("\x1A"
                  "a\r\n"),
            Lines_{});
  EXPECT_EQ(Lines("a\r\n\x1A"), Lines_{"a"});
  EXPECT_EQ(Lines(std::string("a\0b\r\n", 5)), Lines_{std::string("a\0b", 3)});
}

TEST(LineReader, LinesRunAcrossTheReadBuffer) {
  // Lines longer than the buffer, and a CR LF split over two reads.
  const std::string long_line(200'000, 'x');
  EXPECT_EQ(Lines(long_line + "\r\n" + long_line), (Lines_{long_line, long_line}));
  for (size_t first : {65'534u, 65'535u, 65'536u}) {
    const std::string a(first, 'a');
    EXPECT_EQ(Lines(a + "\r\nb\r\n"), (Lines_{a, "b"})) << first;
  }
  const std::string a(65'535, 'a');
  EXPECT_EQ(Lines(a + "\r\n\x1A"), Lines_{a});
}

TEST(LineReader, AMissingFileReadsAsEmpty) {
  LineReader reader("/nonexistent/folder/file");
  std::string line;
  EXPECT_FALSE(reader.Next(line));
}

struct Field {
  bool number;
  std::string text;
  int value = 0;
};

TEST(FieldReader, ReadsCommaSeparatedFields) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("f"),
                  "AL,\r\n"
                  "AK, 3\r\n"
                  "  \"A,Z\" , 12\r\n"
                  "A\tR,4 x,\r\n"
                  "CA, 5\n"  // a lone LF ends a record too
                  "CO, 7\x1A"
                  "CT,\r\n");
  FieldReader reader(dir.Join("f"));
  EXPECT_FALSE(reader.AtEnd());
  EXPECT_EQ(reader.ReadField(), "AL");
  EXPECT_EQ(reader.ReadField(), "");
  EXPECT_EQ(reader.ReadField(), "AK");
  EXPECT_EQ(reader.ReadField(), "3");
  EXPECT_EQ(reader.ReadField(), "A,Z");
  EXPECT_EQ(reader.ReadNumber(), 12);
  EXPECT_EQ(reader.ReadField(), "AR");
  EXPECT_EQ(reader.ReadNumber(), 4);  // ends at the blank; the rest of the field goes
  EXPECT_EQ(reader.ReadField(), "");
  EXPECT_EQ(reader.ReadField(), "CA");
  EXPECT_EQ(reader.ReadNumber(), 5);
  EXPECT_EQ(reader.ReadField(), "CO");
  EXPECT_EQ(reader.ReadNumber(), 7);
  EXPECT_TRUE(reader.AtEnd());  // Ctrl-Z ends the data
  EXPECT_EQ(reader.ReadField(), "");
  EXPECT_EQ(reader.ReadNumber(), 0);
}

TEST(FieldReader, AnUnclosedQuoteRunsToTheEndAndAMissingFileIsEmpty) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("f"), "\"AB,\r\nCD");
  FieldReader reader(dir.Join("f"));
  EXPECT_EQ(reader.ReadField(), "AB,\rCD");
  EXPECT_TRUE(reader.AtEnd());
  FieldReader missing(dir.Join("none"));
  EXPECT_TRUE(missing.AtEnd());
  EXPECT_EQ(missing.ReadField(), "");
}

TEST(JoinLinesCrLf, EndsEveryLine) {
  EXPECT_EQ(JoinLinesCrLf({}), "");
  EXPECT_EQ(JoinLinesCrLf({"", "a"}), "\r\na\r\n");
}

struct FieldCase {
  const char* line;
  const char* field;
};

TEST(FirstField, Table) {
  const FieldCase cases[] = {
      {"  W1AW, more text", "W1AW"},
      {"W1AW", "W1AW"},
      {"W1AW   ", "W1AW"},
      {"W1AW  ,x", "W1AW"},
      {"\"Smith, John\" rest", "Smith, John"},
      {"  \"open quote, no close", "open quote, no close"},
      {"\"\"", ""},
      {"", ""},
      {"     ", ""},
      {",x", ""},
      {"a b, c", "a b"},
      {"x\"y\", z", "x\"y\""},
  };
  for (const FieldCase& test_case : cases) {
    EXPECT_EQ(FirstField(test_case.line), test_case.field) << "[" << test_case.line << "]";
  }
}

}  // namespace
}  // namespace base
