// The C run-time subset: the directory calls on both machines, the pure ones on their own.
#include "platform/crt.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/windows.h"
#include "tests/support/machine_fixture.h"

namespace tvx::testing {
namespace {

std::string Getcwd() {
  char buffer[1024];
  return crt::_getcwd(buffer, sizeof(buffer)) != nullptr ? buffer : "<none>";
}

// A failing run-time call: -1, then errno (and the Win32 error behind it).
#define EXPECT_CRT_FAILS_WITH(call, errno_value)    \
  do {                                              \
    crt::_errno() = 0;                              \
    EXPECT_EQ(call, -1) << #call;                   \
    EXPECT_EQ(crt::_errno(), errno_value) << #call; \
  } while (0)

template <class F>
class CrtTest : public MachineTest<F> {
 protected:
  CrtTest() {
    this->world_.AddDrive('D');
    this->world_.MakeDirectory("D:\\WORK\\DEEP");
  }
};
TYPED_TEST_SUITE(CrtTest, MachineFixtures, MachineFixtureNames);

// --- _getcwd and _getdrive.

TYPED_TEST(CrtTest, GetcwdFailsWithErangeOnlyPastItsBuffer) {
  ASSERT_EQ(crt::_chdir("C:\\windows"), 0);
  char buffer[16];
  EXPECT_EQ(crt::_getcwd(buffer, 11), buffer);
  EXPECT_STREQ(buffer, "C:\\windows");
  crt::_errno() = 0;
  EXPECT_EQ(crt::_getcwd(buffer, 10), nullptr);
  EXPECT_EQ(crt::_errno(), crt::kERANGE);
}

TYPED_TEST(CrtTest, GetcwdAllocatesWhenGivenNoBuffer) {
  ASSERT_EQ(crt::_chdir("D:\\WORK\\DEEP"), 0);
  char* small = crt::_getcwd(nullptr, 4);  // at least 4 bytes, more when the path needs them
  ASSERT_NE(small, nullptr);
  EXPECT_STREQ(small, "D:\\WORK\\DEEP");
  std::free(small);
}

TYPED_TEST(CrtTest, GetcwdFailsForACurrentDirectoryOf256CharactersInItsSavingBuffer) {
  const std::string dir = "C:\\" + std::string(252, 'a');  // 255 characters
  this->world_.MakeDirectory(dir);
  this->world_.MakeDirectory(dir + "b");
  ASSERT_EQ(crt::_chdir(dir.c_str()), 0);
  char buffer[256];
  EXPECT_EQ(crt::_getcwd(buffer, sizeof(buffer)), buffer);
  ASSERT_EQ(crt::_chdir((dir + "b").c_str()), 0);
  EXPECT_EQ(crt::_getcwd(buffer, sizeof(buffer)), nullptr);
}

TYPED_TEST(CrtTest, GetdriveNumbersTheCurrentDriveAndIsZeroOutsideEveryDrive) {
  EXPECT_EQ(crt::_getdrive(), 3);
  ASSERT_EQ(crt::_chdir("d:\\work"), 0);
  EXPECT_EQ(crt::_getdrive(), 4);
  (void)this->world_.StartOutsideDrives();
  EXPECT_EQ(crt::_getdrive(), 0);
  EXPECT_EQ(Getcwd().substr(0, 2), "\\\\");
}

TYPED_TEST(CrtTest, ChdirIntoADirectoryOutsideEveryDriveRecordsNothing) {
  const std::string outside = this->world_.StartOutsideDrives();
  ASSERT_EQ(crt::_chdir("C:\\windows"), 0);
  ASSERT_EQ(crt::_chdir(outside.c_str()), 0);
  EXPECT_EQ(Getcwd(), outside);
  EXPECT_EQ(crt::_getdrive(), 0);
  EXPECT_EQ(crt::_chdrive(3), 0);
  EXPECT_EQ(Getcwd(), "C:\\windows");
}

// --- _chdir and _chdrive and the per-drive records.

TYPED_TEST(CrtTest, ChdirRecordsTheDirectoryThatChdriveReturnsTo) {
  ASSERT_EQ(crt::_chdir("D:\\WORK\\DEEP"), 0);
  ASSERT_EQ(crt::_chdir("C:\\windows"), 0);
  EXPECT_EQ(crt::_getdrive(), 3);
  EXPECT_EQ(crt::_chdrive(4), 0);
  EXPECT_EQ(Getcwd(), "D:\\WORK\\DEEP");
  EXPECT_EQ(crt::_chdrive(3), 0);
  EXPECT_EQ(Getcwd(), "C:\\windows");
}

TYPED_TEST(CrtTest, SetCurrentDirectoryRecordsNothingForChdrive) {
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\WORK"));
  ASSERT_EQ(crt::_chdir("C:\\windows"), 0);
  EXPECT_EQ(crt::_chdrive(4), 0);
  EXPECT_EQ(Getcwd(), "D:\\");
}

TYPED_TEST(CrtTest, ChdriveToTheCurrentDriveStaysInItsDirectory) {
  ASSERT_TRUE(SetCurrentDirectoryA("D:\\WORK"));
  EXPECT_EQ(crt::_chdrive(4), 0);
  EXPECT_EQ(Getcwd(), "D:\\WORK");
}

TYPED_TEST(CrtTest, ChdriveRefusesNumbersOutsideOneTo31AndDrivesThatCannotBeCurrent) {
  ASSERT_EQ(crt::_chdir("C:\\windows"), 0);
  for (int drive : {0, -1, 32, 1000}) {
    crt::_doserrno() = 0;
    EXPECT_CRT_FAILS_WITH(crt::_chdrive(drive), crt::kEACCES);
    EXPECT_EQ(crt::_doserrno(), static_cast<unsigned long>(ERROR_INVALID_DRIVE));
  }
  // 27 to 31 pass the range check and name "[:" to "_:", which no machine has.
  for (int drive = 27; drive <= 31; ++drive) EXPECT_EQ(crt::_chdrive(drive), -1) << drive;
  EXPECT_CRT_FAILS_WITH(crt::_chdrive(17), crt::kENOENT);  // Q: is not there
  EXPECT_EQ(Getcwd(), "C:\\windows");
}

TYPED_TEST(CrtTest, ChdirFailsWithErrnoFromTheWin32ErrorAndChangesNothing) {
  this->world_.MakeFile("C:\\FILE.TXT");
  ASSERT_EQ(crt::_chdir("D:\\WORK"), 0);
  EXPECT_CRT_FAILS_WITH(crt::_chdir("C:\\MISSING"), crt::kENOENT);
  EXPECT_CRT_FAILS_WITH(crt::_chdir("C:\\MISSING\\SUB"), crt::kENOENT);
  EXPECT_CRT_FAILS_WITH(crt::_chdir("C:\\FILE.TXT"), crt::kEINVAL);  // ERROR_DIRECTORY
  EXPECT_CRT_FAILS_WITH(crt::_chdir(("C:\\" + std::string(300, 'x')).c_str()), crt::kENOENT);
  EXPECT_EQ(Getcwd(), "D:\\WORK");
  EXPECT_EQ(crt::_getdrive(), 4);
}

TYPED_TEST(CrtTest, ChdirWithARelativePathRecordsTheFullDirectory) {
  ASSERT_EQ(crt::_chdir("D:\\WORK"), 0);
  ASSERT_EQ(crt::_chdir("DEEP"), 0);
  ASSERT_EQ(crt::_chdir("C:\\"), 0);
  EXPECT_EQ(crt::_chdrive(4), 0);
  EXPECT_EQ(Getcwd(), "D:\\WORK\\DEEP");
}

// --- remove and _rmdir.

TYPED_TEST(CrtTest, RemoveDeletesFilesAndMapsEachRefusalToErrno) {
  this->world_.MakeFile("C:\\DIR\\A.TXT");
  this->world_.MakeFile("C:\\DIR\\LOCKED.TXT", "x", /*readonly=*/true);
  EXPECT_EQ(crt::remove("C:\\DIR\\a.txt"), 0);
  EXPECT_FALSE(this->world_.Exists("C:\\DIR\\A.TXT"));
  EXPECT_CRT_FAILS_WITH(crt::remove("C:\\DIR\\LOCKED.TXT"), crt::kEACCES);
  EXPECT_EQ(crt::_doserrno(), static_cast<unsigned long>(ERROR_ACCESS_DENIED));
  // A directory: DeleteFileA's access denied maps to EACCES (the run-time's page says ENOENT).
  EXPECT_CRT_FAILS_WITH(crt::remove("C:\\DIR"), crt::kEACCES);
  EXPECT_CRT_FAILS_WITH(crt::remove("C:\\DIR\\NONE.TXT"), crt::kENOENT);
  EXPECT_CRT_FAILS_WITH(crt::remove(("C:\\DIR\\" + std::string(260, 'x')).c_str()), crt::kENOENT);
  EXPECT_TRUE(this->world_.Exists("C:\\DIR\\LOCKED.TXT"));
}

TYPED_TEST(CrtTest, RmdirRemovesOnlyAnEmptyDirectoryThatIsNotCurrent) {
  this->world_.MakeFile("C:\\FULL\\A.TXT");
  this->world_.MakeDirectory("C:\\EMPTY");
  EXPECT_CRT_FAILS_WITH(crt::_rmdir("C:\\FULL"), crt::kENOTEMPTY);
  EXPECT_CRT_FAILS_WITH(crt::_rmdir("C:\\NONE"), crt::kENOENT);
  ASSERT_EQ(crt::_chdir("C:\\EMPTY"), 0);
  EXPECT_EQ(crt::_rmdir("C:\\EMPTY"), -1);  // the current directory, whichever errno
  ASSERT_EQ(crt::_chdir("C:\\"), 0);
  EXPECT_EQ(crt::_rmdir("C:\\EMPTY"), 0);
  EXPECT_FALSE(this->world_.Exists("C:\\EMPTY"));
}

// --- The pure functions.

struct SplitCase {
  const char* path;
  const char* drive;
  const char* dir;
  const char* fname;
  const char* ext;
};

class SplitpathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitpathTest, SplitsIntoDriveDirectoryNameAndExtension) {
  const SplitCase& c = GetParam();
  char drive[crt::_MAX_DRIVE], dir[crt::_MAX_DIR], fname[crt::_MAX_FNAME], ext[crt::_MAX_EXT];
  crt::_splitpath(c.path, drive, dir, fname, ext);
  EXPECT_STREQ(drive, c.drive);
  EXPECT_STREQ(dir, c.dir);
  EXPECT_STREQ(fname, c.fname);
  EXPECT_STREQ(ext, c.ext);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitpathTest,
    ::testing::Values(SplitCase{"C:\\TAVOX", "C:", "\\", "TAVOX", ""},
                      SplitCase{"C:", "C:", "", "", ""}, SplitCase{"dir\\", "", "dir\\", "", ""},
                      SplitCase{"c:\\a\\b.c.d", "c:", "\\a\\", "b.c", ".d"},
                      SplitCase{"a/b\\c", "", "a/b\\", "c", ""},
                      SplitCase{"\\\\srv\\share\\f.txt", "", "\\\\srv\\share\\", "f", ".txt"},
                      SplitCase{".profile", "", "", "", ".profile"},
                      SplitCase{"1:x. y", "1:", "", "x", ". y"},  // no check of the letter
                      SplitCase{"C:\\x.d\\name", "C:", "\\x.d\\", "name", ""},
                      SplitCase{"", "", "", "", ""},
                      // Code page 1252 is single-byte: 5C after 83 is a separator.
                      SplitCase{"c:\\\x83\\\x83t\x83g.bin", "c:", "\\\x83\\", "\x83t\x83g",
                                ".bin"}));

TEST(SplitpathLimitsTest, CutsEachPartToItsBufferAndAcceptsNullOutputs) {
  const std::string long_dir =
      "C:\\" + std::string(300, 'd') + "\\" + std::string(300, 'f') + "." + std::string(300, 'e');
  char drive[crt::_MAX_DRIVE], dir[crt::_MAX_DIR], fname[crt::_MAX_FNAME], ext[crt::_MAX_EXT];
  crt::_splitpath(long_dir.c_str(), drive, dir, fname, ext);
  EXPECT_STREQ(drive, "C:");
  EXPECT_EQ(std::strlen(dir), 255u);
  EXPECT_EQ(std::strlen(fname), 255u);
  EXPECT_EQ(std::strlen(ext), 255u);
  crt::_splitpath("C:\\A\\B.C", drive, dir, nullptr, nullptr);
  EXPECT_STREQ(dir, "\\A\\");
}

int Sign(int value) {
  return (value > 0) - (value < 0);
}

struct CompareCase {
  const char* a;
  const char* b;
  int exact;     // sign of _mbscmp
  int ignoring;  // sign of _mbsicmp
};

TEST(CompareTest, MbscmpComparesBytesAndMbsicmpFoldsOnlyAsciiLetters) {
  const CompareCase cases[] = {
      {"SYSTEM", "SYSTEM", 0, 0},
      {"system", "SYSTEM", 1, 0},
      {"", "", 0, 0},
      {"", "A", -1, -1},
      {"ABC", "AB", 1, 1},
      {"JOHN_HENRY", "JOHNSTON", 1, -1},  // "_" sits below "s" once folded
      {"Z", "[", -1, 1},                  // folding lowers: "z" sits above "["
      {"\xe9", "\xc9", 1, 1},             // accents never fold in the default locale
      {"\xa5", "\xb9", -1, -1},
      {"DEISL1.ISU", "deisl1.isu", -1, 0},
      {"\x9a", "\x8a", 1, 1},
      {"a\x80", "A\x7f", 1, 1},  // bytes compare unsigned
      {"[", "{", -1, -1},
      {"@", "`", -1, -1},
  };
  for (const CompareCase& c : cases) {
    const auto* a = reinterpret_cast<const unsigned char*>(c.a);
    const auto* b = reinterpret_cast<const unsigned char*>(c.b);
    EXPECT_EQ(Sign(crt::_mbscmp(a, b)), c.exact) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(crt::_mbsicmp(a, b)), c.ignoring) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(crt::_mbsicmp(b, a)), -c.ignoring) << c.b << " / " << c.a;
  }
}

}  // namespace
}  // namespace tvx::testing
