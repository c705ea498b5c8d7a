// The places of the program's files, the Program folder, the Local log's name and the
// Settings file.
#include "app/program_folder.h"

#include <gtest/gtest.h>

#include <list>

#include "app/settings.h"
#include "test_util.h"

namespace app {
namespace {

// The places the environment gives, as "folder|temporary folder|address|authorities|A or
// L" (all levels created, or the last), or the error.
std::string PlacesWith(const std::vector<std::optional<std::string>>& values) {
  const char* const kNames[] = {
      "LOCALAPPDATA",       "XDG_DATA_HOME", "HOME", "TEMP", "TMPDIR", "STATEKEEPER_LOGBOOK_URL",
      "STATEKEEPER_CA_FILE"};
  std::list<test::ScopedEnv> environment;
  for (size_t i = 0; i < std::size(kNames); ++i) {
    environment.emplace_back(kNames[i], i < values.size() ? values[i] : std::nullopt);
  }
  base::Error error;
  const std::optional<Places> places = PlacesFromEnvironment(error);
  if (!places) return error.message;
  return places->program_folder + "|" + places->temp_folder + "|" + places->endpoint + "|" +
         places->ca_file + (places->creation == Places::Creation::kAllLevels ? "|A" : "|L");
}

TEST(PlacesFromEnvironment, FollowsTheFirstVariableThatIsSetAndNotEmpty) {
  const std::pair<std::vector<std::optional<std::string>>, std::string> cases[] = {
#ifndef _WIN32  // XDG_DATA_HOME, HOME, TMPDIR and the authorities for tests
      {{"/l", "/x", "/h"}, "/l/Varnhold/|/l/Varnhold/|https://logbook.qrz.com/api||L"},
      {{"/l/", {}, {}, "/t", "/d"}, "/l/Varnhold/|/t/|https://logbook.qrz.com/api||L"},
      {{"", "/x", "/h", "", "/d", "", ""}, "/x/Varnhold/|/d/|https://logbook.qrz.com/api||A"},
      {{{}, "", "/h", {}, "", "https://127.0.0.1:8443/api", "/ca.pem"},
       "/h/.local/share/Varnhold/|/h/.local/share/Varnhold/|https://127.0.0.1:8443/api|/ca.pem|A"},
#else  // only LOCALAPPDATA, TEMP and the address
      {{"C:\\L", "/x", "/h", "C:\\T", "/d"},
       "C:\\L\\Varnhold\\|C:\\T\\|https://logbook.qrz.com/api||L"},
      {{"C:\\L\\", {}, {}, "", "/d", "https://localhost:8443/api", "C:\\ca.pem"},
       "C:\\L\\Varnhold\\|C:\\L\\Varnhold\\|https://localhost:8443/api||L"},
#endif
  };
  for (const auto& [values, places] : cases) EXPECT_EQ(PlacesWith(values), places);
  const std::string error = PlacesWith({{}, "", {}});
  EXPECT_NE(error.find("LOCALAPPDATA"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST(CreateProgramFolder, CreatesThePrivateFolderAndItsParentsOnlyWhereAsked) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("file"), "not a folder");
  const std::pair<std::string, Places::Creation> cases[] = {
      {"missing/Varnhold/", Places::Creation::kLastLevel},       // not created
      {"Varnhold/", Places::Creation::kLastLevel},               // created
      {".local/share/Varnhold/", Places::Creation::kAllLevels},  // created with its parents
      {"file/", Places::Creation::kLastLevel}};                  // left alone
  for (const auto& [folder, creation] : cases) {
    Places places;
    places.program_folder = dir.Join(folder);
    places.creation = creation;
    CreateProgramFolder(places);
  }
  EXPECT_FALSE(test::FileExists(dir.Join("missing")));
  EXPECT_EQ(test::ReadFile(dir.Join("file")), "not a folder");
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
  EXPECT_EQ(test::FileMode(dir.Join("Varnhold")), 0700);
  EXPECT_EQ(test::FileMode(dir.Join(".local/share/Varnhold")), 0700);
#endif
}

TEST(LocalLogFileName, EveryAccountGivesANameEverySystemCanHold) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\\b:c*d?e\"f<g>h|i\tj\x7f", "a_b_c_d_e_f_g_h_i_j_.adi"},
      {"con", "con_.adi"},
      {"lpt9", "lpt9_.adi"},
      {"AUX.X", "AUX_.X.adi"},
      {"COM0", "COM0.adi"},
      {"CONSOLE", "CONSOLE.adi"},
      {std::string(300, 'K'), std::string(196, 'K') + ".adi"},
      // "é" is two bytes: the 196th byte would fall inside it.
      {std::string(195, 'K') + "\xC3\xA9X", std::string(195, 'K') + ".adi"},
      {std::string(194, 'K') + "\xC3\xA9X", std::string(194, 'K') + "\xC3\xA9.adi"},
  };
  for (const auto& [account, name] : cases) EXPECT_EQ(LocalLogFileName(account), name) << account;
}

// Writing shows in the end-to-end first run; here what is read of a file edited by hand.
TEST(Settings, TheFirstTwoLinesAreRead) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("Keeper.ini");
  EXPECT_FALSE(SettingsFileReadable(path));
  EXPECT_EQ(ReadSettings(path).account_name, "");
  const std::string long_line(10000, 'k');
  const std::string cases[][3] = {
      {"k1abc\r\nKEY-1\r\nmore\r\n", "k1abc", "KEY-1"},  // not upper-cased when read
      {"K1ABC", "K1ABC", ""},
      {"K1ABC\rKEY\r", "K1ABC", "KEY"},                  // CR alone ends a line
      {"K1ABC\x1AKEY\r\n", "K1ABC", ""},                 // Ctrl-Z ends the data
      {"K1ABC\nKEY", "K1ABC", "KEY"},                    // a file saved by a POSIX editor
      {"\xEF\xBB\xBFK1ABC\r\nKEY\r\n", "K1ABC", "KEY"},  // a byte order mark is skipped
      {long_line + "\r\n" + long_line, long_line, long_line},
  };
  for (const auto& [content, account_name, api_key] : cases) {
    test::WriteFile(path, content);
    EXPECT_TRUE(SettingsFileReadable(path));
    const Settings settings = ReadSettings(path);
    EXPECT_EQ(settings.account_name + "|" + settings.api_key, account_name + "|" + api_key)
        << content.substr(0, 40);
  }
}

}  // namespace
}  // namespace app
