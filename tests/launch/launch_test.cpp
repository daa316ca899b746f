#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "app/uninstall_app.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/fake_machine.h"
#include "tests/support/temp_prefix.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using tvx::testing::FakeMachine;

constexpr char kUninstaller[] = "C:\\windows\\UNINST.EXE";

FakeMachine::Program Ends(uint32_t exit_code, uint64_t after_ms = 0) {
  FakeMachine::Program program;
  program.exit_code = exit_code;
  program.runs_for_ms = after_ms;
  return program;
}

FakeMachine::Program NeverEnds(bool query_fails = false) {
  FakeMachine::Program program;
  program.never_ends = true;
  program.exit_code_query_fails = query_fails;
  return program;
}

class LaunchTest : public ::testing::Test {
 protected:
  BOOL Run(const CString& command, const CString& arguments = CString()) {
    return app_.RunUninstaller(command, arguments);
  }
  void AddUninstaller(FakeMachine::Program program) {
    fake_.AddProgram(kUninstaller, std::move(program));
  }

  FakeMachine fake_;
  tvx::ScopedMachine scope_{fake_};
  CUninstallApp app_;
};

struct CommandLineCase {
  const char* command;
  const char* arguments;
  const char* expected;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) {
  *os << '"' << c.command << "\" + \"" << c.arguments << '"';
}

class CommandLineTest : public LaunchTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineTest, ComposesTheCommandLineWithOneBlank) {
  AddUninstaller({});
  ASSERT_TRUE(Run(GetParam().command, GetParam().arguments));
  ASSERT_EQ(fake_.started.size(), 1u);
  EXPECT_EQ(fake_.started[0].command_line, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"C:\\windows\\UNINST.EXE -f\"C:\\TAVOX\\DEISL1.ISU\"", "",
                        "C:\\windows\\UNINST.EXE -f\"C:\\TAVOX\\DEISL1.ISU\""},
        CommandLineCase{"C:\\windows\\UNINST.EXE", "-y", "C:\\windows\\UNINST.EXE -y"},
        CommandLineCase{"C:\\windows\\UNINST.EXE ", "-y", "C:\\windows\\UNINST.EXE  -y"},
        CommandLineCase{"C:\\windows\\UNINST.EXE", " -y ", "C:\\windows\\UNINST.EXE  -y "}));

TEST_F(LaunchTest, BlankInTheProgramPathIsPassedUnquoted) {
  fake_.AddProgram("C:\\Program Files\\Setup\\UNINST.EXE", {});
  ASSERT_TRUE(Run("C:\\Program Files\\Setup\\UNINST.EXE -a"));
  ASSERT_EQ(fake_.started.size(), 1u);
  EXPECT_EQ(fake_.started[0].command_line, "C:\\Program Files\\Setup\\UNINST.EXE -a");
  EXPECT_EQ(fake_.started[0].image, "C:\\Program Files\\Setup\\UNINST.EXE");
}

TEST_F(LaunchTest, CommandLineOf255CharactersFitsAndLongerOnesDoNotStart) {
  AddUninstaller({});
  const std::string command = std::string(kUninstaller) + " ";
  const CString fits = (command + std::string(255 - command.size(), 'x')).c_str();
  EXPECT_TRUE(Run(fits));
  EXPECT_THAT(fake_.beeps, IsEmpty());

  EXPECT_FALSE(Run(fits + "x"));
  EXPECT_FALSE(Run(fits.Left(250), "123456"));
  EXPECT_EQ(fake_.started.size(), 1u);
  EXPECT_THAT(fake_.beeps, ElementsAre(MB_OK, MB_OK));
}

TEST_F(LaunchTest, ProgramThatCannotStartFailsAtOnceWithOneBeep) {
  EXPECT_FALSE(Run("C:\\windows\\MISSING.EXE -f"));
  EXPECT_THAT(fake_.beeps, ElementsAre(MB_OK));
  EXPECT_THAT(fake_.CallsOf("WaitProcess"), IsEmpty());
}

