// The places of the program's files, the Program folder, the Local log's name and the
// Settings file.
#include "app/program_folder.h"

#include <gtest/gtest.h>

#include "app/settings.h"
#include "test_util.h"

namespace app {
namespace {

struct Environment {
  std::optional<std::string> local_app_data, xdg_data_home, home, temp, tmpdir, url, ca;
};

std::optional<Places> PlacesWith(const Environment& env) {
  test::ScopedEnv a("LOCALAPPDATA", env.local_app_data);
  test::ScopedEnv b("XDG_DATA_HOME", env.xdg_data_home);
  test::ScopedEnv c("HOME", env.home);
  test::ScopedEnv d("TEMP", env.temp);
  test::ScopedEnv e("TMPDIR", env.tmpdir);
  test::ScopedEnv f("STATEKEEPER_LOGBOOK_URL", env.url);
  test::ScopedEnv g("STATEKEEPER_CA_FILE", env.ca);
  base::Error error;
  std::optional<Places> places = PlacesFromEnvironment(error);
  if (places) return places;
  Places failed;  // the error in place of the folder
  failed.program_folder = error.message;
  return failed;
}

TEST(PlacesFromEnvironment, FollowsTheFirstVariableThatIsSetAndNotEmpty) {
  constexpr auto kLast = Places::Creation::kLastLevel;
  [[maybe_unused]] constexpr auto kAll = Places::Creation::kAllLevels;
  const std::string qrz = "https://logbook.qrz.com/api";
  struct Case {
    Environment env;
    Places places;
  };
#ifndef _WIN32  // XDG_DATA_HOME, HOME, TMPDIR and the authorities for tests
  const Case cases[] = {
      {{"/l", "/x", "/h"}, {"/l/Varnhold/", "/l/Varnhold/", qrz, "", kLast}},
      {{"/l/", {}, {}, "/t", "/d"}, {"/l/Varnhold/", "/t/", qrz, "", kLast}},
      {{"", "/x", "/h", "", "/d", "", ""}, {"/x/Varnhold/", "/d/", qrz, "", kAll}},
      {{{}, "", "/h", {}, "", "https://127.0.0.1:8443/api", "/ca.pem"},
       {"/h/.local/share/Varnhold/", "/h/.local/share/Varnhold/", "https://127.0.0.1:8443/api",
        "/ca.pem", kAll}},
  };
#else  // only LOCALAPPDATA, TEMP and the address
  const Case cases[] = {
      {{"C:\\L", "/x", "/h", "C:\\T", "/d"}, {"C:\\L\\Varnhold\\", "C:\\T\\", qrz, "", kLast}},
      {{"C:\\L\\", {}, {}, "", "/d", "https://localhost:8443/api", "C:\\ca.pem"},
       {"C:\\L\\Varnhold\\", "C:\\L\\Varnhold\\", "https://localhost:8443/api", "", kLast}},
  };
#endif
  for (const Case& c : cases) {
    const Places places = *PlacesWith(c.env);
    EXPECT_EQ(places.program_folder, c.places.program_folder);
    EXPECT_EQ(places.temp_folder, c.places.temp_folder);
    EXPECT_EQ(places.endpoint, c.places.endpoint);
    EXPECT_EQ(places.ca_file, c.places.ca_file);
    EXPECT_EQ(places.creation, c.places.creation);
  }
  const std::string error = PlacesWith({{}, "", {}})->program_folder;
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
      {"K1ABC", "K1ABC.adi"},
      {"K1ABC/P", "K1ABC_P.adi"},
      {"a\\b:c*d?e\"f<g>h|i\tj\x7f", "a_b_c_d_e_f_g_h_i_j_.adi"},
      {"CON", "CON_.adi"},
      {"con", "con_.adi"},
      {"COM1", "COM1_.adi"},
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

TEST(Settings, TwoPrivateCrLfLinesAreWrittenAndTheFirstTwoLinesRead) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("Keeper.ini");
  EXPECT_FALSE(SettingsFileReadable(path));
  EXPECT_EQ(ReadSettings(path).account_name, "");
  ASSERT_FALSE(WriteSettings(path, {"K1ABC", "AB12-CD34, \"x\""}));
  EXPECT_EQ(test::ReadFile(path), "K1ABC\r\nAB12-CD34, \"x\"\r\n");
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
  EXPECT_EQ(test::FileMode(path), 0600);
#endif
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"Keeper.ini"});
  test::WriteFile(dir.Join("Varnhold"), "a file");
  EXPECT_TRUE(WriteSettings(dir.Join("Varnhold/Keeper.ini"), {"K1ABC", "KEY"}));

  const std::string long_line(10000, 'k');
  const std::string cases[][3] = {
      {"k1abc\r\nKEY-1\r\nmore\r\n", "k1abc", "KEY-1"},  // not upper-cased when read
      {"K1ABC", "K1ABC", ""},
      {"", "", ""},
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
    EXPECT_EQ(settings.account_name, account_name) << content.substr(0, 40);
    EXPECT_EQ(settings.api_key, api_key) << content.substr(0, 40);
  }
}

}  // namespace
}  // namespace app
