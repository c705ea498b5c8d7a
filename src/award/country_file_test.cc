#include "award/country_file.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace award {
namespace {

class CountryFileTest : public ::testing::Test {
 protected:
  void Load(const std::string& content) {
    test::WriteFile(dir_.Join("dx.txt"), content);
    list_ = {};
    LoadCountryFile(dir_.path() + "/", list_);
  }
  test::ScopedTempDir dir_;
  ConfirmedCountryList list_;
};

TEST_F(CountryFileTest, TheCountThenTheNamesWhateverTheLineEnds) {
  const std::string mark = "\xEF\xBB\xBF";  // the UTF-8 byte order mark
  const std::string cases[] = {"2\r\nCANADA\r\nJAPAN\r\nEXTRA\r\n", "2\nCANADA\nJAPAN\n",
                               "2\rCANADA\nJAPAN", mark + "2\r\nCANADA\r\nJAPAN\r\n"};
  for (const std::string& content : cases) {
    Load(content);
    EXPECT_EQ(FormatCountryFile(list_), "2\r\nCANADA\r\nJAPAN\r\n") << content;
    EXPECT_EQ(list_[3], "") << content;
  }
}

TEST_F(CountryFileTest, TheFirstLineStaysAsReadAndMissingLinesAreEmpty) {
  Load(" 3\r\nCANADA\r\n");
  EXPECT_EQ(list_[0], " 3");
  EXPECT_EQ(list_[1], "CANADA");
  EXPECT_EQ(list_[2], "");
  Load("many\r\nCANADA\r\n");
  EXPECT_EQ(list_[0], "many");
  EXPECT_EQ(FormatCountryFile(list_), "many\r\n");
  Load("");
  EXPECT_EQ(list_[0], "");
  list_[0] = "1";
  LoadCountryFile(dir_.Join("none/"), list_);
  EXPECT_EQ(list_[0], "");
}

TEST_F(CountryFileTest, MoreThanFourHundredNamesAreReadAsFourHundred) {
  std::string content = "450\r\n";
  for (int i = 1; i <= 450; ++i) content += "C" + std::to_string(i) + "\r\n";
  Load(content);
  EXPECT_EQ(list_[0], "400");
  EXPECT_EQ(list_[400], "C400");
}

}  // namespace
}  // namespace award