TEST_F(LaunchTest, ProgramThatEndsIsSeenAtOnceWhateverItsExitValue) {
  for (uint32_t exit_code : {0u, 1u, 258u, 260u, 0xC0000005u}) {
    AddUninstaller(Ends(exit_code, /*after_ms=*/3000));
    const uint64_t start = fake_.now_ms;
    EXPECT_TRUE(Run(kUninstaller)) << exit_code;
    EXPECT_EQ(fake_.now_ms - start, 3000u);
  }
  EXPECT_THAT(fake_.CallsOf("WaitProcess"), ElementsAre("5000", "5000", "5000", "5000", "5000"));
  EXPECT_THAT(fake_.beeps, IsEmpty());
}

TEST_F(LaunchTest, ExitValue259CannotBeToldFromRunning) {
  AddUninstaller(Ends(STILL_ACTIVE));
  EXPECT_FALSE(Run(kUninstaller));
  EXPECT_EQ(fake_.CallsOf("WaitProcess").size(), 24u);
  EXPECT_EQ(fake_.now_ms, 0u);
  EXPECT_THAT(fake_.beeps, ElementsAre(MB_OK));
}

TEST_F(LaunchTest, ProgramThatOutlivesTheWaitsIsLeftRunningAfterTwoMinutes) {
  AddUninstaller(NeverEnds());
  EXPECT_FALSE(Run(kUninstaller));
  EXPECT_EQ(fake_.CallsOf("WaitProcess").size(), 24u);
  EXPECT_EQ(fake_.now_ms, 24u * 5000u);
  EXPECT_EQ(fake_.CallsOf("CloseProcess").size(), 1u);
  EXPECT_THAT(fake_.beeps, ElementsAre(MB_OK));
}

TEST_F(LaunchTest, FailedExitCodeQueryEndsTheWait) {
  AddUninstaller(NeverEnds(/*query_fails=*/true));
  EXPECT_FALSE(Run(kUninstaller));
  EXPECT_EQ(fake_.CallsOf("WaitProcess").size(), 1u);
  EXPECT_EQ(fake_.CallsOf("CloseProcess").size(), 1u);
  EXPECT_THAT(fake_.beeps, ElementsAre(MB_OK));
}

TEST_F(LaunchTest, ProgramStartsInTheCurrentDirectory) {
  fake_.MakeDirectory("C:\\WORK");
  ASSERT_EQ(crt::_chdir("C:\\WORK"), 0);
  AddUninstaller({});
  ASSERT_TRUE(Run(kUninstaller));
  ASSERT_EQ(fake_.started.size(), 1u);
  EXPECT_EQ(fake_.started[0].directory, "C:\\WORK");
}

// The same launcher over the real machine, with a real child program.
class LaunchOnHostTest : public ::testing::Test {
 protected:
  LaunchOnHostTest() {
    std::filesystem::create_directories(prefix_.Host("C:\\TOOLS"));
    std::filesystem::copy_file(TVX_CHILD, prefix_.Host("C:\\TOOLS\\CHILD.EXE"));
  }

  tvx::testing::TempPrefix prefix_;
  std::unique_ptr<tvx::Machine> machine_ = prefix_.MakeMachine();
  tvx::ScopedMachine scope_{*machine_};
  CUninstallApp app_;
};

TEST_F(LaunchOnHostTest, RealProgramIsSeenToEndWhateverItsExitValue) {
  EXPECT_TRUE(app_.RunUninstaller("C:\\TOOLS\\CHILD.EXE exit 0", CString()));
  EXPECT_TRUE(app_.RunUninstaller("C:\\TOOLS\\CHILD.EXE", "exit 7"));
  EXPECT_FALSE(app_.RunUninstaller("C:\\TOOLS\\MISSING.EXE", CString()));
}

TEST_F(LaunchOnHostTest, ProgramThatHandsItsWorkToAnotherIsNotWaitedFor) {
  const std::string release = prefix_.outside() + "/release";
  const std::string command = "C:\\TOOLS\\CHILD.EXE spawn-and-exit " + release;
  EXPECT_TRUE(app_.RunUninstaller(command.c_str(), CString()));
  // The grandchild waits for this file; it ends as soon as it appears.
  std::ofstream(release).put('x');
}

}  // namespace
