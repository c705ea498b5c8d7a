// Everything after the download: the Local log file, the Band files and the Country file
// change together or not at all.
#include "logbook/local_log.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <filesystem>
#include <string>

#include "award/lists.h"
#include "reference_pipeline.h"
#include "test_util.h"

namespace logbook {
namespace {

constexpr const char* kRecord =
    "&lt;call:4&gt;W1AW&lt;country:13&gt;United States&lt;state:2&gt;ct"
    "&lt;band:3&gt;20m&lt;app_qrzlog_status:1&gt;C&lt;eor&gt;\n";

struct Folder {
  test::ScopedTempDir dir;
  std::string program = dir.path() + "/";
  std::string reply = dir.Join("QRZ_LogBook.tmp");
  std::string log = dir.Join("W1AW.adi");
};

// Every file that a run writes, with what it holds now.
std::string Snapshot(const Folder& folder) {
  std::string all;
  for (const std::string& name : test::ListFolder(folder.dir.path())) {
    all += name + "=" + test::ReadFile(folder.dir.Join(name)).value_or("?") + "\n";
  }
  return all;
}

TEST(ProcessReply, WritesLogBandAndCountryFiles) {
  Folder folder;
  const std::string reply = std::string("RESULT=OK&COUNT=1&ADIF=") + kRecord;
  test::WriteFile(folder.reply, reply);
  award::ConfirmedCountryList countries{};
  const SyncResult result = ProcessReply(folder.program, folder.reply, folder.log, countries);
  ASSERT_TRUE(result.ok()) << result.reason;
  const std::string normalised = reference::NormaliseReply(reply);
  EXPECT_EQ(test::ReadFile(folder.log), normalised + "\r\n");
  const auto bands = reference::BandFiles(normalised + "\r\n");
  for (int band = 1; band <= award::kBandCount; ++band) {
    EXPECT_EQ(test::ReadFile(folder.dir.Join(award::BandFileName(band))), bands[band - 1]);
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
    EXPECT_EQ(test::FileMode(folder.dir.Join(award::BandFileName(band))) & 0600, 0600);
#endif
  }
  EXPECT_NE(bands[4].find("CT, 1\r\n"), std::string::npos);
  EXPECT_EQ(test::ReadFile(folder.dir.Join("dx.txt")), "1\r\nUNITED STATES\r\n");
  EXPECT_EQ(countries[0], "1");
  EXPECT_EQ(countries[1], "UNITED STATES");
}

TEST(ProcessReply, EmptyLogbookIsProcessed) {
  const std::vector<std::string> replies = {"RESULT=OK&COUNT=0", "COUNT=0&ADIF=&STATUS=OK"};
  for (const std::string& reply : replies) {
    Folder folder;
    test::WriteFile(folder.reply, reply);
    award::ConfirmedCountryList countries{};
    ASSERT_TRUE(ProcessReply(folder.program, folder.reply, folder.log, countries).ok());
    EXPECT_EQ(test::ReadFile(folder.log), reply + "\r\n");
    EXPECT_EQ(test::ReadFile(folder.dir.Join("10m.txt")), reference::BandFiles("")[0]);
    EXPECT_EQ(test::ReadFile(folder.dir.Join("dx.txt")), "\r\n");
  }
}

struct Refusal {
  std::string reply;
  SyncOutcome outcome;
  std::string reason_part;
};

TEST(ProcessReply, ServiceFailureAnswersChangeNothing) {
  const std::vector<Refusal> refusals = {
      {"RESULT=AUTH&REASON=invalid api key&EXTENDED=", SyncOutcome::kKeyRefused, "invalid api key"},
      {"STATUS=AUTH&REASON=invalid api key", SyncOutcome::kKeyRefused, "invalid api key"},
      {"RESULT=FAIL&REASON=not found", SyncOutcome::kFailed, "not found"},
      {"STATUS=FAIL&REASON=account suspended", SyncOutcome::kFailed, "account suspended"},
      {"RESULT=FAIL", SyncOutcome::kFailed, "refused"},
      {"", SyncOutcome::kFailed, "the reply held no logbook"},
      // No record and no RESULT=OK: a maintenance page, a proxy's page, noise.
      {"<html><body><h1>Down for maintenance</h1>We'll be back soon.</body></html>",
       SyncOutcome::kFailed, "the reply held no logbook"},
      {"<html><form action=\"/login\" method=post><input name=user></form></html>",
       SyncOutcome::kFailed, "the reply held no logbook"},
      {std::string("\x1f\x8b\x08\0\xff\xfe=<\x80garbage", 14), SyncOutcome::kFailed,
       "the reply held no logbook"},
  };
  for (const Refusal& refusal : refusals) {
    Folder folder;
    test::WriteFile(folder.log, "old log");
    test::WriteFile(folder.dir.Join("10m.txt"), "old band");
    test::WriteFile(folder.reply, refusal.reply);
    const std::string before = Snapshot(folder);
    award::ConfirmedCountryList countries{};
    countries[0] = "1";
    countries[1] = "JAPAN";
    const SyncResult result = ProcessReply(folder.program, folder.reply, folder.log, countries);
    EXPECT_FALSE(result.ok()) << refusal.reply;
    EXPECT_EQ(result.outcome, refusal.outcome) << refusal.reply;
    EXPECT_NE(result.reason.find(refusal.reason_part), std::string::npos) << result.reason;
    EXPECT_EQ(Snapshot(folder), before);
    EXPECT_EQ(countries[0], "1");
  }
}

TEST(ProcessReply, RegularFileAsProgramFolderFails) {
  Folder folder;
  test::WriteFile(folder.reply, std::string("RESULT=OK&ADIF=") + kRecord);
  test::WriteFile(folder.dir.Join("notafolder"), "x");
  award::ConfirmedCountryList countries{};
  const std::string program = folder.dir.Join("notafolder") + "/";
  const SyncResult result = ProcessReply(program, folder.reply, program + "W1AW.adi", countries);
  EXPECT_FALSE(result.ok());
#ifndef _WIN32  // the reason is the system's message, ENOTDIR's only on POSIX systems
  EXPECT_NE(result.reason.find("Not a directory"), std::string::npos) << result.reason;
#endif
  EXPECT_EQ(countries[0], "");
}

TEST(ProcessReply, AFileThatCannotBeReplacedLeavesEveryFileAsItWas) {
  const std::string second_record =
      "&lt;call:4&gt;JA1A&lt;country:5&gt;Japan&lt;band:3&gt;20m"
      "&lt;app_qrzlog_status:1&gt;C&lt;eor&gt;\n";
  // The Local log file is put in place first, the Band files next, the Country file last.
  for (const std::string name : {"W1AW.adi", "20m.txt", "dx.txt"}) {
    SCOPED_TRACE(name);
    Folder folder;
    award::ConfirmedCountryList countries{};
    test::WriteFile(folder.reply, std::string("RESULT=OK&ADIF=") + kRecord);
    ASSERT_TRUE(ProcessReply(folder.program, folder.reply, folder.log, countries).ok());
    // A folder stands at the name instead of the file.
    std::filesystem::remove(folder.dir.Join(name));
    std::filesystem::create_directory(folder.dir.Join(name));
    test::WriteFile(folder.reply, std::string("RESULT=OK&ADIF=") + kRecord + second_record);
    const std::string before = Snapshot(folder);
    const award::ConfirmedCountryList countries_before = countries;

    const SyncResult result = ProcessReply(folder.program, folder.reply, folder.log, countries);
    EXPECT_EQ(result.outcome, SyncOutcome::kFailed);
    EXPECT_NE(result.reason.find(name), std::string::npos) << result.reason;
    EXPECT_EQ(Snapshot(folder), before);  // the same names, no temporary, the same bytes
    EXPECT_EQ(countries, countries_before);
  }
}

TEST(ProcessReply, MissingReplyFails) {
  Folder folder;
  award::ConfirmedCountryList countries{};
  EXPECT_FALSE(ProcessReply(folder.program, folder.reply, folder.log, countries).ok());
}

// A disk that fills while the files are written: a file size limit below the size of a
// Band file. Writes past it come back as EFBIG (SIGXFSZ is ignored, as the program does).
#ifndef _WIN32  // a file size limit (RLIMIT_FSIZE) exists only on POSIX systems
TEST(ProcessReply, DiskFullLeavesEveryOldFileAndNoTemporary) {
  Folder folder;
  test::WriteFile(folder.log, "old log");
  for (int band = 1; band <= award::kBandCount; ++band) {
    test::WriteFile(folder.dir.Join(award::BandFileName(band)), "old");
  }
  test::WriteFile(folder.dir.Join("dx.txt"), "0\r\n");
  test::WriteFile(folder.reply, std::string("RESULT=OK&ADIF=") + kRecord);
  const std::string before = Snapshot(folder);

  award::ConfirmedCountryList countries{};
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_action = {};
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old_action), 0);
  rlimit old_limit = {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 200;  // the Local log fits, a Band file (about 300 bytes) does not
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const SyncResult result = ProcessReply(folder.program, folder.reply, folder.log, countries);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);
  ASSERT_EQ(sigaction(SIGXFSZ, &old_action, nullptr), 0);

  EXPECT_FALSE(result.ok());
  EXPECT_NE(result.reason.find("10m.txt: File too large"), std::string::npos) << result.reason;
  EXPECT_EQ(Snapshot(folder), before);  // same names (no temporary) and same contents
  EXPECT_EQ(countries[0], "");
}
#endif

}  // namespace
}  // namespace logbook
