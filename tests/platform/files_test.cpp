// Contract tests of the current directory, deletion, removal and path queries, on the fake
// machine and on a host machine over a temporary prefix.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/windows.h"
#include "tests/support/machine_fixture.h"

namespace tvx::testing {
namespace {

std::string Cwd() {
  char buffer[1024];
  const DWORD length = GetCurrentDirectoryA(sizeof(buffer), buffer);
  return std::string(buffer, length);
}

// Fails the call's last error into the test's message, and checks it.
#define EXPECT_FAILS_WITH(call, error)                             \
  do {                                                             \
    SetLastError(0);                                               \
    EXPECT_FALSE(call);                                            \
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)) << #call; \
  } while (0)

template <class F>
class FilesTest : public MachineTest<F> {};
TYPED_TEST_SUITE(FilesTest, MachineFixtures, MachineFixtureNames);

// --- GetCurrentDirectoryA.

TYPED_TEST(FilesTest, CurrentDirectoryHasATrailingBackslashOnlyAtARoot) {
  EXPECT_EQ(Cwd(), "C:\\");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows\\"));
  EXPECT_EQ(Cwd(), "C:\\windows");
}

TYPED_TEST(FilesTest, CurrentDirectoryTooLongForTheBufferGivesTheSizeNeededAndLeavesIt) {
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
  char buffer[16];
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(GetCurrentDirectoryA(10, buffer), 11u);  // "C:\windows" and its zero
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), 11u);
  EXPECT_EQ(GetCurrentDirectoryA(11, buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\windows");
}

// --- SetCurrentDirectoryA.

struct ChdirCase {
  const char* from;
  const char* to;
  const char* expected;
};

TYPED_TEST(FilesTest, SetCurrentDirectoryResolvesEveryPathForm) {
  this->world_.MakeDirectory("C:\\A\\B\\C");
  this->world_.MakeDirectory("C:\\A\\Caf\xe9");
  const ChdirCase cases[] = {
      {"C:\\", "A", "C:\\A"},
      {"C:\\A", "B\\C", "C:\\A\\B\\C"},
      {"C:\\A\\B\\C", "..", "C:\\A\\B"},
      {"C:\\A\\B\\C", "..\\..\\..\\..\\..", "C:\\"},  // ".." above the root stays there
      {"C:\\A\\B", ".\\C\\.", "C:\\A\\B\\C"},
      {"C:\\", "/A/B", "C:\\A\\B"},
      {"C:\\A\\B\\C", "\\A", "C:\\A"},
      {"C:\\", "C:\\A\\B\\", "C:\\A\\B"},
      {"C:\\", "c:\\a\\b", "C:\\a\\b"},  // names keep the case given
      {"C:\\", "A\\B. \\C..", "C:\\A\\B\\C"},
      {"C:\\", "C:\\\\A\\\\B", "C:\\A\\B"},
      {"C:\\A", "C:B", "C:\\A\\B"},  // drive-relative on the current drive
      {"C:\\A\\B", "C:", "C:\\A\\B"},
      {"C:\\", "A\\CAF\xc9", "C:\\A\\CAF\xc9"},
  };
  for (const ChdirCase& c : cases) {
    ASSERT_TRUE(SetCurrentDirectoryA(c.from)) << c.from;
    EXPECT_TRUE(SetCurrentDirectoryA(c.to)) << c.to;
    EXPECT_EQ(Cwd(), c.expected) << c.from << " then " << c.to;
  }
}

TYPED_TEST(FilesTest, SetCurrentDirectoryFailsAndChangesNothingWhenTheTargetIsNoDirectory) {
  this->world_.MakeDirectory("C:\\REAL");
  this->world_.MakeFile("C:\\FILE.TXT");
  this->world_.MakeLink("C:\\LINK", "C:\\REAL");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));

  EXPECT_FAILS_WITH(SetCurrentDirectoryA("C:\\MISSING"), ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("C:\\MISSING\\SUB"), ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("C:\\FILE.TXT"), ERROR_DIRECTORY);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("C:\\LINK"), ERROR_DIRECTORY);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("C:\\LINK\\"), ERROR_DIRECTORY);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("C:\\RE*"), ERROR_INVALID_NAME);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("Q:\\"), ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("Q:"), ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA("[:"), ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA(""), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Cwd(), "C:\\windows");
}

