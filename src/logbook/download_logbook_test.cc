// Whole synchronisations against the test logbook service: a logbook too large for one reply
// comes page by page into the very same files, a failure changes nothing, no reply stays on
// disk, and the Temporary download file is never written through another name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
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

// The values of a field ("option", "connection") in the request log, one a request.
std::vector<std::string> Values(const std::string& log, const std::string& field) {
  std::vector<std::string> values;
  const std::string name = " " + field + "=";
  for (size_t at = log.find(name); at != std::string::npos; at = log.find(name, at + 1)) {
    const size_t start = at + name.size();
    values.push_back(log.substr(start, log.find(' ', start) - start));
  }
  return values;
}

class DownloadLogbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.ok());
    service_.SetKey(kKey);
    ASSERT_TRUE(service_.GenerateLogbook(4500, 3));
  }

  // Synchronises into `folder` (made when missing) and reads its files into files_[folder];
  // no reply is left afterwards.
  SyncResult Synchronise(const std::string& folder, bool cancel = false) {
    ::mkdir(folder.c_str(), 0700);
    SyncSettings settings;
    settings.program_folder = folder + "/";
    settings.temp_folder = dir_.path() + "/";
    settings.service = {service_.endpoint(), service_.ca_file(), kKey, 1};
    if (cancel) settings.progress = [](const DownloadProgress&) { return https::Flow::kCancel; };
    test::WriteFile(reply_, "the reply of an earlier update");
    const SyncResult result = DownloadLogbook(settings, folder + "/K1ABC.adi", countries_[folder]);
    EXPECT_FALSE(test::FileExists(reply_));
    files_[folder].clear();
    for (const std::string& name : test::ListFolder(folder)) {
      files_[folder][name] = test::ReadFile(folder + "/" + name).value_or("?");
    }
    return result;
  }

  test::ScopedTempDir dir_;
  const std::string reply_ = dir_.Join(std::string(kTemporaryFileName));
  test::ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  test::ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  test::LogbookService service_;
  std::map<std::string, award::ConfirmedCountryList> countries_;
  std::map<std::string, std::map<std::string, std::string>> files_;
};

TEST_F(DownloadLogbookTest, ALogbookTooLargeForOneReplyComesPageByPage) {
  const std::string single = dir_.Join("single");
  ASSERT_TRUE(Synchronise(single).ok());
  ASSERT_EQ(files_[single].size(), 11u);  // the Local log, nine Band files, the Country file
  // After a time-out, and after a 5xx answer from a service that closes every connection.
  for (const bool closes : {false, true}) {
    service_.ClearLog();
    service_.SetMode(closes ? "whole_504 4000" : "whole_stall 4000");
    test::WriteFile(service_.state_dir() + "/connection", closes ? "close" : "");
    const std::string paged = dir_.Join(closes ? "closing" : "paged");
    const SyncResult result = Synchronise(paged);
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(files_[paged], files_[single]);
    EXPECT_EQ(countries_[paged], countries_[single]);
    const std::string log = service_.RequestLog();
    EXPECT_EQ(Values(log, "option").size(), 4u) << log;  // the whole logbook, three pages
    const std::vector<std::string> connections = Values(log, "connection");
    EXPECT_EQ(std::set(connections.begin(), connections.end()).size(), closes ? 4u : 2u) << log;
  }
}

TEST_F(DownloadLogbookTest, AnyFailureChangesNothing) {
  const std::string folder = dir_.Join("program");
  ASSERT_TRUE(Synchronise(folder).ok());
  const auto files = files_[folder];
  const award::ConfirmedCountryList countries = countries_[folder];
  struct Row {
    std::string mode;
    SyncOutcome outcome;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"status RESULT=AUTH&REASON=wrong key " + std::string(kKey), SyncOutcome::kKeyRefused,
       "the logbook service said: wrong key ***"},
      {"empty", SyncOutcome::kFailed, "the logbook service sent an empty reply"},
      {"page", SyncOutcome::kFailed, "the reply held no logbook"},
      {"page_overlap 5", SyncOutcome::kFailed,
       "the logbook service sent a page that it had sent before"},
      {"page_stall 2", SyncOutcome::kFailed, "the download stalled"},
      {"fail500", SyncOutcome::kFailed, "the logbook service answered HTTP 500"},
      {"stall 30", SyncOutcome::kCancelled, "the download was cancelled"},
  };
  test::WriteFile(service_.state_dir() + "/page", "<html><h1>Scheduled maintenance</h1></html>");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    service_.ClearLog();  // the service counts the pages in its request log
    service_.SetMode(row.mode);
    const SyncResult result = Synchronise(folder, row.outcome == SyncOutcome::kCancelled);
    EXPECT_EQ(result.outcome, row.outcome);
    EXPECT_EQ(result.reason, row.reason);
    EXPECT_EQ(files_[folder], files);
    EXPECT_EQ(countries_[folder], countries);
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
