#include <ostream>
#include <string>
#include <vector>

#include "app/uninstall_app.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/fake_machine.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using tvx::testing::FakeMachine;

constexpr char kCommand[] = "C:\\WINDOWS\\UNINST.EXE -f\"C:\\TAVOX\\DEISL1.ISU\"";

class SweepTest : public ::testing::Test {
 protected:
  SweepTest() { fake_.MakeDirectory("C:\\TAVOX"); }

  void Sweep(const CString& path, const CString& command, int mode) {
    app_.SweepDirectory(path, command, mode);
  }
  std::vector<std::string> Left() const { return fake_.Tree("C:\\TAVOX"); }
  std::string CurrentDirectory() const {
    char szDir[MAX_PATH];
    return crt::_getcwd(szDir, MAX_PATH) != nullptr ? szDir : "<none>";
  }

  // Every level of the product directory holds one entry of each kind the keep rules name.
  void MakeLevel(const std::string& dir, bool system_file = true) {
    fake_.MakeFile(dir + "\\README.TXT");
    if (system_file) fake_.MakeFile(dir + "\\SYSTEM");
    fake_.MakeFile(dir + "\\DEISL1.ISU");
    fake_.MakeFile(dir + "\\DEISL2.ISU");
    fake_.MakeFile(dir + "\\UNISTX01.EXE");
    fake_.MakeFile(dir + "\\UNISTX01.DLL");
    fake_.MakeDirectory(dir + "\\DATA");
    fake_.MakeFile(dir + "\\DATA\\LEVEL.DAT");
  }

  FakeMachine fake_;
  tvx::ScopedMachine scope_{fake_};
  CUninstallApp app_;
};

TEST_F(SweepTest, SelectivePassKeepsTheUninstallersEntriesAtEveryDepth) {
  MakeLevel("C:\\TAVOX");
  fake_.MakeDirectory("C:\\TAVOX\\SYSTEM.DIR");
  fake_.MakeDirectory("C:\\TAVOX\\GAME\\SYSTEM");
  fake_.MakeFile("C:\\TAVOX\\GAME\\SYSTEM\\KEPT.DLL");
  MakeLevel("C:\\TAVOX\\GAME", /*system_file=*/false);
  MakeLevel("C:\\TAVOX\\GAME\\LEVELS");

  Sweep("C:\\TAVOX", kCommand, SWEEP_SELECTIVE);

  EXPECT_THAT(Left(),
              ElementsAre("DEISL1.ISU", "GAME\\", "GAME\\DEISL1.ISU", "GAME\\LEVELS\\",
                          "GAME\\LEVELS\\DEISL1.ISU", "GAME\\LEVELS\\SYSTEM",
                          "GAME\\LEVELS\\UNISTX01.EXE", "GAME\\SYSTEM\\", "GAME\\SYSTEM\\KEPT.DLL",
                          "GAME\\UNISTX01.EXE", "SYSTEM", "UNISTX01.EXE"));
}

TEST_F(SweepTest, CompletePassDeletesEverythingButTheDirectoryItself) {
  MakeLevel("C:\\TAVOX");
  fake_.MakeDirectory("C:\\TAVOX\\GAME\\SYSTEM");
  fake_.MakeFile("C:\\TAVOX\\GAME\\SYSTEM\\KEPT.DLL");
  MakeLevel("C:\\TAVOX\\GAME", /*system_file=*/false);

  Sweep("C:\\TAVOX", kCommand, SWEEP_ALL);

  EXPECT_THAT(Left(), IsEmpty());
  EXPECT_TRUE(fake_.IsDirectory("C:\\TAVOX"));
}

TEST_F(SweepTest, AnyModeOtherThanAllIsSelective) {
  MakeLevel("C:\\TAVOX");
  Sweep("C:\\TAVOX", kCommand, 2);
  EXPECT_TRUE(fake_.Exists("C:\\TAVOX\\SYSTEM"));
  EXPECT_FALSE(fake_.Exists("C:\\TAVOX\\README.TXT"));
}

struct TailCase {
  const char* command;
  const char* name;  // as stored on disk
  bool kept;
};

