// Contract tests of directory enumeration on the fake machine and on a host machine over a
// temporary prefix; the matching rules above the seam on the fake machine alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/windows.h"
#include "tests/support/machine_fixture.h"

namespace tvx::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

// Every entry a search delivers, checking that it ends as the platform's searches do; the error
// of a search that finds nothing in `error`.
std::vector<std::string> Find(const std::string& pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  SetLastError(0);
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = GetLastError();
    return names;
  }
  do {
    names.push_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES)) << pattern;
  EXPECT_TRUE(FindClose(search));
  return names;
}

DWORD FindError(const std::string& pattern) {
  DWORD error = 0;
  EXPECT_THAT(Find(pattern, &error), IsEmpty()) << pattern;
  return error;
}

template <class F>
class FindTest : public MachineTest<F> {
 protected:
  FindTest() {
    this->world_.MakeFile("C:\\DIR\\b.txt", "12345");
    this->world_.MakeFile("C:\\DIR\\A.TXT");
    this->world_.MakeFile("C:\\DIR\\NODOT");
    this->world_.MakeDirectory("C:\\DIR\\SUB");
  }
};
TYPED_TEST_SUITE(FindTest, MachineFixtures, MachineFixtureNames);

TYPED_TEST(FindTest, DotsComeFirstInADirectoryButNeverAtADrivesRoot) {
  EXPECT_THAT(Find("C:\\DIR\\*.*"), ElementsAre(".", "..", "A.TXT", "b.txt", "NODOT", "SUB"));
  EXPECT_THAT(Find("C:\\DIR\\SUB\\*"), ElementsAre(".", ".."));
  const std::vector<std::string> root = Find("C:\\*.*");
  EXPECT_THAT(root, ElementsAre("DIR", "windows"));
}

