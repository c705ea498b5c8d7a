#include "console/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace console {
namespace {

// The tests run in a UTF-8 locale taken from the environment (LC_ALL=C.UTF-8).
class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    ASSERT_EQ(EncodeCharacter(U'\u00E9'), "\xC3\xA9")
        << "the tests need UTF-8 text: LC_ALL=C.UTF-8, and on Windows the program's manifest";
  }
};

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u32string characters;
};

TEST_F(TextTest, DecodeText) {
  const DecodeCase cases[] = {
      {"empty", "", U""},
      {"ascii", "W1AW, 73", U"W1AW, 73"},
      {"control codes stay", "\r\t\x1b", U"\r\t\x1b"},
      {"nul inside", std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
      {"two bytes", "\xC3\xA4", U"\u00E4"},
      {"three bytes", "\xE2\x94\x80", U"\u2500"},
      {"four bytes", "\xF0\x9F\x93\xBB", U"\U0001F4FB"},
      {"stray continuation", "a\x80z", U"a\uFFFDz"},
      {"invalid lead byte",
       "\xFF\xFE"
       "ok",
       U"\uFFFD\uFFFDok"},
      // A cut sequence loses only its lead byte; the character after it is intact.
      {"cut two-byte sequence",
       "\xC3"
       "A",
       U"\uFFFDA"},
      {"cut three-byte sequence",
       "\xE2\x94"
       "x\xC3\xA4",
       U"\uFFFD\uFFFDx\u00E4"},
      {"cut at the end", "ab\xE2\x94", U"ab\uFFFD\uFFFD"},
      {"overlong slash", "\xC0\xAF/", U"\uFFFD\uFFFD/"},
      {"surrogate", "\xED\xA0\x80!", U"\uFFFD\uFFFD\uFFFD!"},
  };
  for (const DecodeCase& test_case : cases) {
    EXPECT_EQ(DecodeText(test_case.bytes), test_case.characters) << test_case.name;
    EXPECT_EQ(CharacterCount(test_case.bytes), test_case.characters.size()) << test_case.name;
  }
}

TEST_F(TextTest, EncodeCharacter) {
  EXPECT_EQ(EncodeCharacter(U'A'), "A");
  EXPECT_EQ(EncodeCharacter(U'\u00E4'), "\xC3\xA4");
  EXPECT_EQ(EncodeCharacter(U'\u2500'), "\xE2\x94\x80");
  EXPECT_EQ(EncodeCharacter(U'\U0001F4FB'), "\xF0\x9F\x93\xBB");
  EXPECT_EQ(EncodeCharacter(U'\r'), "\r");
  EXPECT_EQ(EncodeCharacter(static_cast<char32_t>(0x110000)), std::nullopt);
  EXPECT_EQ(EncodeCharacter(static_cast<char32_t>(0xD800)), std::nullopt);
}

TEST_F(TextTest, FirstCharactersNeverEndsInsideACharacter) {
  struct Case {
    std::string text;
    int characters;
    std::string expected;
  };
  const Case cases[] = {
      {"ABC", 2, "AB"},
      {"\xC3\x84\xC3\x96\xC3\x9C", 2, "\xC3\x84\xC3\x96"},  // ÄÖÜ
      {"A\xE2\x94", 2, "A\xE2"},                     // a cut-off sequence: each byte one character
      {"\x80\x80Z", 2, "\x80\x80"},                  // stray continuation bytes
      {"\xE2\x82\xACuro", 1, "\xE2\x82\xAC"},        // €
      {"\xF0\x9F\x93\xBB!", 1, "\xF0\x9F\x93\xBB"},  // beyond the 16-bit characters
      {"", 5, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const CharacterPrefix prefix = FirstCharacters(c.text, c.characters);
    EXPECT_EQ(prefix.text, c.expected);
    EXPECT_EQ(static_cast<size_t>(prefix.characters), DecodeText(prefix.text).size());
  }
}

TEST_F(TextTest, EncodeTextRoundTrips) {
  const std::string text = "DL1ABC \xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC \xF0\x9F\x93\xBB";
  EXPECT_EQ(EncodeText(DecodeText(text)), text);
  const char32_t beyond_unicode[] = {U'a', 0x110000, U'b'};
  EXPECT_EQ(EncodeText(std::u32string_view(beyond_unicode, 3)), "a?b");
}

#ifndef _WIN32  // a Windows program cannot change its code page once it runs
TEST_F(TextTest, AsciiLocaleTakesOnlyAscii) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const std::u32string decoded = DecodeText("a\xC3\xA4z");
  const std::optional<std::string> rule = EncodeCharacter(U'\u2500');
  const std::optional<std::string> letter = EncodeCharacter(U'x');
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
  EXPECT_EQ(decoded.front(), U'a');
  EXPECT_EQ(decoded.back(), U'z');
  EXPECT_EQ(rule, std::nullopt);
  EXPECT_EQ(letter, "x");
}
#endif

}  // namespace
}  // namespace console