void PrintTo(const TailCase& c, std::ostream* os) {
  *os << '"' << c.name << "\" with \"" << c.command << '"';
}

class CommandTailTest : public SweepTest, public ::testing::WithParamInterface<TailCase> {};

TEST_P(CommandTailTest, KeepsTheFileTheCommandNames) {
  const TailCase& c = GetParam();
  fake_.MakeFile(std::string("C:\\TAVOX\\") + c.name);
  Sweep("C:\\TAVOX", c.command, SWEEP_SELECTIVE);
  EXPECT_EQ(fake_.Exists(std::string("C:\\TAVOX\\") + c.name), c.kept) << c.command;
}

INSTANTIATE_TEST_SUITE_P(
    Tails, CommandTailTest,
    ::testing::Values(
        TailCase{"C:\\U.EXE -fC:\\TAVOX\\DEISL1.ISU", "DEISL1.ISU", true},
        TailCase{"C:\\U.EXE -f\"C:\\TAVOX\\DEISL1.ISU\"", "DEISL1.ISU", true},
        TailCase{"C:\\U.EXE -fC:\\TAVOX\\DEISL1.ISU \" ", "DEISL1.ISU", true},
        TailCase{"C:\\U.EXE -fc:\\tavox\\deisl1.isu", "DEISL1.ISU", true},
        TailCase{"C:\\U.EXE -fC:\\TAVOX\\DEISL1.ISU", "deisl1.isu", true},
        TailCase{"C:\\U.EXE -fC:\\TAVOX\\DEISL9.ISU", "DEISL1.ISU", false},
        TailCase{"C:\\U.EXE -fC:\\TAVOX\\XXDEISL1.ISU", "XXDEISL1.ISU", false},
        TailCase{"DEISL1", "DEISL1", true}, TailCase{"DEISL1", "DEISL1.ISU", false},
        TailCase{"", "DEISL1.ISU", false},
        // The listing upper-cases the e with acute accent; the comparison folds only A to Z.
        TailCase{"C:\\U.EXE -fC:\\TAVOX\\deisl\xe9.isu", "deisl\xe9.isu", false},
        TailCase{"", "SYSTEM", true}, TailCase{"", "system", true},
        TailCase{"", "UNISTX.EXE", true}, TailCase{"", "unistx2.exe", true},
        TailCase{"", "UNISTX.EX", false}, TailCase{"", "SYSTEMS", false}));

TEST_F(SweepTest, DeletesNamesInCapitalsWhateverTheirCaseOnDisk) {
  fake_.MakeFile("C:\\TAVOX\\readme.txt");
  fake_.MakeDirectory("C:\\TAVOX\\system");
  Sweep("C:\\TAVOX", "", SWEEP_SELECTIVE);
  EXPECT_THAT(fake_.CallsOf("DeleteFile"), ElementsAre("C:\\TAVOX\\README.TXT"));
  EXPECT_TRUE(fake_.IsDirectory("C:\\TAVOX\\system"));
}

TEST_F(SweepTest, ListsEachDirectoryWholeBeforeDeletingFromIt) {
  fake_.MakeFile("C:\\TAVOX\\A.TXT");
  fake_.MakeFile("C:\\TAVOX\\B.TXT");
  Sweep("C:\\TAVOX", "", SWEEP_ALL);
  std::vector<std::string> order;
  for (const std::string& call : fake_.calls) {
    if (call.rfind("List ", 0) == 0 || call.rfind("DeleteFile ", 0) == 0) order.push_back(call);
  }
  ASSERT_GE(order.size(), 3u);
  EXPECT_EQ(order.front().rfind("List ", 0), 0u);
  EXPECT_EQ(fake_.CallsOf("DeleteFile").size(), 2u);
}

TEST_F(SweepTest, ReadOnlyFileStaysWithItsDirectories) {
  fake_.MakeFile("C:\\TAVOX\\SUB\\LOCKED.DAT", "x", /*readonly=*/true);
  fake_.MakeFile("C:\\TAVOX\\SUB\\FREE.DAT");
  Sweep("C:\\TAVOX", "", SWEEP_SELECTIVE);
  Sweep("C:\\TAVOX", "", SWEEP_ALL);
  EXPECT_THAT(Left(), ElementsAre("SUB\\", "SUB\\LOCKED.DAT"));
}