TYPED_TEST(FindTest, FindDataDescribesEachEntry) {
  this->world_.MakeFile("C:\\DIR\\LOCKED.TXT", "", /*readonly=*/true);
  this->world_.MakeLink("C:\\DIR\\LINK", "C:\\DIR\\SUB");
  struct Expected {
    const char* pattern;
    DWORD attributes;
    DWORD size;
  };
  const Expected cases[] = {
      {"C:\\DIR\\B.TXT", FILE_ATTRIBUTE_NORMAL, 5},
      {"C:\\DIR\\SUB", FILE_ATTRIBUTE_DIRECTORY, 0},
      {"C:\\DIR\\LOCKED.TXT", FILE_ATTRIBUTE_READONLY, 0},
      {"C:\\DIR\\LINK", FILE_ATTRIBUTE_REPARSE_POINT, 0},
  };
  for (const Expected& c : cases) {
    WIN32_FIND_DATAA data;
    std::memset(&data, 0x55, sizeof(data));
    HANDLE search = FindFirstFileA(c.pattern, &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << c.pattern;
    EXPECT_EQ(data.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE, c.attributes) << c.pattern;
    if (c.attributes == FILE_ATTRIBUTE_NORMAL) {
      EXPECT_EQ(data.nFileSizeLow, c.size);
      EXPECT_EQ(data.nFileSizeHigh, 0u);
      EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    }
    EXPECT_EQ(data.cAlternateFileName[0], '\0');
    EXPECT_TRUE(FindClose(search));
  }
}

TYPED_TEST(FindTest, SearchEndsWithNoMoreFilesAndRefusesClosedHandles) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\DIR\\A.TXT", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "A.TXT");
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(search));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TYPED_TEST(FindTest, NothingFoundTellsAMissingNameFromAMissingDirectory) {
  this->world_.MakeLink("C:\\LINK", "C:\\DIR");
  EXPECT_EQ(FindError("C:\\DIR\\*.XYZ"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindError("C:\\"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindError("C:\\NONE\\*.*"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindError("NONE\\X.TXT"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindError("C:\\NONE\\"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindError("C:\\DIR\\A.TXT\\*.*"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindError("C:\\LINK\\*.*"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindError("Q:\\*.*"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindError(""), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TYPED_TEST(FindTest, APatternWithoutADirectorySearchesTheCurrentOne) {
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\DIR\\SUB"));
  EXPECT_THAT(Find("*.*"), ElementsAre(".", ".."));
  EXPECT_THAT(Find("C:*.*"), ElementsAre(".", ".."));
  EXPECT_THAT(Find("..\\*.TXT"), ElementsAre("A.TXT", "b.txt"));
  EXPECT_THAT(Find("\\*.*"), ElementsAre("DIR", "windows"));
  EXPECT_THAT(Find("/dir/n*"), ElementsAre("NODOT"));
}

TYPED_TEST(FindTest, NamesMatchIgnoringCaseWithCodePage1252) {
  this->world_.MakeFile("C:\\DIR\\caf\xe9.txt");
  EXPECT_THAT(Find("C:\\DIR\\CAF\xc9.*"), ElementsAre("caf\xe9.txt"));
  EXPECT_THAT(Find("c:\\dir\\nodot"), ElementsAre("NODOT"));
  EXPECT_THAT(Find("C:\\dir\\SUB\\..\\B.TXT"), ElementsAre("b.txt"));
}

TYPED_TEST(FindTest, DeletingWhileWalkingTheResultsDisturbsNothing) {
  WIN32_FIND_DATAA data;
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\DIR"));
  HANDLE search = FindFirstFileA("*.*", &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::string> names;
  do {
    names.push_back(data.cFileName);
    (void)DeleteFileA(data.cFileName);
  } while (FindNextFileA(search, &data));
  EXPECT_TRUE(FindClose(search));
  EXPECT_THAT(names, ElementsAre(".", "..", "A.TXT", "b.txt", "NODOT", "SUB"));
  EXPECT_THAT(Find("*.*"), ElementsAre(".", "..", "SUB"));
}

// --- Above the seam: the fake machine alone.

struct PatternCase {
  const char* pattern;
  std::vector<std::string> names;
};

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, MatchesAsTheRealPlatformHandsPatternsToItsFileSystems) {
  FakeMachine fake;
  for (const char* name : {"A", "A.TXT", "A.B.TXT", "AB", "ABC.TXT", "README", "X.TX", "B.TXTX"}) {
    fake.MakeFile(std::string("C:\\") + name);
  }
  ScopedMachine scope(fake);
  std::vector<std::string> found = Find(std::string("C:\\") + GetParam().pattern);
  std::erase(found, "windows");
  EXPECT_THAT(found, UnorderedElementsAreArray(GetParam().names)) << GetParam().pattern;
}

const std::vector<std::string> kAll = {"A",       "A.TXT",  "A.B.TXT", "AB",
                                       "ABC.TXT", "README", "X.TX",    "B.TXTX"};

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternTest,
    ::testing::Values(PatternCase{"*", kAll}, PatternCase{"*.*", kAll},
                      PatternCase{"*.TXT", {"A.TXT", "A.B.TXT", "ABC.TXT"}},
                      PatternCase{"*.", {"A", "AB", "README"}},  // names without a dot
                      PatternCase{"A?", {"A", "AB"}}, PatternCase{"A?.TXT", {"A.TXT"}},
                      PatternCase{"???", {"A", "AB"}},
                      PatternCase{"a*.*", {"A", "A.TXT", "A.B.TXT", "AB", "ABC.TXT"}},
                      PatternCase{"*.tx?", {"A.TXT", "A.B.TXT", "ABC.TXT", "X.TX"}},
                      PatternCase{"?.*", {"A", "A.TXT", "A.B.TXT", "X.TX", "B.TXTX"}},
                      PatternCase{"*B*", {"A.B.TXT", "AB", "ABC.TXT", "B.TXTX"}},
                      PatternCase{"readme", {"README"}}, PatternCase{"R*E", {"README"}}));

TEST(FindAboveTheSeamTest, ADirectoryTheHostShowsAsARootHasNoDots) {
  FakeMachine fake;
  fake.MakeFile("C:\\MNT\\A.TXT");
  fake.MarkHostRoot("C:\\MNT");
  ScopedMachine scope(fake);
  EXPECT_THAT(Find("C:\\MNT\\*.*"), ElementsAre("A.TXT"));
}

TEST(FindAboveTheSeamTest, AFailingListingIsTheSearchesError) {
  FakeMachine fake;
  fake.MakeDirectory("C:\\SECRET");
  fake.FailListing("C:\\SECRET", ERROR_ACCESS_DENIED);
  ScopedMachine scope(fake);
  EXPECT_EQ(FindError("C:\\SECRET\\*.*"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fake.CallsOf("List"), std::vector<std::string>{"C:\\SECRET"});
}

TEST(FindAboveTheSeamTest, SearchesOfAnEarlierMachineAreRefused) {
  FakeMachine first, second;
  HANDLE search = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data;
  {
    ScopedMachine scope(first);
    search = FindFirstFileA("C:\\*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
  }
  ScopedMachine scope(second);
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(FindAboveTheSeamTest, ALongNameIsRefused) {
  FakeMachine fake;
  ScopedMachine scope(fake);
  EXPECT_EQ(FindError("C:\\" + std::string(MAX_PATH, 'x')),
            static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(FindError("C:\\windows\\" + std::string(250, 'x')),
            static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

}  // namespace
}  // namespace tvx::testing
