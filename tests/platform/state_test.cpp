// Path resolution against the current drive and directory, and the state's life with its machine.
#include "platform/state.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/windows.h"
#include "tests/support/fake_machine.h"

namespace tvx::platform {
namespace {

using testing::FakeMachine;

std::string Resolved(const std::string& path, Win32Error* error) {
  MachinePath out;
  *error = ResolvePath(path, &out);
  return *error == ERROR_SUCCESS ? ToString(out) : "";
}

struct ResolveCase {
  std::string path;
  std::string expected;  // empty when it fails
  Win32Error error = ERROR_SUCCESS;
};

// Started in C:\WORK\SUB, with D:\DATA recorded as drive D's directory.
class ResolveTest : public ::testing::TestWithParam<ResolveCase> {
 protected:
  ResolveTest() {
    fake_.MakeDirectory("C:\\WORK\\SUB");
    fake_.SetStartDirectory("C:\\WORK\\SUB");
  }

  FakeMachine fake_;
  ScopedMachine scope_{fake_};
};

TEST_P(ResolveTest, ResolvesAgainstTheCurrentDriveAndDirectory) {
  MachinePath data;
  data.drive = 'D';
  data.names = {"DATA"};
  const MachinePath current = CurrentDirectory();
  SetCurrentDirectoryState(data, /*record=*/true);
  SetCurrentDirectoryState(current, /*record=*/false);

  Win32Error error = 0;
  EXPECT_EQ(Resolved(GetParam().path, &error), GetParam().expected) << GetParam().path;
  EXPECT_EQ(error, GetParam().error) << GetParam().path;
}

const std::string k259 = "C:\\" + std::string(256, 'x');

INSTANTIATE_TEST_SUITE_P(
    Forms, ResolveTest,
    ::testing::Values(
        ResolveCase{"C:\\A\\B", "C:\\A\\B"}, ResolveCase{"c:/a/b/", "C:\\a\\b"},
        ResolveCase{"C:\\", "C:\\"}, ResolveCase{"C:\\\\A\\\\", "C:\\A"},
        ResolveCase{"A", "C:\\WORK\\SUB\\A"}, ResolveCase{"..\\X", "C:\\WORK\\X"},
        ResolveCase{".", "C:\\WORK\\SUB"}, ResolveCase{"...", "C:\\WORK\\SUB"},
        ResolveCase{"\\X", "C:\\X"}, ResolveCase{"/", "C:\\"}, ResolveCase{"D:X", "D:\\DATA\\X"},
        ResolveCase{"d:", "D:\\DATA"}, ResolveCase{"D:..\\..", "D:\\"}, ResolveCase{"E:X", "E:\\X"},
        ResolveCase{"C:X", "C:\\WORK\\SUB\\X"},  // the current drive: its current directory
        ResolveCase{"x:\\..\\..\\y", "X:\\y"}, ResolveCase{"A. . \\B...", "C:\\WORK\\SUB\\A\\B"},
        ResolveCase{"\\\\server\\share\\a\\..\\..\\b", "\\\\server\\share\\b"},
        ResolveCase{"//server/share", "\\\\server\\share\\"},
        ResolveCase{"\\\\?\\unix\\tmp", "\\\\?\\unix\\tmp"}, ResolveCase{k259, k259},
        ResolveCase{"", "", ERROR_PATH_NOT_FOUND},
        ResolveCase{"\\\\server", "", ERROR_PATH_NOT_FOUND},
        ResolveCase{"\\\\\\share", "", ERROR_PATH_NOT_FOUND},
        ResolveCase{"1:\\x", "", ERROR_PATH_NOT_FOUND},
        ResolveCase{"C:\\a*b", "", ERROR_INVALID_NAME},
        ResolveCase{"C:\\a?b\\c", "", ERROR_INVALID_NAME},
        ResolveCase{"a|b", "", ERROR_INVALID_NAME}, ResolveCase{"a\"b", "", ERROR_INVALID_NAME},
        ResolveCase{"a<b", "", ERROR_INVALID_NAME}, ResolveCase{"a>b", "", ERROR_INVALID_NAME},
        ResolveCase{"C:\\a:b", "", ERROR_INVALID_NAME},
        ResolveCase{"a\x01", "", ERROR_INVALID_NAME},
        ResolveCase{k259 + "x", "", ERROR_FILENAME_EXCED_RANGE},
        ResolveCase{std::string(250, 'y'), "", ERROR_FILENAME_EXCED_RANGE},
        ResolveCase{"C:\\" + std::string(300, 'z') + "\\..", "", ERROR_FILENAME_EXCED_RANGE}));

TEST(MachinePathTest, ComparesIgnoringCaseAndPrintsInWindowsForm) {
  MachinePath a;
  a.drive = 'C';
  a.names = {"caf\xe9", "x"};
  MachinePath b = a;
  b.names = {"CAF\xc9", "X"};
  EXPECT_EQ(a, b);
  EXPECT_EQ(ToString(a), "C:\\caf\xe9\\x");
  EXPECT_EQ(ToString(a.Parent().Parent()), "C:\\");
  EXPECT_TRUE(a.Parent().Parent().Parent().IsRoot());
  EXPECT_EQ(ToString(a.Parent().Child("y")), "C:\\caf\xe9\\y");
  b.drive = 'D';
  EXPECT_FALSE(a == b);
  MachinePath unc;
  unc.unc = "\\\\server\\share";
  EXPECT_EQ(ToString(unc), "\\\\server\\share\\");
  EXPECT_EQ(ToString(unc.Child("a")), "\\\\server\\share\\a");
  MachinePath other = unc;
  other.unc = "\\\\SERVER\\SHARE";
  EXPECT_EQ(unc, other);
  other.unc = "\\\\server\\other";
  EXPECT_FALSE(unc == other);
}

TEST(StateTest, StartsAfreshWheneverTheMachineChanges) {
  FakeMachine first;
  first.MakeDirectory("C:\\ONE");
  first.SetStartDirectory("C:\\ONE");
  FakeMachine second;
  second.AddDrive('D');
  second.SetStartDirectory("D:\\");
  {
    ScopedMachine scope(first);
    EXPECT_EQ(ToString(CurrentDirectory()), "C:\\ONE");
    MachinePath windows = WindowsDirectory();
    SetCurrentDirectoryState(windows, /*record=*/true);
    {
      ScopedMachine inner(second);
      EXPECT_EQ(ToString(CurrentDirectory()), "D:\\");
      EXPECT_EQ(ToString(DriveDirectory('C')), "C:\\");
    }
    // Back on the first machine, nothing of its earlier state is left.
    EXPECT_EQ(ToString(CurrentDirectory()), "C:\\ONE");
    EXPECT_EQ(ToString(DriveDirectory('c')), "C:\\");
  }
  EXPECT_EQ(first.CallsOf("StartDirectory").size(), 2u);
}

TEST(StateTest, RecordsOnlyWhenAskedAndNeverForUncDirectories) {
  FakeMachine fake;
  ScopedMachine scope(fake);
  MachinePath d;
  d.drive = 'D';
  d.names = {"X"};
  SetCurrentDirectoryState(d, /*record=*/false);
  EXPECT_EQ(ToString(DriveDirectory('D')), "D:\\");
  SetCurrentDirectoryState(d, /*record=*/true);
  EXPECT_EQ(ToString(DriveDirectory('D')), "D:\\X");
  MachinePath unc;
  unc.unc = "\\\\s\\t";
  SetCurrentDirectoryState(unc, /*record=*/true);
  EXPECT_EQ(ToString(CurrentDirectory()), "\\\\s\\t\\");
  EXPECT_EQ(ToString(DriveDirectory('D')), "D:\\X");
}

TEST(StateTest, AStartDirectoryLongerThanMaxPathIsKeptButNothingResolvesBelowIt) {
  const std::string deep = "C:\\" + std::string(300, 'd');
  FakeMachine fake;
  fake.SetStartDirectory(deep);
  ScopedMachine scope(fake);
  EXPECT_EQ(ToString(CurrentDirectory()), deep);
  EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), deep.size() + 1);
  Win32Error error = 0;
  (void)Resolved("x", &error);
  EXPECT_EQ(error, static_cast<Win32Error>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(Resolved("C:\\x", &error), "C:\\x");
}

TEST(StateTest, AStartDirectoryThatIsNoAbsolutePathMeansDriveCsRoot) {
  FakeMachine fake;
  fake.SetStartDirectory("relative\\dir");
  ScopedMachine scope(fake);
  EXPECT_EQ(ToString(CurrentDirectory()), "C:\\");
}

TEST(StateTest, WindowsDirectoryIsOnDriveC) {
  EXPECT_EQ(ToString(WindowsDirectory()), "C:\\windows");
}

}  // namespace
}  // namespace tvx::platform
