#include "app/program_folder.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace app {
namespace {

struct Environment {
  std::optional<std::string> local_app_data, xdg_data_home, home, temp, tmpdir, url, ca;
};

std::optional<Places> PlacesWith(const Environment& env, base::Error& error) {
  test::ScopedEnv a("LOCALAPPDATA", env.local_app_data);
  test::ScopedEnv b("XDG_DATA_HOME", env.xdg_data_home);
  test::ScopedEnv c("HOME", env.home);
  test::ScopedEnv d("TEMP", env.temp);
  test::ScopedEnv e("TMPDIR", env.tmpdir);
  test::ScopedEnv f("STATEKEEPER_LOGBOOK_URL", env.url);
  test::ScopedEnv g("STATEKEEPER_CA_FILE", env.ca);
  return PlacesFromEnvironment(error);
}

#ifndef _WIN32  // the POSIX places: XDG_DATA_HOME, HOME, TMPDIR and "/"
TEST(PlacesFromEnvironment, ProgramFolderFollowsTheFirstVariableThatIsSetAndNotEmpty) {
  struct Case {
    Environment env;
    std::string folder;
    Places::Creation creation;
  };
  const Case cases[] = {
      {{"/l", "/x", "/h"}, "/l/Varnhold/", Places::Creation::kLastLevel},
      {{"/l/", std::nullopt, std::nullopt}, "/l/Varnhold/", Places::Creation::kLastLevel},
      {{"", "/x", "/h"}, "/x/Varnhold/", Places::Creation::kAllLevels},
      {{std::nullopt, "", "/h"}, "/h/.local/share/Varnhold/", Places::Creation::kAllLevels},
  };
  for (const Case& c : cases) {
    base::Error error;
    const std::optional<Places> places = PlacesWith(c.env, error);
    ASSERT_TRUE(places.has_value()) << error.message;
    EXPECT_EQ(places->program_folder, c.folder);
    EXPECT_EQ(places->creation, c.creation);
  }
}
#endif

TEST(PlacesFromEnvironment, NoFolderAtAllIsAOneLineError) {
  base::Error error;
  EXPECT_FALSE(PlacesWith({std::nullopt, "", std::nullopt}, error).has_value());
  EXPECT_NE(error.message.find("LOCALAPPDATA"), std::string::npos);
  EXPECT_EQ(error.message.find('\n'), std::string::npos);
}

#ifndef _WIN32  // the POSIX places: XDG_DATA_HOME, HOME, TMPDIR and "/"
TEST(PlacesFromEnvironment, DownloadFolderIsTempThenTmpdirThenTheProgramFolder) {
  base::Error error;
  EXPECT_EQ(PlacesWith({"/l", {}, {}, "/t", "/d"}, error)->temp_folder, "/t/");
  EXPECT_EQ(PlacesWith({"/l", {}, {}, "", "/d"}, error)->temp_folder, "/d/");
  EXPECT_EQ(PlacesWith({"/l", {}, {}, {}, ""}, error)->temp_folder, "/l/Varnhold/");
}
#endif

#ifndef _WIN32  // the POSIX places: XDG_DATA_HOME, HOME, TMPDIR and "/"
TEST(PlacesFromEnvironment, EndpointAndAuthoritiesCanBeReplacedForTests) {
  base::Error error;
  Places places = *PlacesWith({"/l"}, error);
  EXPECT_EQ(places.endpoint, "https://logbook.qrz.com/api");
  EXPECT_EQ(places.ca_file, "");
  places = *PlacesWith({"/l", {}, {}, {}, {}, "", ""}, error);
  EXPECT_EQ(places.endpoint, "https://logbook.qrz.com/api");
  places = *PlacesWith({"/l", {}, {}, {}, {}, "https://127.0.0.1:8443/api", "/ca.pem"}, error);
  EXPECT_EQ(places.endpoint, "https://127.0.0.1:8443/api");
  EXPECT_EQ(places.ca_file, "/ca.pem");
}
#endif

#ifdef _WIN32
TEST(PlacesFromEnvironment, OnWindowsTheProgramFolderIsUnderLocalAppData) {
  base::Error error;
  std::optional<Places> places = PlacesWith({"C:\\Users\\k\\AppData\\Local", "/x", "/h"}, error);
  ASSERT_TRUE(places.has_value()) << error.message;
  EXPECT_EQ(places->program_folder, "C:\\Users\\k\\AppData\\Local\\Varnhold\\");
  EXPECT_EQ(places->creation, Places::Creation::kLastLevel);
  places = PlacesWith({"C:\\L\\"}, error);
  EXPECT_EQ(places->program_folder, "C:\\L\\Varnhold\\");
  EXPECT_FALSE(PlacesWith({"", "/x", "/h"}, error).has_value());
  EXPECT_NE(error.message.find("LOCALAPPDATA"), std::string::npos);
}

TEST(PlacesFromEnvironment, OnWindowsTheDownloadFolderIsTempThenTheProgramFolder) {
  base::Error error;
  EXPECT_EQ(PlacesWith({"C:\\L", {}, {}, "C:\\T", "/d"}, error)->temp_folder, "C:\\T\\");
  EXPECT_EQ(PlacesWith({"C:\\L", {}, {}, "", "/d"}, error)->temp_folder, "C:\\L\\Varnhold\\");
}

TEST(PlacesFromEnvironment, OnWindowsOnlyTheEndpointCanBeReplaced) {
  base::Error error;
  Places places = *PlacesWith({"C:\\L"}, error);
  EXPECT_EQ(places.endpoint, "https://logbook.qrz.com/api");
  places =
      *PlacesWith({"C:\\L", {}, {}, {}, {}, "https://localhost:8443/api", "C:\\ca.pem"}, error);
  EXPECT_EQ(places.endpoint, "https://localhost:8443/api");
  EXPECT_EQ(places.ca_file, "");  // the system's certificate store is used
}
#endif

TEST(CreateProgramFolder, UnderLocalAppDataOnlyTheLastLevelIsCreated) {
  test::ScopedTempDir dir;
  Places places;
  places.creation = Places::Creation::kLastLevel;
  places.program_folder = dir.Join("missing/Varnhold/");
  CreateProgramFolder(places);
  EXPECT_FALSE(test::FileExists(dir.Join("missing")));

  places.program_folder = dir.Join("Varnhold/");
  CreateProgramFolder(places);
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
  EXPECT_EQ(test::FileMode(dir.Join("Varnhold")), 0700);
#endif
}

TEST(CreateProgramFolder, ElsewhereMissingParentsAreCreatedAndPrivate) {
  test::ScopedTempDir dir;
  Places places;
  places.program_folder = dir.Join(".local/share/Varnhold/");
  CreateProgramFolder(places);
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
  EXPECT_EQ(test::FileMode(dir.Join(".local/share/Varnhold")), 0700);
#endif
}

TEST(CreateProgramFolder, AFileInTheWayIsLeftAlone) {
  test::ScopedTempDir dir;
  test::WriteFile(dir.Join("Varnhold"), "not a folder");
  Places places;
  places.creation = Places::Creation::kLastLevel;
  places.program_folder = dir.Join("Varnhold/");
  CreateProgramFolder(places);
  EXPECT_EQ(test::ReadFile(dir.Join("Varnhold")), "not a folder");
}

TEST(LocalLogFileName, EveryAccountGivesANameEverySystemCanHold) {
  const std::string long_name(300, 'K');
  // "é" is two bytes in UTF-8: 195 "K"s and one "é" put the 196th byte inside it.
  const std::string accented = std::string(195, 'K') + "\xC3\xA9" + "X";
  const std::pair<std::string, std::string> cases[] = {
      {"K1ABC", "K1ABC.adi"},
      {"K1ABC/P", "K1ABC_P.adi"},
      {"a\\b:c*d?e\"f<g>h|i\tj\x7f", "a_b_c_d_e_f_g_h_i_j_.adi"},
      {"CON", "CON_.adi"},
      {"con", "con_.adi"},
      {"NUL", "NUL_.adi"},
      {"COM1", "COM1_.adi"},
      {"lpt9", "lpt9_.adi"},
      {"AUX.X", "AUX_.X.adi"},
      {"COM0", "COM0.adi"},
      {"CONSOLE", "CONSOLE.adi"},
      {long_name, std::string(196, 'K') + ".adi"},
      {accented, std::string(195, 'K') + ".adi"},
      {std::string(194, 'K') + "\xC3\xA9" + "X", std::string(194, 'K') + "\xC3\xA9.adi"},
  };
  for (const auto& [account, name] : cases) {
    EXPECT_EQ(LocalLogFileName(account), name) << account;
    EXPECT_LE(LocalLogFileName(account).size(), 200u) << account;
  }
}

}  // namespace
}  // namespace app