TYPED_TEST(FilesTest, ResolvedPathsOfMaxPathCharactersOrMoreAreRefused) {
  // "C:\" + 200 + "\" + 55 characters: 259, the longest path there is.
  const std::string parent = "C:\\" + std::string(200, 'p');
  const std::string longest = parent + "\\" + std::string(55, 'q');
  this->world_.MakeDirectory(longest + "x");
  this->world_.MakeDirectory(longest);
  ASSERT_EQ(longest.size(), 259u);

  EXPECT_TRUE(SetCurrentDirectoryA(longest.c_str()));
  EXPECT_EQ(Cwd(), longest);
  EXPECT_FAILS_WITH(SetCurrentDirectoryA((longest + "x").c_str()), ERROR_FILENAME_EXCED_RANGE);
  ASSERT_TRUE(SetCurrentDirectoryA(parent.c_str()));
  // A relative name that grows past the limit once made absolute fails just the same.
  EXPECT_FAILS_WITH(SetCurrentDirectoryA((std::string(55, 'q') + "x").c_str()),
                    ERROR_FILENAME_EXCED_RANGE);
  EXPECT_FAILS_WITH(DeleteFileA((longest + "x").c_str()), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(Cwd(), parent);
}

TYPED_TEST(FilesTest, DriveWithoutARecordIsEnteredAtItsRootAndSetCurrentDirectoryRecordsNone) {
  this->world_.AddDrive('D');
  this->world_.MakeDirectory("D:\\WORK");
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\WORK"));
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
  EXPECT_TRUE(SetCurrentDirectoryA("D:"));
  EXPECT_EQ(Cwd(), "D:\\");
  EXPECT_TRUE(SetCurrentDirectoryA("d:work"));
  EXPECT_EQ(Cwd(), "D:\\work");
}

TYPED_TEST(FilesTest, StartsInTheMachinesStartDirectory) {
  this->world_.MakeDirectory("C:\\WORK\\HERE");
  this->world_.Start("C:\\WORK\\HERE");
  EXPECT_TRUE(cp1252::EqualsIgnoringCase(Cwd(), "C:\\WORK\\HERE")) << Cwd();
  const std::string outside = this->world_.StartOutsideDrives();
  EXPECT_EQ(Cwd(), outside);
  EXPECT_EQ(outside.substr(0, 2), "\\\\");
}

// --- DeleteFileA.

TYPED_TEST(FilesTest, DeleteFileFindsTheNameIgnoringCaseWithCodePage1252) {
  this->world_.MakeFile("C:\\DIR\\caf\xe9.txt");
  this->world_.MakeFile("C:\\DIR\\readme.txt");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\DIR"));
  EXPECT_TRUE(DeleteFileA("C:\\DIR\\CAF\xc9.TXT"));
  EXPECT_TRUE(DeleteFileA("README.TXT"));
  EXPECT_FALSE(this->world_.Exists("C:\\DIR\\caf\xe9.txt"));
  EXPECT_FALSE(this->world_.Exists("C:\\DIR\\readme.txt"));
}

TYPED_TEST(FilesTest, DeleteFileRefusesWhatIsNoDeletableFile) {
  this->world_.MakeFile("C:\\DIR\\LOCKED.DAT", "x", /*readonly=*/true);
  this->world_.MakeDirectory("C:\\DIR\\SUB");
  EXPECT_FAILS_WITH(DeleteFileA("C:\\DIR\\LOCKED.DAT"), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(DeleteFileA("C:\\DIR\\SUB"), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(DeleteFileA("C:\\DIR\\NONE.DAT"), ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(DeleteFileA("C:\\NONE\\NONE.DAT"), ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(DeleteFileA("C:\\DIR\\*.DAT"), ERROR_INVALID_NAME);
  EXPECT_FAILS_WITH(DeleteFileA("C:\\"), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(DeleteFileA(""), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(this->world_.Exists("C:\\DIR\\LOCKED.DAT"));
  EXPECT_TRUE(this->world_.Exists("C:\\DIR\\SUB"));
}

TYPED_TEST(FilesTest, DeleteFileRemovesALinkItselfAndNeverGoesThroughOne) {
  this->world_.MakeFile("C:\\REAL\\KEEP.TXT");
  this->world_.MakeLink("C:\\DIR\\TO_DIR", "C:\\REAL");
  this->world_.MakeLink("C:\\DIR\\TO_FILE", "C:\\REAL\\KEEP.TXT");
  EXPECT_FAILS_WITH(DeleteFileA("C:\\DIR\\TO_DIR\\KEEP.TXT"), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(DeleteFileA("C:\\DIR\\TO_DIR"));
  EXPECT_TRUE(DeleteFileA("C:\\DIR\\TO_FILE"));
  EXPECT_FALSE(this->world_.Exists("C:\\DIR\\TO_DIR"));
  EXPECT_FALSE(this->world_.Exists("C:\\DIR\\TO_FILE"));
  EXPECT_TRUE(this->world_.Exists("C:\\REAL\\KEEP.TXT"));
}

// --- RemoveDirectoryA.

TYPED_TEST(FilesTest, RemoveDirectoryRemovesOnlyAnEmptyDirectory) {
  this->world_.MakeFile("C:\\DIR\\FULL\\A.TXT");
  this->world_.MakeDirectory("C:\\DIR\\EMPTY");
  this->world_.MakeFile("C:\\DIR\\FILE.TXT");
  EXPECT_TRUE(RemoveDirectoryA("C:\\dir\\empty"));
  EXPECT_FALSE(this->world_.Exists("C:\\DIR\\EMPTY"));
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\DIR\\FULL"), ERROR_DIR_NOT_EMPTY);
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\DIR\\FILE.TXT"), ERROR_DIRECTORY);
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\DIR\\NONE"), ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\"), ERROR_ACCESS_DENIED);
}

TYPED_TEST(FilesTest, RemoveDirectoryRefusesTheCurrentDirectoryAndTheOnesAboveIt) {
  this->world_.MakeDirectory("C:\\UP\\HERE");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\UP\\HERE"));
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\UP\\HERE"), ERROR_SHARING_VIOLATION);
  EXPECT_FAILS_WITH(RemoveDirectoryA("."), ERROR_SHARING_VIOLATION);
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\up"), ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_TRUE(RemoveDirectoryA("HERE"));
}

TYPED_TEST(FilesTest, RemoveDirectoryNeverRemovesOrEntersALink) {
  this->world_.MakeDirectory("C:\\REAL\\EMPTY");
  this->world_.MakeLink("C:\\LINK", "C:\\REAL");
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\LINK"), ERROR_DIRECTORY);
  EXPECT_FAILS_WITH(RemoveDirectoryA("C:\\LINK\\EMPTY"), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(this->world_.Exists("C:\\REAL\\EMPTY"));
  EXPECT_TRUE(this->world_.Exists("C:\\LINK"));
}

// --- Queries.

TYPED_TEST(FilesTest, FileAttributesTellDirectoriesReadOnlyFilesAndLinks) {
  this->world_.MakeFile("C:\\DIR\\PLAIN.TXT", "abc");
  this->world_.MakeFile("C:\\DIR\\LOCKED.TXT", "abc", /*readonly=*/true);
  this->world_.MakeLink("C:\\DIR\\LINK", "C:\\windows");
  EXPECT_EQ(GetFileAttributesA("C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA("c:\\dir"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA("C:\\DIR\\PLAIN.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA("C:\\DIR\\LOCKED.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA("C:\\DIR\\LINK") &
                (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY),
            static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
  SetLastError(0);
  EXPECT_EQ(GetFileAttributesA("C:\\DIR\\NONE"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("Q:\\"), INVALID_FILE_ATTRIBUTES);
}

TYPED_TEST(FilesTest, FullPathNameResolvesAgainstTheCurrentDirectory) {
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
  char buffer[MAX_PATH];
  char* file_part = nullptr;
  EXPECT_EQ(GetFullPathNameA("..\\x\\tavox.ini", MAX_PATH, buffer, &file_part), 14u);
  EXPECT_STREQ(buffer, "C:\\x\\tavox.ini");
  EXPECT_STREQ(file_part, "tavox.ini");
  EXPECT_EQ(GetFullPathNameA("tavox.ini", 5, buffer, nullptr), 21u);
  EXPECT_EQ(GetFullPathNameA("\\", MAX_PATH, buffer, &file_part), 3u);
  EXPECT_EQ(file_part, nullptr);
  EXPECT_EQ(GetFullPathNameA("C:\\TAVOX\\.\\", MAX_PATH, buffer, &file_part), 9u);
  EXPECT_STREQ(buffer, "C:\\TAVOX\\");
  EXPECT_EQ(file_part, nullptr);
  EXPECT_EQ(GetFullPathNameA("C:\\TAVOX\\..\\", MAX_PATH, buffer, nullptr), 3u);
}

TYPED_TEST(FilesTest, WindowsDirectoryIsOnDriveC) {
  char buffer[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 10u);
  EXPECT_STREQ(buffer, "C:\\windows");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), 11u);
  EXPECT_EQ(GetFileAttributesA(buffer), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// --- Above the seam only: what the machine answers is given.

TEST(ModuleFileNameTest, CopiesTheMachinesNameAndTruncatesLikeThePlatform) {
  FakeMachine fake;
  fake.SetModuleFileName("C:\\APP\\TAVOX.EXE");
  ScopedMachine scope(fake);
  char buffer[32];
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof(buffer)), 16u);
  EXPECT_STREQ(buffer, "C:\\APP\\TAVOX.EXE");
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 8), 8u);
  EXPECT_STREQ(buffer, "C:\\APP\\");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 16), 16u);
  EXPECT_STREQ(buffer, "C:\\APP\\TAVOX.EX");
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 17), 16u);
}

TEST(DeleteFileTest, RefusesAFileInUse) {
  FakeMachine fake;
  fake.MakeFile("C:\\BUSY.DLL");
  fake.SetInUse("C:\\BUSY.DLL");
  ScopedMachine scope(fake);
  EXPECT_FAILS_WITH(DeleteFileA("C:\\BUSY.DLL"), ERROR_SHARING_VIOLATION);
}

}  // namespace
}  // namespace tvx::testing
