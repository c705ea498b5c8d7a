// Whole synchronisations against the test logbook service, after which no reply stays on
// disk, and the Temporary download file, which is never written through another name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "award/lists.h"
#include "logbook/local_log.h"
#include "logbook_service.h"
#include "test_util.h"

namespace logbook {
namespace {

constexpr char kKey[] = "PAGE-KEY-0042";

// A logbook too large for one reply (the whole of it timed out, or answered 5xx by a service
// that closes every connection) comes page by page into the same files as one reply; every
// failure of the service or the way to it changes nothing; no reply is left in any case.
TEST(DownloadLogbookTest, PagesGiveTheSameFilesAndAnyFailureChangesNothing) {
  test::ScopedEnv no_proxy{"no_proxy", "127.0.0.1,localhost"};
  test::ScopedEnv no_proxy_upper{"NO_PROXY", "127.0.0.1,localhost"};
  test::LogbookService service;
  ASSERT_TRUE(service.ok());
  service.SetKey(kKey);
  ASSERT_TRUE(service.GenerateLogbook(4500, 3));
  test::ScopedTempDir dir;
  const std::string reply = dir.Join(std::string(kTemporaryFileName));
  std::map<std::string, award::ConfirmedCountryList> countries;
  std::map<std::string, std::map<std::string, std::string>> files;
  // Synchronises into `folder` (made when missing) and reads its files into files[folder].
  const auto synchronise = [&](const std::string& folder, bool cancel) {
    ::mkdir(folder.c_str(), 0700);
    SyncSettings settings;
    settings.program_folder = folder + "/";
    settings.temp_folder = dir.path() + "/";
    settings.service = {service.endpoint(), service.ca_file(), kKey, 1};
    if (cancel) settings.progress = [](const DownloadProgress&) { return https::Flow::kCancel; };
    test::WriteFile(reply, "the reply of an earlier update");
    const SyncResult result = DownloadLogbook(settings, folder + "/K1ABC.adi", countries[folder]);
    EXPECT_FALSE(test::FileExists(reply));
    files[folder].clear();
    for (const std::string& name : test::ListFolder(folder)) {
      files[folder][name] = test::ReadFile(folder + "/" + name).value_or("?");
    }
    return result;
  };
  const std::string single = dir.Join("single");
  ASSERT_TRUE(synchronise(single, false).ok());
  ASSERT_EQ(files[single].size(), 11u);  // the Local log, nine Band files, the Country file
  const auto old_files = files[single];
  const award::ConfirmedCountryList old_countries = countries[single];
  struct Row {
    std::string mode;
    SyncOutcome outcome;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"whole_stall 4000", SyncOutcome::kDone, ""},
      {"whole_504 4000", SyncOutcome::kDone, ""},
      {"status RESULT=AUTH&REASON=wrong key " + std::string(kKey), SyncOutcome::kKeyRefused,
       "the logbook service said: wrong key ***"},
      {"empty", SyncOutcome::kFailed, "the logbook service sent an empty reply"},
      {"page", SyncOutcome::kFailed, "the reply held no logbook"},
      {"page_overlap 5", SyncOutcome::kFailed,
       "the logbook service sent a page that it had sent before"},
      {"page_stall 2", SyncOutcome::kFailed, "the download stalled"},
      {"stall 30", SyncOutcome::kCancelled, "the download was cancelled"},
      {"", SyncOutcome::kFailed,  // the service stopped
       "cannot connect to the logbook service (127.0.0.1:" + service.port() + ")"},
  };
  test::WriteFile(service.state_dir() + "/page", "<html><h1>Scheduled maintenance</h1></html>");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    service.ClearLog();  // the service counts the pages in its request log
    service.SetMode(row.mode);
    if (row.mode.empty()) service.Stop();
    test::WriteFile(service.state_dir() + "/connection",
                    row.mode.starts_with("whole_504") ? "close" : "");
    // A logbook goes into a new folder, a failure into the one that holds the files.
    const std::string folder = row.outcome == SyncOutcome::kDone ? dir.Join(row.mode) : single;
    const SyncResult result = synchronise(folder, row.outcome == SyncOutcome::kCancelled);
    EXPECT_EQ(result.outcome, row.outcome);
    EXPECT_EQ(result.reason, row.reason);
    EXPECT_EQ(files[folder], old_files);
    EXPECT_EQ(countries[folder], old_countries);
  }
}

// Refused before anything is asked when the name is a link, a FIFO or a folder; an existing
// file of this user is taken (and removed when the download fails on the closed port).
TEST(TemporaryFileTest, IsNeverWrittenThroughAnotherName) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join(std::string(kTemporaryFileName));
  const std::string other = dir.Join("other");
  int reader = -1;
  const std::vector<std::pair<std::function<void()>, std::string>> rows = {
      {[&] { ::symlink(other.c_str(), path.c_str()); }, "the temporary file is a symbolic link: "},
      {[&] { ::link(other.c_str(), path.c_str()); },
       "the temporary file has other names (hard links): "},
      {[&] { ::mkfifo(path.c_str(), 0600); }, "the temporary file is not a regular file: "},
      {[&] {
         ::mkfifo(path.c_str(), 0600);
         reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
       },
       "the temporary file is not a regular file: "},
      {[&] { ::mkdir(path.c_str(), 0700); }, "the temporary file is not a regular file: "},
      {[&] {
         test::WriteFile(path, "earlier");
         ::chmod(path.c_str(), 0644);
       },
       "cannot connect to the logbook service"},
  };
  const https::Service closed{"https://127.0.0.1:1/api", "", kKey};
  for (const auto& [make, reason] : rows) {
    SCOPED_TRACE(reason);
    test::WriteFile(other, "precious");
    make();
    EXPECT_TRUE(FetchLogbook(closed, path, {}).reason.starts_with(reason));
    EXPECT_EQ(test::ReadFile(other), "precious");
    char byte;
    EXPECT_TRUE(reader < 0 || ::read(reader, &byte, 1) <= 0);  // nothing went into the FIFO
    if (reader >= 0) ::close(std::exchange(reader, -1));
    std::filesystem::remove_all(path);
  }
  const std::string missing = dir.Join("missing/x.tmp");
  EXPECT_EQ(FetchLogbook(closed, missing, {}).reason,
            "cannot open the temporary file " + missing + ": No such file or directory");
}

}  // namespace
}  // namespace logbook
