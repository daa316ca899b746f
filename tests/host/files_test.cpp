// The host machine's file operations and the error codes they promise.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/windows.h"
#include "tests/host/paths.h"
#include "tests/support/temp_prefix.h"

namespace tvx {
namespace {

using testing::Path;
using testing::TempPrefix;

constexpr Win32Error kOk = ERROR_SUCCESS;
constexpr Win32Error kFileNotFound = ERROR_FILE_NOT_FOUND;
constexpr Win32Error kPathNotFound = ERROR_PATH_NOT_FOUND;
constexpr Win32Error kAccessDenied = ERROR_ACCESS_DENIED;
constexpr Win32Error kDirNotEmpty = ERROR_DIR_NOT_EMPTY;
constexpr Win32Error kDirectory = ERROR_DIRECTORY;

// C:\T holds: file.txt, ro.txt (read-only), empty\, full\x.txt, hidden\a:b, link -> empty.
class HostFiles : public ::testing::Test {
 protected:
  HostFiles() {
    prefix_.MakeFile(prefix_.Host("C:\\T\\file.txt"), "content");
    prefix_.MakeFile(prefix_.Host("C:\\T\\ro.txt"), "kept", /*readonly=*/true);
    prefix_.MakeDirectory(prefix_.Host("C:\\T\\empty"));
    prefix_.MakeFile(prefix_.Host("C:\\T\\full\\x.txt"));
    prefix_.MakeFile(prefix_.Host("C:\\T\\hidden") + "/a:b");
    prefix_.MakeLink(prefix_.Host("C:\\T\\link"), "empty");
    machine_ = prefix_.MakeMachine();
  }

  TempPrefix prefix_;
  std::unique_ptr<Machine> machine_;
};

TEST_F(HostFiles, StatReportsKindSizeReadOnlyAndWriteTime) {
  const timespec times[2] = {{946684800, 0}, {946684800, 1234500}};  // 2000-01-01, +1.2345 ms
  ASSERT_EQ(utimensat(AT_FDCWD, prefix_.Host("C:\\T\\file.txt").c_str(), times, 0), 0);
  EntryInfo info;
  ASSERT_EQ(machine_->Stat(Path("C:\\T\\FILE.TXT"), &info), kOk);
  EXPECT_EQ(info.name, "file.txt");
  EXPECT_FALSE(info.directory);
  EXPECT_FALSE(info.readonly);
  EXPECT_FALSE(info.link);
  EXPECT_EQ(info.size, 7u);
  EXPECT_EQ(info.write_time, 125911584000000000u + 12345u);
  ASSERT_EQ(machine_->Stat(Path("C:\\T\\ro.txt"), &info), kOk);
  EXPECT_TRUE(info.readonly);
  ASSERT_EQ(machine_->Stat(Path("C:\\T\\Empty"), &info), kOk);
  EXPECT_TRUE(info.directory);
  EXPECT_EQ(info.size, 0u);
  ASSERT_EQ(machine_->Stat(Path("C:\\"), &info), kOk);
  EXPECT_TRUE(info.directory);
}

TEST_F(HostFiles, StatTellsAMissingNameFromAMissingDirectory) {
  EntryInfo info;
  EXPECT_EQ(machine_->Stat(Path("C:\\T\\nothing"), &info), kFileNotFound);
  EXPECT_EQ(machine_->Stat(Path("C:\\T\\nothing\\x"), &info), kPathNotFound);
  EXPECT_EQ(machine_->Stat(Path("C:\\T\\file.txt\\x"), &info), kPathNotFound);
}

TEST_F(HostFiles, ListGivesEveryShowableEntryWithoutDotAndDotDot) {
  std::vector<EntryInfo> entries;
  ASSERT_EQ(machine_->List(Path("C:\\t"), &entries), kOk);
  std::vector<std::string> names;
  for (const EntryInfo& entry : entries) names.push_back(entry.name + (entry.link ? "@" : ""));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"empty", "file.txt", "full", "hidden", "link@", "ro.txt"}));
  EXPECT_EQ(machine_->List(Path("C:\\T\\nothing"), &entries), kPathNotFound);
  EXPECT_EQ(machine_->List(Path("C:\\T\\file.txt"), &entries), kPathNotFound);
}

TEST_F(HostFiles, ListOfAnUnreadableDirectoryIsDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every directory";
  ASSERT_EQ(chmod(prefix_.Host("C:\\T\\full").c_str(), 0311), 0);
  std::vector<EntryInfo> entries;
  EXPECT_EQ(machine_->List(Path("C:\\T\\full"), &entries), kAccessDenied);
}

