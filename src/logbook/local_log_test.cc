// Everything after the download: the Local log file, the Band files and the Country file
// change together or not at all, and the reason names the file that failed.
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

// A Program folder with a reply of one confirmed contact, and the list of one ProcessReply.
struct Folder {
  test::ScopedTempDir dir;
  std::string reply = dir.Join("QRZ_LogBook.tmp");
  award::ConfirmedCountryList countries{};

  Folder() {
    test::WriteFile(reply,
                    "RESULT=OK&ADIF=&lt;call:4&gt;W1AW&lt;country:13&gt;United States"
                    "&lt;state:2&gt;ct&lt;band:3&gt;20m&lt;app_qrzlog_status:1&gt;C&lt;eor&gt;");
  }
  SyncResult Run() {
    return ProcessReply(dir.path() + "/", reply, dir.Join("W1AW.adi"), countries);
  }
  // Every file with what it holds now.
  std::string Snapshot() const {
    std::string all;
    for (const std::string& name : test::ListFolder(dir.path())) {
      all += name + "=" + test::ReadFile(dir.Join(name)).value_or("?") + "\n";
    }
    return all;
  }
};

// A folder standing at the name of the Country file, put in place last, fails the whole.
TEST(ProcessReply, AFileThatCannotBeReplacedLeavesEveryFileAsItWas) {
  Folder folder;
  ASSERT_TRUE(folder.Run().ok());
  std::filesystem::remove(folder.dir.Join("dx.txt"));
  std::filesystem::create_directory(folder.dir.Join("dx.txt"));
  test::WriteFile(folder.reply,
                  test::ReadFile(folder.reply).value_or("") +
                      "&lt;country:5&gt;Japan&lt;app_qrzlog_status:1&gt;C&lt;eor&gt;");
  const std::string before = folder.Snapshot();
  const SyncResult result = folder.Run();
  EXPECT_EQ(result.outcome, SyncOutcome::kFailed);
  EXPECT_NE(result.reason.find("dx.txt"), std::string::npos) << result.reason;
  EXPECT_EQ(folder.Snapshot(), before);  // the same names, no temporary, the same bytes
  EXPECT_EQ(folder.countries[0], "1");
  std::filesystem::remove(folder.reply);  // no reply at all
  EXPECT_NE(folder.Run().reason.find("cannot read " + folder.reply), std::string::npos);
}

// A disk that fills: a file size limit that the Local log file passes and a Band file does
// not, or that the Local log file does not pass either (SIGXFSZ ignored, as the program does).
#ifndef _WIN32  // a file size limit exists only on POSIX systems
TEST(ProcessReply, ADiskThatFillsLeavesEveryFileAsItWas) {
  for (const auto& [limit, name] : {std::pair{200, "10m.txt"}, std::pair{20, "W1AW.adi"}}) {
    Folder folder;
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
