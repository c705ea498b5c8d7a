// Everything after the download: the Local log file, the Band files and the Country file
// change together or not at all. (That a logbook writes them exactly as the literal reference
// does, and that the service's failure answers change nothing, the end-to-end and the
// download tests see.)
#include "logbook/local_log.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <filesystem>
#include <string>

#include "award/lists.h"
#include "test_util.h"

namespace logbook {
namespace {

std::string Record(const std::string& call, const std::string& country) {
  return "&lt;call:4&gt;" + call + "&lt;country:" + std::to_string(country.size()) + "&gt;" +
         country + "&lt;state:2&gt;ct&lt;band:3&gt;20m&lt;app_qrzlog_status:1&gt;C&lt;eor&gt;\n";
}

// A Program folder with the reply, the Local log file and the list of one ProcessReply.
struct Folder {
  test::ScopedTempDir dir;
  std::string reply = dir.Join("QRZ_LogBook.tmp");
  std::string log = dir.Join("W1AW.adi");
  award::ConfirmedCountryList countries{};

  SyncResult Run() { return ProcessReply(dir.path() + "/", reply, log, countries); }
  // Every file with what it holds now.
  std::string Snapshot() const {
    std::string all;
    for (const std::string& name : test::ListFolder(dir.path())) {
      all += name + "=" + test::ReadFile(dir.Join(name)).value_or("?") + "\n";
    }
    return all;
  }
};

// The Local log file is put in place first, the Band files next, the Country file last; a
// folder standing at the name of any of them fails the whole.
TEST(ProcessReply, AFileThatCannotBeReplacedLeavesEveryFileAsItWas) {
  for (const std::string name : {"W1AW.adi", "20m.txt", "dx.txt"}) {
    SCOPED_TRACE(name);
    Folder folder;
    const std::string reply = "RESULT=OK&ADIF=" + Record("W1AW", "United States");
    test::WriteFile(folder.reply, reply);
    ASSERT_TRUE(folder.Run().ok());
    std::filesystem::remove(folder.dir.Join(name));
    std::filesystem::create_directory(folder.dir.Join(name));
    test::WriteFile(folder.reply, reply + Record("JA1A", "Japan"));
    const std::string before = folder.Snapshot();
    const award::ConfirmedCountryList countries = folder.countries;
    const SyncResult result = folder.Run();
    EXPECT_EQ(result.outcome, SyncOutcome::kFailed);
    EXPECT_NE(result.reason.find(name), std::string::npos) << result.reason;
    EXPECT_EQ(folder.Snapshot(), before);  // the same names, no temporary, the same bytes
    EXPECT_EQ(folder.countries, countries);
  }
  Folder missing;  // no reply at all
  EXPECT_NE(missing.Run().reason.find("cannot read " + missing.reply), std::string::npos);
}

// A disk that fills: a file size limit that the Local log file passes and a Band file does
// not, or that the Local log file does not pass either (SIGXFSZ ignored, as the program does).
#ifndef _WIN32  // a file size limit exists only on POSIX systems
TEST(ProcessReply, ADiskThatFillsLeavesEveryFileAsItWas) {
  for (const auto& [limit, name] : {std::pair{200, "10m.txt"}, std::pair{20, "W1AW.adi"}}) {
    Folder folder;
    test::WriteFile(folder.reply, "RESULT=OK&ADIF=" + Record("W1AW", "United States"));
    const std::string before = folder.Snapshot();
    struct sigaction ignore = {}, old_action = {};
    ignore.sa_handler = SIG_IGN;
    rlimit old_limit = {};
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old_action) | getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit new_limit = old_limit;
    new_limit.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &new_limit), 0);
    const SyncResult result = folder.Run();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit) | sigaction(SIGXFSZ, &old_action, nullptr), 0);
    EXPECT_NE(result.reason.find(std::string(name) + ": File too large"), std::string::npos)
        << result.reason;
    EXPECT_EQ(folder.Snapshot(), before);
    EXPECT_EQ(folder.countries[0], "");
  }
}
#endif

}  // namespace
}  // namespace logbook
