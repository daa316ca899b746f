// The fake machine's own promises, those the host cannot be compared with: programs on its clock,
// scripted answers, injected faults and the record of calls. Its files follow the host's rules,
// which the contract tests of files_test.cpp and find_test.cpp check on both machines.
#include "tests/support/fake_machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/windows.h"

namespace tvx::testing {
namespace {

using ::testing::ElementsAre;

MachinePath Path(char drive, std::vector<std::string> names) {
  MachinePath path;
  path.drive = drive;
  path.names = std::move(names);
  return path;
}

class FakeProgramTest : public ::testing::Test {
 protected:
  ProcessId Start(FakeMachine::Program program) {
    fake_.AddProgram("C:\\APP\\RUN.EXE", std::move(program));
    ProcessId id = 0;
    EXPECT_EQ(fake_.StartProcess(Path('C', {"APP", "RUN.EXE"}), "RUN.EXE /x", Path('C', {}), &id),
              0u);
    return id;
  }

  FakeMachine fake_;
};

TEST_F(FakeProgramTest, AProgramEndsOnTheClockAndAWaitMovesTheClockNoFurther) {
  FakeMachine::Program program;
  program.runs_for_ms = 7000;
  program.exit_code = 3;
  const ProcessId id = Start(program);
  uint32_t code = 0;

  EXPECT_FALSE(fake_.WaitProcess(id, 5000));
  EXPECT_EQ(fake_.now_ms, 5000u);
  ASSERT_TRUE(fake_.ProcessExitCode(id, &code));
  EXPECT_EQ(code, static_cast<uint32_t>(STILL_ACTIVE));
  EXPECT_TRUE(fake_.WaitProcess(id, 5000));
  EXPECT_EQ(fake_.now_ms, 7000u);  // it returns as soon as the program ends
  EXPECT_TRUE(fake_.WaitProcess(id, 5000));
  EXPECT_EQ(fake_.now_ms, 7000u);
  ASSERT_TRUE(fake_.ProcessExitCode(id, &code));
  EXPECT_EQ(code, 3u);
}

TEST_F(FakeProgramTest, AProgramThatNeverEndsRunsOutEveryWait) {
  FakeMachine::Program program;
  program.never_ends = true;
  const ProcessId id = Start(program);
  EXPECT_FALSE(fake_.WaitProcess(id, 5000));
  EXPECT_FALSE(fake_.WaitProcess(id, INFINITE));
  EXPECT_EQ(fake_.now_ms, uint64_t{5000} + INFINITE);
  uint32_t code = 0;
  ASSERT_TRUE(fake_.ProcessExitCode(id, &code));
  EXPECT_EQ(code, static_cast<uint32_t>(STILL_ACTIVE));
  fake_.CloseProcess(id);
  EXPECT_FALSE(fake_.ProcessExitCode(id, &code));
}

TEST_F(FakeProgramTest, FaultsAndTheProgramsOwnActionsAreScripted) {
  FakeMachine::Program program;
  program.exit_code_query_fails = true;
  program.on_start = [](FakeMachine& machine) { machine.MakeFile("C:\\APP\\STARTED.TXT"); };
  const ProcessId id = Start(program);
  uint32_t code = 0;
  EXPECT_FALSE(fake_.ProcessExitCode(id, &code));
  EXPECT_TRUE(fake_.Exists("C:\\APP\\STARTED.TXT"));
  ASSERT_EQ(fake_.started.size(), 1u);
  EXPECT_EQ(fake_.started[0].image, "C:\\APP\\RUN.EXE");
  EXPECT_EQ(fake_.started[0].command_line, "RUN.EXE /x");
  EXPECT_EQ(fake_.started[0].directory, "C:\\");
}

TEST_F(FakeProgramTest, OnlyAProgramInAnExistingDirectoryStarts) {
  fake_.MakeFile("C:\\APP\\DATA.TXT");
  fake_.AddProgram("C:\\APP\\RUN.EXE", {});
  ProcessId id = 0;
  const MachinePath image = Path('C', {"APP", "RUN.EXE"});
  EXPECT_EQ(fake_.StartProcess(Path('C', {"APP", "DATA.TXT"}), "x", Path('C', {}), &id),
            static_cast<Win32Error>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(fake_.StartProcess(Path('C', {"APP", "NONE.EXE"}), "x", Path('C', {}), &id),
            static_cast<Win32Error>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(fake_.StartProcess(image, "x", Path('C', {"NONE"}), &id),
            static_cast<Win32Error>(ERROR_DIRECTORY));
  fake_.start_error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(fake_.StartProcess(image, "x", Path('C', {}), &id),
            static_cast<Win32Error>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(fake_.started.empty());
}

TEST(FakeMachineTest, AnswersComeFirstToLastThenNoBoxCanBeShown) {
  FakeMachine fake;
  fake.answers = {IDYES, IDNO};
  EXPECT_EQ(fake.AskQuestion("Title", "Sure?", MB_YESNO), IDYES);
  EXPECT_EQ(fake.AskQuestion("Title", "Really?", MB_YESNO), IDNO);
  EXPECT_EQ(fake.AskQuestion("Title", "Again?", MB_YESNO), 0);
  ASSERT_EQ(fake.questions.size(), 3u);
  EXPECT_EQ(fake.questions[1].text, "Really?");
  fake.Beep(0);
  EXPECT_THAT(fake.beeps, ElementsAre(0u));
}

TEST(FakeMachineTest, RecordsEveryCallInOrder) {
  FakeMachine fake;
  std::vector<EntryInfo> entries;
  std::string text;
  (void)fake.HasDrive('c');
  (void)fake.List(Path('C', {"windows"}), &entries);
  (void)fake.DeleteFile(Path('C', {"A.TXT"}));
  (void)fake.ReadRegistryText(&text);
  (void)fake.WaitProcess(42, 5000);
  (void)fake.AskQuestion("T", "Sure?", MB_YESNO);
  fake.Beep(0);
  EXPECT_THAT(fake.calls,
              ElementsAre("HasDrive C", "List C:\\windows", "DeleteFile C:\\A.TXT",
                          "ReadRegistryText", "WaitProcess 5000", "AskQuestion Sure?", "Beep 0"));
  EXPECT_THAT(fake.CallsOf("ReadRegistryText"), ElementsAre(""));
  EXPECT_THAT(fake.CallsOf("List"), ElementsAre("C:\\windows"));
}

TEST(FakeMachineTest, TreeListsEverythingBelowADirectoryInTheCaseStored) {
  FakeMachine fake;
  fake.MakeFile("C:\\TAVOX\\b.txt", "content");
  fake.MakeFile("C:\\TAVOX\\SUB\\A.TXT");
  fake.MakeLink("C:\\TAVOX\\LINK", "C:\\windows");
  fake.MakeDirectory("C:\\tavox\\sub\\EMPTY");
  EXPECT_THAT(fake.Tree("C:\\TAVOX"),
              ElementsAre("LINK", "SUB\\", "SUB\\A.TXT", "SUB\\EMPTY\\", "b.txt"));
  EXPECT_EQ(fake.FileContent("c:\\tavox\\B.TXT"), "content");
  EXPECT_TRUE(fake.IsDirectory("C:\\TAVOX\\SUB\\EMPTY"));
  EXPECT_FALSE(fake.IsDirectory("C:\\TAVOX\\LINK"));
}

TEST(FakeMachineTest, HasARegistryOnlyWhenGivenOne) {
  FakeMachine fake;
  std::string text = "unchanged";
  EXPECT_FALSE(fake.ReadRegistryText(&text));
  fake.SetRegistryText("WINE REGISTRY Version 2\n");
  EXPECT_TRUE(fake.ReadRegistryText(&text));
  EXPECT_EQ(text, "WINE REGISTRY Version 2\n");
}

TEST(FakeMachineTest, ReplacesOnlyPlainWritableFiles) {
  FakeMachine fake;
  fake.MakeFile("C:\\LOCKED.INI", "old", /*readonly=*/true);
  fake.MakeLink("C:\\LINK.INI", "C:\\windows\\x.ini");
  EXPECT_EQ(fake.ReplaceFile(Path('C', {"NEW.INI"}), "new"), 0u);
  EXPECT_EQ(fake.FileContent("C:\\NEW.INI"), "new");
  EXPECT_EQ(fake.ReplaceFile(Path('C', {"LOCKED.INI"}), "x"),
            static_cast<Win32Error>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fake.ReplaceFile(Path('C', {"LINK.INI"}), "x"),
            static_cast<Win32Error>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fake.ReplaceFile(Path('C', {"windows"}), "x"),
            static_cast<Win32Error>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(fake.ReplaceFile(Path('C', {"NONE", "X.INI"}), "x"),
            static_cast<Win32Error>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(fake.FileContent("C:\\LOCKED.INI"), "old");
}

}  // namespace
}  // namespace tvx::testing
