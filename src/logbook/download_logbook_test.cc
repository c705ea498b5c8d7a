// A whole synchronisation's data work against the test logbook service: a logbook too
// large for one reply comes page by page into the very same files, any failure changes
// nothing, no reply stays on disk whatever the outcome, and the Temporary download file is
// never written through another name.
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

// Every file of a folder, by name.
std::map<std::string, std::string> ReadAll(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : test::ListFolder(folder)) {
    files[name] = test::ReadFile(folder + "/" + name).value_or("?");
  }
  return files;
}

// The values of a field ("option", "connection") of the request log, one a request.
std::vector<std::string> Values(const std::string& request_log, const std::string& field) {
  std::vector<std::string> values;
  const std::string name = " " + field + "=";
  for (size_t at = request_log.find(name); at != std::string::npos;
       at = request_log.find(name, at + 1)) {
    const size_t start = at + name.size();
    values.push_back(request_log.substr(start, request_log.find(' ', start) - start));
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

  // One synchronisation into `folder` (made when missing); afterwards no reply is left.
  SyncResult Synchronise(const std::string& folder, bool cancel = false) {
    ::mkdir(folder.c_str(), 0700);
    SyncSettings settings;
    settings.program_folder = folder + "/";
    settings.temp_folder = dir_.path() + "/";
    settings.service = {service_.endpoint(), service_.ca_file(), kKey, 1};
    if (cancel) {
      settings.progress = [](const DownloadProgress&) { return https::Flow::kCancel; };
    }
    test::WriteFile(reply_, "the reply of an earlier update");
    const SyncResult result = DownloadLogbook(settings, folder + "/K1ABC.adi", countries_[folder]);
    EXPECT_FALSE(test::FileExists(reply_));
    return result;
  }

  test::ScopedTempDir dir_;
  const std::string reply_ = dir_.Join(std::string(kTemporaryFileName));
  test::ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  test::ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  test::LogbookService service_;
  std::map<std::string, award::ConfirmedCountryList> countries_;
};

TEST_F(DownloadLogbookTest, ALogbookTooLargeForOneReplyComesPageByPage) {
  const std::string single = dir_.Join("single");
  ASSERT_TRUE(Synchronise(single).ok());
  const auto expected = ReadAll(single);
  ASSERT_EQ(expected.size(), 11u);  // the Local log, nine Band files, the Country file
  // After a time-out, and after a 5xx answer from a service that closes every connection
  // (the pages then take a new one each); the requests themselves are download_test.cc's.
  for (const bool closes : {false, true}) {
    service_.ClearLog();
    service_.SetMode(closes ? "whole_504 4000" : "whole_stall 4000");
    test::WriteFile(service_.state_dir() + "/connection", closes ? "close" : "");
    const std::string paged = dir_.Join(closes ? "paged, closing" : "paged");
    const SyncResult result = Synchronise(paged);
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(ReadAll(paged), expected);
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
  const auto before = ReadAll(folder);
  const award::ConfirmedCountryList countries_before = countries_[folder];
  struct Row {
    std::string mode;
    SyncOutcome outcome;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"status RESULT=AUTH&REASON=wrong key " + std::string(kKey), SyncOutcome::kKeyRefused,
       "the logbook service said: wrong key ***"},
      {"page", SyncOutcome::kFailed, "the reply held no logbook"},
      {"page_overlap 5", SyncOutcome::kFailed,
       "the logbook service sent a page that it had sent before"},
      {"page_stall 2", SyncOutcome::kFailed, "the download stalled"},
      {"fail500", SyncOutcome::kFailed, ""},
      {"stall 30", SyncOutcome::kCancelled, ""},
  };
  test::WriteFile(service_.state_dir() + "/page", "<html><h1>Scheduled maintenance</h1></html>");
  for (const Row& row : rows) {
    service_.ClearLog();  // the service counts the pages in its request log
    service_.SetMode(row.mode);
    const SyncResult result = Synchronise(folder, row.outcome == SyncOutcome::kCancelled);
    EXPECT_EQ(result.outcome, row.outcome) << row.mode;
    if (!row.reason.empty()) {
      EXPECT_EQ(result.reason, row.reason) << row.mode;
    }
    EXPECT_EQ(ReadAll(folder), before) << row.mode;
    EXPECT_EQ(countries_[folder], countries_before) << row.mode;
  }
}

// The Temporary download file is refused before anything is asked of the service when its
// name is another file's, a link, a FIFO or a folder; an existing file of this user is
// taken (and the download then fails on the closed port, removing it).
TEST(TemporaryFileTest, IsNeverWrittenThroughAnotherName) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join(std::string(kTemporaryFileName));
  const std::string other = dir.Join("other");
  int reader = -1;
  struct Row {
    std::string what;
    std::function<void()> make;
    std::string reason;  // followed by the path
  };
  const std::vector<Row> rows = {
      {"symbolic link", [&] { ::symlink(other.c_str(), path.c_str()); },
       "the temporary file is a symbolic link: "},
      {"dangling link", [&] { ::symlink(dir.Join("absent").c_str(), path.c_str()); },
       "the temporary file is a symbolic link: "},
      {"hard link", [&] { ::link(other.c_str(), path.c_str()); },
       "the temporary file has other names (hard links): "},
      {"FIFO", [&] { ::mkfifo(path.c_str(), 0600); }, "the temporary file is not a regular file: "},
      {"FIFO with a reader",
       [&] {
         ::mkfifo(path.c_str(), 0600);
         reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
       },
       "the temporary file is not a regular file: "},
      {"folder", [&] { ::mkdir(path.c_str(), 0700); },
       "the temporary file is not a regular file: "},
      {"existing file",
       [&] {
         test::WriteFile(path, "earlier");
         ::chmod(path.c_str(), 0644);
       },
       "cannot connect to the logbook service"},
  };
  const https::Service closed{"https://127.0.0.1:1/api", "", kKey};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::WriteFile(other, "precious");
    row.make();
    const https::FetchResult result = FetchLogbook(closed, path, {});
    EXPECT_TRUE(result.reason.starts_with(row.reason)) << result.reason;
    EXPECT_EQ(test::ReadFile(other), "precious");
    EXPECT_FALSE(test::FileExists(dir.Join("absent")));
    if (reader >= 0) {
      char byte;
      EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing was written into the FIFO
      ::close(std::exchange(reader, -1));
    }
    std::filesystem::remove_all(path);
  }
  const https::FetchResult result = FetchLogbook(closed, dir.Join("missing/x.tmp"), {});
  EXPECT_EQ(result.reason, "cannot open the temporary file " + dir.Join("missing/x.tmp") +
                               ": No such file or directory");
}

}  // namespace
}  // namespace logbook
