#include "app/settings.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace app {
namespace {

TEST(WriteSettings, TwoCrLfLinesPrivateToTheUserAndNoTemporaryLeft) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("Keeper.ini");
  ASSERT_FALSE(WriteSettings(path, {"K1ABC", "AB12-CD34, \"x\""}));
  EXPECT_EQ(test::ReadFile(path), "K1ABC\r\nAB12-CD34, \"x\"\r\n");
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
  EXPECT_EQ(test::FileMode(path), 0600);
#endif
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"Keeper.ini"});

  ASSERT_FALSE(WriteSettings(path, {"", ""}));
  EXPECT_EQ(test::ReadFile(path), "\r\n\r\n");
}

TEST(WriteSettings, AFolderThatIsAFileFailsAndCreatesNothing) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("Varnhold"), "a file");
  EXPECT_TRUE(WriteSettings(dir.Join("Varnhold/Keeper.ini"), {"K1ABC", "KEY"}));
  EXPECT_EQ(test::ReadFile(dir.Join("Varnhold")), "a file");
}

TEST(ReadSettings, TakesTheFirstTwoLinesAsTheyStand) {
  struct Case {
    std::string content;
    std::string account_name;
    std::string api_key;
  };
  const std::string long_line(10000, 'k');
  const Case cases[] = {
      {"K1ABC\r\nKEY-1\r\nmore\r\n", "K1ABC", "KEY-1"},
      {"k1abc\r\nKEY\r\n", "k1abc", "KEY"},  // not upper-cased when read
      {"K1ABC\r\n", "K1ABC", ""},
      {"K1ABC", "K1ABC", ""},
      {"", "", ""},
      {"K1ABC\rKEY\r", "K1ABC", "KEY"},   // CR alone ends a line
      {"K1ABC\x1AKEY\r\n", "K1ABC", ""},  // Ctrl-Z ends the data
      {"K1ABC\nKEY\n", "K1ABC", "KEY"},   // a file saved by a POSIX editor
      {"K1ABC\nKEY", "K1ABC", "KEY"},
      {"K1ABC\r\nKEY", "K1ABC", "KEY"},
      {"\xEF\xBB\xBFK1ABC\r\nKEY\r\n", "K1ABC", "KEY"},  // a byte order mark is skipped
      {long_line + "\r\n" + long_line, long_line, long_line},
  };
  for (const Case& c : cases) {
    test::ScopedTempDir dir;
    test::WriteFile(dir.Join("Keeper.ini"), c.content);
    const Settings settings = ReadSettings(dir.Join("Keeper.ini"));
    EXPECT_EQ(settings.account_name, c.account_name) << c.content.substr(0, 40);
    EXPECT_EQ(settings.api_key, c.api_key) << c.content.substr(0, 40);
  }
}

TEST(ReadSettings, AMissingFileIsNotReadableAndReadsAsEmpty) {
  test::ScopedTempDir dir;
  EXPECT_FALSE(SettingsFileReadable(dir.Join("Keeper.ini")));
  const Settings settings = ReadSettings(dir.Join("Keeper.ini"));
  EXPECT_EQ(settings.account_name, "");
  EXPECT_EQ(settings.api_key, "");
  test::WriteFile(dir.Join("Keeper.ini"), "");
  EXPECT_TRUE(SettingsFileReadable(dir.Join("Keeper.ini")));
}

}  // namespace
}  // namespace app
