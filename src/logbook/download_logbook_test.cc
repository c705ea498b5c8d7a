// A whole synchronisation's data work against the test logbook service: replies that are no
// logbook change nothing, no reply stays on disk after an update, a logbook too large for one reply
// comes page by page into the very same files, and a compressed transfer makes no difference.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>
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
using Files = std::map<std::string, std::string>;

Files ReadAll(const std::string& folder) {
  Files files;
  for (const std::string& name : test::ListFolder(folder)) {
    files[name] = test::ReadFile(folder + "/" + name).value_or("?");
  }
  return files;
}

// The app_qrzlog_logid values of a Local log file, in order.
std::vector<std::uint64_t> LogIds(const std::string& log) {
  std::vector<std::uint64_t> ids;
  constexpr std::string_view kTag = "<app_qrzlog_logid:";
  for (size_t at = log.find(kTag); at != std::string::npos; at = log.find(kTag, at + 1)) {
    const size_t close = log.find('>', at);
    const size_t length = std::stoul(log.substr(at + kTag.size(), close - at - kTag.size()));
    ids.push_back(std::stoull(log.substr(close + 1, length)));
  }
  return ids;
}

// The values of a field ("option", "connection") of the request log, one per request.
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

// The OPTION values the service saw, one per request ("" for the whole logbook).
std::vector<std::string> Options(const std::string& request_log) {
  return Values(request_log, "option");
}

class DownloadLogbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.ok());
    service_.SetKey(kKey);
  }

  // One synchronisation into `folder` (made when missing), with the lists of that folder;
  // `adjust` may change its settings first.
  SyncResult Synchronise(const std::string& folder,
                         const std::function<void(SyncSettings&)>& adjust = {}) {
    ::mkdir(folder.c_str(), 0700);
    SyncSettings settings;
    settings.program_folder = folder + "/";
    settings.temp_folder = dir_.path() + "/";
    settings.service = {service_.endpoint(), service_.ca_file(), kKey, 1};
    if (adjust) adjust(settings);
    return DownloadLogbook(settings, folder + "/K1ABC.adi", countries_[folder]);
  }

  test::ScopedTempDir dir_;
  test::ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  test::ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  test::LogbookService service_;
  std::map<std::string, award::ConfirmedCountryList> countries_;
};

TEST_F(DownloadLogbookTest, RepliesThatAreNoLogbookChangeNothing) {
  ASSERT_TRUE(service_.GenerateLogbook(300, 5));
  const std::string folder = dir_.Join("program");
  ASSERT_TRUE(Synchronise(folder).ok());
  const Files before = ReadAll(folder);
  const award::ConfirmedCountryList countries_before = countries_[folder];
  ASSERT_EQ(before.size(), 11u);  // the Local log, nine Band files, the Country file

  std::mt19937 random(11);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  struct Row {
    std::string mode;
    std::string page;
    SyncOutcome outcome;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"status STATUS=AUTH&REASON=invalid api key", "", SyncOutcome::kKeyRefused,
       "the logbook service said: invalid api key"},
      {"status STATUS=FAIL&REASON=account locked", "", SyncOutcome::kFailed,
       "the logbook service said: account locked"},
      {"status RESULT=AUTH&REASON=wrong key " + std::string(kKey), "", SyncOutcome::kKeyRefused,
       "the logbook service said: wrong key ***"},
      {"page", "<!DOCTYPE html><html><body><h1>Scheduled maintenance</h1></body></html>\n",
       SyncOutcome::kFailed, "the reply held no logbook"},
      {"page", noise, SyncOutcome::kFailed, "the reply held no logbook"},
  };
  for (const Row& row : rows) {
    service_.SetMode(row.mode);
    test::WriteFile(service_.state_dir() + "/page", row.page);
    const SyncResult result = Synchronise(folder);
    EXPECT_EQ(result.outcome, row.outcome) << row.mode;
    EXPECT_EQ(result.reason, row.reason) << row.mode;
    EXPECT_EQ(ReadAll(folder), before) << row.mode;
    EXPECT_EQ(countries_[folder], countries_before) << row.mode;
  }
}