TEST_F(HostFiles, DeleteFileAnswersAsPromised) {
  const struct {
    const char* path;
    Win32Error error;
  } cases[] = {
      {"C:\\T\\FILE.TXT", kOk},        {"C:\\T\\ro.txt", kAccessDenied},
      {"C:\\T\\empty", kAccessDenied}, {"C:\\T\\nothing", kFileNotFound},
      {"C:\\T\\no\\x", kPathNotFound}, {"C:\\T\\file.txt\\x", kPathNotFound},
      {"C:\\", kAccessDenied},
  };
  for (const auto& c : cases) EXPECT_EQ(machine_->DeleteFile(Path(c.path)), c.error) << c.path;
  EXPECT_FALSE(prefix_.Exists(prefix_.Host("C:\\T\\file.txt")));
  // Read-only holds even for root.
  EXPECT_EQ(prefix_.Read(prefix_.Host("C:\\T\\ro.txt")), "kept");
}

TEST_F(HostFiles, DeleteFileAfterAListingAnswersAsPromisedAlsoForEntriesChangedSince) {
  prefix_.MakeFile(prefix_.Host("C:\\T\\gone.txt"));
  prefix_.MakeFile(prefix_.Host("C:\\T\\now-dir"));
  std::vector<EntryInfo> entries;
  ASSERT_EQ(machine_->List(Path("C:\\T"), &entries), kOk);
  ASSERT_EQ(unlink(prefix_.Host("C:\\T\\gone.txt").c_str()), 0);
  ASSERT_EQ(unlink(prefix_.Host("C:\\T\\now-dir").c_str()), 0);
  prefix_.MakeDirectory(prefix_.Host("C:\\T\\now-dir"));
  const struct {
    const char* path;
    Win32Error error;
  } cases[] = {
      {"C:\\T\\FILE.TXT", kOk},           {"C:\\T\\RO.TXT", kAccessDenied},
      {"C:\\T\\EMPTY", kAccessDenied},    {"C:\\T\\GONE.TXT", kFileNotFound},
      {"C:\\T\\NOW-DIR", kAccessDenied},  {"C:\\T\\LINK", kOk},
      {"C:\\T\\FILE.TXT", kFileNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(machine_->DeleteFile(Path(c.path)), c.error) << c.path;
  EXPECT_EQ(prefix_.Read(prefix_.Host("C:\\T\\ro.txt")), "kept");
  EXPECT_TRUE(prefix_.Exists(prefix_.Host("C:\\T\\now-dir")));
  EXPECT_TRUE(prefix_.Exists(prefix_.Host("C:\\T\\empty")));
}

TEST_F(HostFiles, RemoveDirectoryAnswersAsPromised) {
  const struct {
    const char* path;
    Win32Error error;
  } cases[] = {
      {"C:\\T\\EMPTY", kOk},           {"C:\\T\\full", kDirNotEmpty},
      {"C:\\T\\hidden", kDirNotEmpty}, {"C:\\T\\file.txt", kDirectory},
      {"C:\\T\\link", kDirectory},     {"C:\\T\\nothing", kFileNotFound},
      {"C:\\T\\no\\x", kPathNotFound}, {"C:\\", kAccessDenied},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(machine_->RemoveDirectory(Path(c.path)), c.error) << c.path;
  }
  EXPECT_FALSE(prefix_.Exists(prefix_.Host("C:\\T\\empty")));
  EXPECT_TRUE(prefix_.Exists(prefix_.Host("C:\\T\\link")));
}

TEST_F(HostFiles, ADirectoryRemovedAndMadeAgainIsFoundAgain) {
  ASSERT_EQ(machine_->RemoveDirectory(Path("C:\\T\\empty")), kOk);
  prefix_.MakeFile(prefix_.Host("C:\\T\\empty\\new.txt"));
  EntryInfo info;
  EXPECT_EQ(machine_->Stat(Path("C:\\T\\EMPTY\\NEW.TXT"), &info), kOk);
}

TEST_F(HostFiles, ReadFileGivesTheWholeContent) {
  std::string bytes;
  ASSERT_EQ(machine_->ReadFile(Path("C:\\T\\File.Txt"), &bytes), kOk);
  EXPECT_EQ(bytes, "content");
  EXPECT_EQ(machine_->ReadFile(Path("C:\\T\\empty"), &bytes), kAccessDenied);
  EXPECT_EQ(machine_->ReadFile(Path("C:\\T\\nothing"), &bytes), kFileNotFound);
  EXPECT_EQ(machine_->ReadFile(Path("C:\\T\\no\\x"), &bytes), kPathNotFound);
}

TEST_F(HostFiles, ReplaceFileWritesUnderTheNameAlreadyThereAndLeavesNothingElse) {
  ASSERT_EQ(machine_->ReplaceFile(Path("C:\\T\\FILE.TXT"), "new content"), kOk);
  ASSERT_EQ(machine_->ReplaceFile(Path("C:\\T\\Made.ini"), "[a]\r\n"), kOk);
  EXPECT_EQ(prefix_.Read(prefix_.Host("C:\\T\\file.txt")), "new content");
  EXPECT_EQ(prefix_.Read(prefix_.Host("C:\\T\\Made.ini")), "[a]\r\n");
  EXPECT_EQ(prefix_.Tree(prefix_.Host("C:\\T")),
            (std::vector<std::string>{"Made.ini", "empty/", "file.txt", "full/", "full/x.txt",
                                      "hidden/", "hidden/a:b", "link", "ro.txt"}));
  std::string bytes;
  ASSERT_EQ(machine_->ReadFile(Path("C:\\T\\made.INI"), &bytes), kOk);
  EXPECT_EQ(bytes, "[a]\r\n");
}

TEST_F(HostFiles, ReplaceFileRefusesDirectoriesReadOnlyFilesAndMissingDirectories) {
  EXPECT_EQ(machine_->ReplaceFile(Path("C:\\T\\empty"), "x"), kAccessDenied);
  EXPECT_EQ(machine_->ReplaceFile(Path("C:\\T\\ro.txt"), "x"), kAccessDenied);
  EXPECT_EQ(machine_->ReplaceFile(Path("C:\\T\\no\\x.ini"), "x"), kPathNotFound);
  EXPECT_EQ(prefix_.Read(prefix_.Host("C:\\T\\ro.txt")), "kept");
  EXPECT_FALSE(prefix_.Exists(prefix_.Host("C:\\T\\no")));
}

TEST_F(HostFiles, ReplaceFileThatFailsLeavesTheOldContentWhole) {
  // A file size limit makes the write fail part-way, also for root.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction old_action {};
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old_action), 0);
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 4;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const Win32Error error = machine_->ReplaceFile(Path("C:\\T\\file.txt"), std::string(100, 'x'));
  (void)setrlimit(RLIMIT_FSIZE, &old_limit);
  (void)sigaction(SIGXFSZ, &old_action, nullptr);
  EXPECT_EQ(error, static_cast<Win32Error>(ERROR_DISK_FULL));
  EXPECT_EQ(prefix_.Read(prefix_.Host("C:\\T\\file.txt")), "content");
  EXPECT_EQ(prefix_.Tree(prefix_.Host("C:\\T")).size(), 8u);  // no temporary file left
}

