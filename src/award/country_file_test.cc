#include "award/country_file.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace award {
namespace {

TEST(FormatCountryFile, TheCountThenTheNames) {
  ConfirmedCountryList list;
  EXPECT_EQ(FormatCountryFile(list), "\r\n");
  list[0] = "2";
  list[1] = "CANADA";
  list[2] = "JAPAN";
  list[3] = "not counted";
  EXPECT_EQ(FormatCountryFile(list), "2\r\nCANADA\r\nJAPAN\r\n");
}

class LoadCountryFileTest : public ::testing::Test {
 protected:
  void Load(const std::string& content) {
    test::WriteFile(dir_.Join("dx.txt"), content);
    LoadCountryFile(dir_.path() + "/", list_);
  }
  test::ScopedTempDir dir_;
  ConfirmedCountryList list_;
};

TEST_F(LoadCountryFileTest, TheFirstLineStaysAsReadAndMissingLinesAreEmpty) {
  Load(" 2\r\nCANADA\r\nJAPAN\r\nEXTRA\r\n");
  EXPECT_EQ(list_[0], " 2");
  EXPECT_EQ(list_[1], "CANADA");
  EXPECT_EQ(list_[2], "JAPAN");
  EXPECT_EQ(list_[3], "");

  Load("3\r\nCANADA\r\n");
  EXPECT_EQ(list_[0], "3");
  EXPECT_EQ(list_[2], "");
  EXPECT_EQ(list_[3], "");

  Load("many\r\nCANADA\r\n");
  EXPECT_EQ(list_[0], "many");
}

TEST_F(LoadCountryFileTest, ReadsFilesSavedByOtherEditorsLikeItsOwn) {
  const std::string mark = "\xEF\xBB\xBF";  // the UTF-8 byte order mark
  const std::string cases[] = {
      "2\r\nCANADA\r\nJAPAN\r\n",
      "2\nCANADA\nJAPAN\n",
      "2\rCANADA\nJAPAN",  // no line end after the last name
      mark + "2\r\nCANADA\r\nJAPAN\r\n",
      mark + "2\nCANADA\nJAPAN",
  };
  for (const std::string& content : cases) {
    list_ = {};
    Load(content);
    EXPECT_EQ(list_[0], "2") << content;
    EXPECT_EQ(list_[1], "CANADA") << content;
    EXPECT_EQ(list_[2], "JAPAN") << content;
  }
  Load("");
  EXPECT_EQ(list_[0], "");
}

TEST_F(LoadCountryFileTest, AMissingFileGivesAnEmptyList) {
  list_[0] = "1";
  LoadCountryFile(dir_.path() + "/", list_);
  EXPECT_EQ(list_[0], "");
}

TEST_F(LoadCountryFileTest, MoreThanFourHundredNamesAreReadAsFourHundred) {
  std::string content = "450\r\n";
  for (int i = 1; i <= 450; ++i) content += "C" + std::to_string(i) + "\r\n";
  Load(content);
  EXPECT_EQ(list_[0], "400");
  EXPECT_EQ(list_[400], "C400");
  EXPECT_EQ(FormatCountryFile(list_).substr(0, 8), "400\r\nC1\r");
}

}  // namespace
}  // namespace award
