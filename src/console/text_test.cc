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
    ASSERT_EQ(EncodeCharacter(U'\u00E9'), "\xC3\xA9") << "the tests need a UTF-8 locale";
  }
};

TEST_F(TextTest, DecodeTextReplacesOnlyTheBadByte) {
  const std::pair<std::string, std::u32string> cases[] = {
      {"", U""},
      {std::string("W1\r\x1b\0", 5), std::u32string(U"W1\r\x1b\0", 5)},
      {"\xC3\xA4\xE2\x94\x80\xF0\x9F\x93\xBB", U"\u00E4\u2500\U0001F4FB"},
      {"a\x80z\xFF", U"a\uFFFDz\uFFFD"},
      // A cut sequence loses only its lead byte; the character after it is intact.
      {"\303A\342\224x\xC3\xA4", U"\uFFFDA\uFFFD\uFFFDx\u00E4"},
      {"ab\xE2\x94", U"ab\uFFFD\uFFFD"},
      {"\xC0\xAF/\xED\xA0\x80!", U"\uFFFD\uFFFD/\uFFFD\uFFFD\uFFFD!"},  // overlong, surrogate
  };
  for (const auto& [bytes, characters] : cases) EXPECT_EQ(DecodeText(bytes), characters) << bytes;
}

TEST_F(TextTest, EncodeGivesTheLocalesBytesOrNothing) {
  const std::string text = "DL1ABC \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x93\xBB\r";
  EXPECT_EQ(EncodeText(DecodeText(text)), text);
  const char32_t beyond_unicode[] = {U'a', 0x110000, U'b'};
  EXPECT_EQ(EncodeText(std::u32string_view(beyond_unicode, 3)), "a?b");
  EXPECT_EQ(EncodeCharacter(static_cast<char32_t>(0xD800)), std::nullopt);
#ifndef _WIN32  // a Windows program cannot change its code page once it runs
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const std::u32string decoded = DecodeText("a\xC3\xA4z");
  const std::optional<std::string> rule = EncodeCharacter(U'\u2500');
  const std::optional<std::string> letter = EncodeCharacter(U'x');
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
  EXPECT_EQ(decoded.front(), U'a');
  EXPECT_EQ(decoded.back(), U'z');
  EXPECT_EQ(rule, std::nullopt);
  EXPECT_EQ(letter, "x");
#endif
}

TEST_F(TextTest, FirstCharactersNeverEndsInsideACharacter) {
  const struct {
    std::string text;
    int characters;
    std::string expected;
  } cases[] = {
      {"ABC", 2, "AB"},
      {"\xC3\x84\xC3\x96\xC3\x9C", 2, "\xC3\x84\xC3\x96"},
      {"A\xE2\x94", 2, "A\xE2"},  // a cut-off sequence: each byte one character
      {"\xF0\x9F\x93\xBB!", 1, "\xF0\x9F\x93\xBB"},
      {"", 5, ""},
  };
  for (const auto& c : cases) {
    const CharacterPrefix prefix = FirstCharacters(c.text, c.characters);
    EXPECT_EQ(prefix.text, c.expected) << c.text;
    EXPECT_EQ(static_cast<size_t>(prefix.characters), DecodeText(prefix.text).size()) << c.text;
  }
}

}  // namespace
}  // namespace console
