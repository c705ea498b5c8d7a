// Whole-file rewrites and sets of files put in place as one change, against real files.
#include "base/atomic_file.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>

#include "base/unique_handle_windows.h"
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "base/file_commit.h"
#include "test_util.h"

namespace base {
namespace {

using Names = std::vector<std::string>;
using Contents = std::map<std::string, std::string>;  // by name; a missing file is absent

// Every name of `folder` (which ends with a separator) with what it holds.
Contents Snapshot(const std::string& folder) {
  Contents contents;
  for (const std::string& name : test::ListFolder(folder)) {
    const bool is_folder = std::filesystem::is_directory(folder + name);
    contents[name] = is_folder ? "<folder>" : test::ReadFile(folder + name).value_or("?");
  }
  return contents;
}

// New files of `folder` holding "new <name>", each ready for CommitFiles.
struct ReadySet {
  ReadySet(const std::string& folder, const Names& names) {
    for (const std::string& name : names) {
      files.push_back(std::make_unique<AtomicFile>(folder + name));
      files.back()->Write("new " + name);
      EXPECT_FALSE(files.back()->Commit(Rename::kLater));
      set.push_back(files.back().get());
    }
  }
  std::vector<std::unique_ptr<AtomicFile>> files;
  std::vector<const AtomicFile*> set;
};

// Ids of owners: one that no process has, and one of a process that runs while the tests
// do (init on POSIX; on Windows a suspended copy of this program, ended with the tests).
constexpr std::uint32_t kEnded = 2147483647;
std::uint32_t RunningProcessId() {
#ifdef _WIN32
  static const struct Copy {
    Copy() {
      std::wstring program(MAX_PATH, L'\0');
      program.resize(::GetModuleFileNameW(nullptr, program.data(), MAX_PATH));
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      if (!::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                            nullptr, nullptr, &startup, &process)) {
        std::abort();
      }
    }
    ~Copy() { ::TerminateProcess(process.hProcess, 1); }
    PROCESS_INFORMATION process{};
  } copy;
  return copy.process.dwProcessId;
#else
  return 1;
#endif
}

TEST(AtomicFile, ReplacesTheFileWholeFromAPrivateTemporaryBesideIt) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("Keeper.ini");
  test::WriteFile(path, "old content that is longer");
#ifndef _WIN32  // Windows has no permission bits: the folder's ACL decides
  const mode_t mask = ::umask(022);
  ASSERT_FALSE(WriteFileAtomically(path, "shared"));
  EXPECT_EQ(test::FileMode(path), 0644);
  ::umask(mask);
#endif
  {
    AtomicFile file(path, FileMode::kPrivate);
    file.Write("new");
    const Names names = test::ListFolder(dir.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(file.temp_path(), dir.Join(names[0]));
    EXPECT_TRUE(names[0].ends_with("-Keeper.ini.partial")) << names[0];
    EXPECT_EQ(TemporaryNameOwner(names[0]), CurrentProcessId());
#ifndef _WIN32
    EXPECT_EQ(test::FileMode(file.temp_path()), 0600);  // private from its creation on
#endif
    ASSERT_FALSE(file.Commit());
  }
  EXPECT_EQ(test::ReadFile(path), "new");
  EXPECT_EQ(test::ListFolder(dir.path()), Names{"Keeper.ini"});
  // The system's words follow the path, as a fragment of a sentence.
  const Error error = WriteFileAtomically(dir.Join("none/a"), "x");
  EXPECT_TRUE(error.message.starts_with("cannot write " + dir.Join("none/a") + ": "));
  EXPECT_EQ(std::string(".\n\r ").find(error.message.back()), std::string::npos) << error.message;
}

TEST(TemporaryName, NamesTheProcessAndTheTargetAndNoOtherNameIsTakenForOne) {
  EXPECT_EQ(TemporaryName("CALL.adi", 4711, 0x09a3f1c2),
            ".statekeeper-4711-09a3f1c2-CALL.adi.partial");
  const std::pair<std::string, std::optional<std::uint32_t>> cases[] = {
      {TemporaryName("10m.txt", 4294967295u, 0), 4294967295u},
      {TemporaryName("a-b-c.partial", 1, 0xffffffff), 1},
      {".statekeeper-7-0000abcd-dx.txt.old", 7},  // an old file kept aside
      {"10m.txt.tmp", {}},
      {".statekeeper-4711-09a3f1c2-CALL.adi.partial~", {}},  // an editor's backup
      {".statekeeper-4711-09a3f1c2-.partial", {}},           // no target name
      {".statekeeper-4711.partial", {}},
      {".statekeeper--09a3f1c2-CALL.adi.partial", {}},             // no process id
      {".statekeeper-04711-09a3f1c2-CALL.adi.partial", {}},        // a leading zero
      {".statekeeper-4294967296-09a3f1c2-CALL.adi.partial", {}},   // more than 32 bits
      {".statekeeper-12345678901-09a3f1c2-CALL.adi.partial", {}},  // eleven digits
      {".statekeeper-4711-09a3f1c-CALL.adi.partial", {}},          // seven hex digits
      {".statekeeper-4711-09A3F1C2-CALL.adi.partial", {}},
      {".statekeeper-4711-09a3f1g2-CALL.adi.partial", {}},
  };
  for (const auto& [name, owner] : cases) EXPECT_EQ(TemporaryNameOwner(name), owner) << name;
}

// A folder beside which, and in which, stand files of ended and of running processes.
TEST(RemoveLeftovers, TheNewFilesOfAnEndedProcessGoAndNothingElseIsTouched) {
  test::ScopedTempDir dir;
  const std::string folder = dir.Join("Varnhold/");
  std::filesystem::create_directory(folder);
  const auto leftover = [&](const std::string& target, std::uint32_t process_id) {
    return folder + TemporaryName(target, process_id, 0x1234abcd);
  };
  test::WriteFile(folder + "CALL.adi", "old log");
  test::WriteFile(leftover("CALL.adi", kEnded), "half of the new log");
  test::WriteFile(leftover("dx.txt", 4294967295u), "of an id no system gives");
  test::WriteFile(leftover("Keeper.ini", CurrentProcessId()), "of an earlier process, same id");
  const std::string running = TemporaryName("dx.txt", RunningProcessId(), 7);
  for (const std::string& name : Names{"CALL.adi.partial", "statekeeper-notes.txt", running}) {
    test::WriteFile(folder + name, name);
  }
  // A folder with a leftover's name, and a leftover inside it: only the folder itself counts.
  const std::string subfolder = leftover("20m.txt", kEnded);
  std::filesystem::create_directory(subfolder);
  test::WriteFile(subfolder + "/" + TemporaryName("20m.txt", kEnded, 1), "deeper");
  const std::string outside = dir.Join(TemporaryName("CALL.adi", kEnded, 2));
  test::WriteFile(outside, "beside the folder");
  Contents kept = {{"CALL.adi", "old log"},
                   {"CALL.adi.partial", "CALL.adi.partial"},
                   {"statekeeper-notes.txt", "statekeeper-notes.txt"},
                   {running, running},
                   {TemporaryName("20m.txt", kEnded, 0x1234abcd), "<folder>"}};
#ifndef _WIN32  // symbolic links need a privilege on Windows
  // A symbolic link with a leftover's name is not a regular file: it stays, as does its target.
  ASSERT_EQ(::symlink(outside.c_str(), leftover("dx.txt", kEnded).c_str()), 0);
  kept[TemporaryName("dx.txt", kEnded, 0x1234abcd)] = "beside the folder";
  // Only root can give a file to another user, whose files stay.
  if (::geteuid() == 0) {
    test::WriteFile(leftover("K1ABC.adi", kEnded), "of another user");
    ASSERT_EQ(::chown(leftover("K1ABC.adi", kEnded).c_str(), 65534, 65534), 0);
    kept[TemporaryName("K1ABC.adi", kEnded, 0x1234abcd)] = "of another user";
  }
#endif
  RemoveLeftovers(dir.Join("missing"));
  RemoveLeftovers("");

  RemoveLeftovers(folder);
  EXPECT_EQ(Snapshot(folder), kept);
  EXPECT_EQ(test::ListFolder(subfolder).size(), 1u);
  EXPECT_EQ(test::ReadFile(outside), "beside the folder");
}

// An update's files: two that exist, one made for the first time, and one not in the set.
const Contents kOld = {{"K1ABC.adi", "old"}, {"20m.txt", "old"}, {"Keeper.ini", "K1ABC"}};
const Contents kNew = {{"K1ABC.adi", "new K1ABC.adi"},
                       {"20m.txt", "new 20m.txt"},
                       {"dx.txt", "new dx.txt"},
                       {"Keeper.ini", "K1ABC"}};
const Names kSet = {"K1ABC.adi", "20m.txt", "dx.txt"};

// A commit stopped after any step, as a killed process leaves it, is undone by the next
// start's tidying up; one that ends holds the new set.
TEST(CommitFiles, AfterAnyStepTheNextStartFindsTheWholeOldOrTheWholeNewSet) {
  const int steps = CommitStepCount(static_cast<int>(kSet.size()));
  for (int stop_after = 0; stop_after <= steps + 1; ++stop_after) {
    SCOPED_TRACE("stopped after step " + std::to_string(stop_after));
    test::ScopedTempDir dir;
    const std::string folder = dir.path() + "/";
    for (const auto& [name, content] : kOld) test::WriteFile(folder + name, content);
    {
      ReadySet ready(folder, kSet);
      ASSERT_FALSE(CommitFiles(folder, ready.set, stop_after <= steps ? stop_after : kEveryStep));
      RemoveLeftovers(folder);  // while the stopped commit's files are all still there
    }
    EXPECT_EQ(Snapshot(folder), stop_after < steps ? kOld : kNew);
  }
}

#ifdef _WIN32
// A file that another program holds open without sharing cannot be replaced: the commit
// fails and every file of the set keeps its old content.
TEST(CommitFiles, AFileHeldOpenWithoutSharingLeavesEveryFileAsItWas) {
  for (const std::string& held : kSet) {
    SCOPED_TRACE(held);
    test::ScopedTempDir dir;
    const std::string folder = dir.path() + "\\";
    for (const std::string& name : kSet) test::WriteFile(folder + name, "old");
    UniqueWinHandle other(::CreateFileA((folder + held).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other.valid());
    {
      ReadySet ready(folder, kSet);
      EXPECT_TRUE(CommitFiles(folder, ready.set));
    }
    other.Reset();
    EXPECT_EQ(Snapshot(folder),
              (Contents{{"20m.txt", "old"}, {"K1ABC.adi", "old"}, {"dx.txt", "old"}}));
  }
}
#endif

}  // namespace
}  // namespace base