TEST_F(HostFiles, ReplaceFileKeepsTheModeOfTheFileItReplaces) {
  ASSERT_EQ(chmod(prefix_.Host("C:\\T\\file.txt").c_str(), 0604), 0);
  ASSERT_EQ(machine_->ReplaceFile(Path("C:\\T\\file.txt"), "x"), kOk);
  struct stat st {};
  ASSERT_EQ(stat(prefix_.Host("C:\\T\\file.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
}

// More names than one batch of stats holds, some of them read-only: each keeps its attributes,
// and a deletion by a name of another case still sees the read-only bit the listing saw.
TEST(HostFilesAtScale, ALargeDirectoryIsListedAndEmptiedByNamesOfAnyCase) {
  TempPrefix prefix;
  constexpr int kFiles = 3000;
  const auto is_readonly = [](int i) { return i % 7 == 3; };
  for (int i = 0; i < kFiles; ++i) {
    const std::string file = prefix.Host("C:\\Big") + "/file" + std::to_string(i) + ".txt";
    prefix.MakeFile(file);
    if (is_readonly(i)) {
      ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    }
  }
  auto machine = prefix.MakeMachine();
  std::vector<EntryInfo> entries;
  ASSERT_EQ(machine->List(Path("C:\\BIG"), &entries), kOk);
  ASSERT_EQ(entries.size(), static_cast<size_t>(kFiles));
  for (const EntryInfo& entry : entries) {
    EXPECT_EQ(entry.readonly, is_readonly(std::stoi(entry.name.substr(4)))) << entry.name;
  }
  int deleted = 0, denied = 0;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = (i % 2 ? "FILE" : "file") + std::to_string(i) + ".TXT";
    const Win32Error error = machine->DeleteFile(Path("C:\\Big\\" + name));
    deleted += error == kOk;
    denied += error == kAccessDenied && is_readonly(i);
  }
  EXPECT_EQ(deleted + denied, kFiles);
  EXPECT_EQ(prefix.Tree(prefix.Host("C:\\Big")).size(), static_cast<size_t>(denied));
}

}  // namespace
}  // namespace tvx