TEST_F(DownloadLogbookTest, NoReplyStaysBehindWhateverTheOutcome) {
  ASSERT_TRUE(service_.GenerateLogbook(20, 4));
  const std::string folder = dir_.Join("program");
  const std::string reply = dir_.Join(std::string(kTemporaryFileName));
  struct Row {
    std::string mode;
    SyncOutcome outcome;
    std::function<void(SyncSettings&)> adjust;
  };
  const std::vector<Row> rows = {
      {"ok", SyncOutcome::kDone, {}},
      {"status RESULT=AUTH&REASON=invalid api key", SyncOutcome::kKeyRefused, {}},
      {"fail500", SyncOutcome::kFailed, {}},
      {"empty", SyncOutcome::kFailed, {}},
      {"ok", SyncOutcome::kFailed,
       [](SyncSettings& settings) { settings.service.endpoint = "https://127.0.0.1:1/api"; }},
      {"stall 30", SyncOutcome::kCancelled,
       [](SyncSettings& settings) {
         settings.progress = [](const DownloadProgress&) { return https::Flow::kCancel; };
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    service_.SetMode(row.mode);
    test::WriteFile(reply, "the reply of an earlier update");
    EXPECT_EQ(Synchronise(folder, row.adjust).outcome, row.outcome);
    EXPECT_FALSE(test::FileExists(reply));
  }
}

TEST_F(DownloadLogbookTest, ALogbookTooLargeForOneReplyComesPageByPage) {
  ASSERT_TRUE(service_.GenerateLogbook(7001, 3));
  const std::string single = dir_.Join("single");
  ASSERT_TRUE(Synchronise(single).ok());
  const Files expected = ReadAll(single);
  const std::vector<std::uint64_t> ids = LogIds(expected.at("K1ABC.adi"));
  ASSERT_EQ(ids.size(), 7001u);
  // The whole logbook, then pages from 0 and from one past each full page's last record.
  const std::vector<std::string> options = {
      "",
      "MAX:2000,AFTERLOGID:0",
      "MAX:2000,AFTERLOGID:" + std::to_string(ids[1999] + 1),
      "MAX:2000,AFTERLOGID:" + std::to_string(ids[3999] + 1),
      "MAX:2000,AFTERLOGID:" + std::to_string(ids[5999] + 1),
  };
  EXPECT_NE(service_.RequestLog().find("encoding=gzip"), std::string::npos);

  // The pages share one connection while the service keeps it open, and take a new one
  // each when it closes them. A COUNT that is only the page's own makes no difference.
  struct Row {
    std::string mode;
    bool service_closes;
  };
  const std::vector<Row> rows = {
      {"whole_stall 5000", false},
      {"whole_504 5000", false},
      {"whole_504 5000", true},
      {"page_small_count 5000", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode + (row.service_closes ? ", closing" : ""));
    service_.ClearLog();
    service_.SetMode(row.mode);
    test::WriteFile(service_.state_dir() + "/connection", row.service_closes ? "close" : "");
    const std::string paged = dir_.Join("paged " + row.mode + (row.service_closes ? " c" : ""));
    const SyncResult result = Synchronise(paged);
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(ReadAll(paged), expected);
    EXPECT_EQ(countries_[paged], countries_[single]);
    const std::string log = service_.RequestLog();
    EXPECT_EQ(Options(log), options) << log;
    const std::vector<std::string> connections = Values(log, "connection");
    ASSERT_EQ(connections.size(), options.size()) << log;
    const std::set<std::string> page_connections(connections.begin() + 1, connections.end());
    EXPECT_EQ(page_connections.size(), row.service_closes ? options.size() - 1 : 1) << log;
  }
}

TEST_F(DownloadLogbookTest, APageThatFailsFailsTheWholeAndChangesNothing) {
  ASSERT_TRUE(service_.GenerateLogbook(4500, 8));
  const std::string folder = dir_.Join("program");
  ASSERT_TRUE(Synchronise(folder).ok());
  const Files before = ReadAll(folder);
  struct Row {
    std::string mode;
    std::string reason;
    size_t requests;
  };
  const std::vector<Row> rows = {
      {"page_repeat", "the logbook service sent a page that it had sent before", 3},
      {"page_cut 2", "the download was broken off", 3},
      {"page_stall 2", "the download stalled", 3},  // on the connection of the first page
      {"page_overlap 5", "the logbook service sent a page that it had sent before", 3},
  };
  for (const Row& row : rows) {
    service_.ClearLog();
    service_.SetMode(row.mode);
    const SyncResult result = Synchronise(folder);
    EXPECT_EQ(result.outcome, SyncOutcome::kFailed) << row.mode;
    EXPECT_EQ(result.reason, row.reason) << row.mode;
    EXPECT_EQ(ReadAll(folder), before) << row.mode;
    EXPECT_EQ(Options(service_.RequestLog()).size(), row.requests) << service_.RequestLog();
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