TEST_F(SweepTest, FileInUseStays) {
  fake_.MakeFile("C:\\TAVOX\\BUSY.DLL");
  fake_.SetInUse("C:\\TAVOX\\BUSY.DLL");
  Sweep("C:\\TAVOX", "", SWEEP_ALL);
  EXPECT_THAT(Left(), ElementsAre("BUSY.DLL"));
}

TEST_F(SweepTest, RestoresTheDriveAndDirectoryItFound) {
  fake_.AddDrive('D');
  fake_.MakeDirectory("D:\\WORK");
  ASSERT_EQ(crt::_chdir("D:\\WORK"), 0);
  fake_.MakeFile("C:\\TAVOX\\SUB\\A.TXT");

  Sweep("C:\\TAVOX", "", SWEEP_ALL);

  EXPECT_EQ(CurrentDirectory(), "D:\\WORK");
  EXPECT_EQ(crt::_getdrive(), 4);
  EXPECT_THAT(Left(), IsEmpty());
}

TEST_F(SweepTest, EmptyOrMissingDirectoryChangesNothing) {
  ASSERT_EQ(crt::_chdir("C:\\windows"), 0);
  Sweep("C:\\TAVOX", "", SWEEP_ALL);
  Sweep("C:\\NOWHERE", "", SWEEP_ALL);
  EXPECT_THAT(fake_.CallsOf("DeleteFile"), IsEmpty());
  EXPECT_EQ(CurrentDirectory(), "C:\\windows");
}

TEST_F(SweepTest, PathWithoutDriveLetterIsNotSwept) {
  fake_.MakeFile("C:\\TAVOX\\A.TXT");
  for (const char* path : {"\\TAVOX", "TAVOX", "\\\\server\\share\\TAVOX", "C", ""}) {
    Sweep(path, "", SWEEP_ALL);
  }
  EXPECT_THAT(fake_.CallsOf("DeleteFile"), IsEmpty());
}

TEST_F(SweepTest, SmallDriveLetterIsAccepted) {
  fake_.MakeFile("C:\\TAVOX\\A.TXT");
  Sweep("c:\\tavox", "", SWEEP_ALL);
  EXPECT_THAT(Left(), IsEmpty());
}

TEST_F(SweepTest, UncStartDirectoryIsCurrentAgainAfterwards) {
  fake_.MakeDirectory("\\\\server\\share\\work");
  fake_.SetStartDirectory("\\\\server\\share\\work");
  tvx::ScopedMachine fresh(fake_);  // the start directory is read when a machine becomes current
  fake_.MakeFile("C:\\TAVOX\\A.TXT");

  Sweep("C:\\TAVOX", "", SWEEP_ALL);

  EXPECT_EQ(crt::_getdrive(), 0);
  EXPECT_EQ(CurrentDirectory(), "\\\\server\\share\\work");
  EXPECT_EQ(crt::_rmdir("C:\\TAVOX"), 0);
}

TEST_F(SweepTest, DeepestTreeTheLimitsAdmitIsSweptAndDeeperOnesStopSafely) {
  // Product directory C:\T and one-letter names: each level adds two characters.
  std::string dir = "C:\\T";
  std::vector<std::string> levels;
  for (int i = 0; i < 140; ++i) {
    dir += "\\A";
    levels.push_back(dir);
  }
  fake_.MakeDirectory(dir);
  for (const std::string& level : levels) fake_.MakeFile(level + "\\F");

  Sweep("C:\\T", "", SWEEP_ALL);

  // A level is swept while its parent's path fits the 255 characters of the saved directory.
  for (const std::string& level : levels) {
    const bool parent_fits = level.size() - 2 <= 255;
    EXPECT_EQ(fake_.Exists(level + "\\F"), !parent_fits) << level.size();
  }
  EXPECT_TRUE(fake_.Exists("C:\\T\\A"));  // what lies past the limits keeps its parents
}

}  // namespace
