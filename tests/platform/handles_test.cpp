#include <gtest/gtest.h>

#include <vector>

#include "platform/machine.h"
#include "platform/windows.h"
#include "tests/support/fake_machine.h"

namespace {

using tvx::ScopedMachine;
using tvx::testing::FakeMachine;

// Starts C:\PROG.EXE on a fake machine, whose clock moves only when a wait does.
class ProcessHandles : public ::testing::Test {
 protected:
  BOOL Start(FakeMachine::Program program = {}) {
    machine_.AddProgram("C:\\PROG.EXE", program);
    char command[] = "C:\\PROG.EXE";
    STARTUPINFOA startup{};
    startup.cb = 68;
    return CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info_);
  }

  FakeMachine machine_;
  ScopedMachine scoped_{machine_};
  PROCESS_INFORMATION info_{};
};

// --- Handles.

TEST_F(ProcessHandles, GivesTwoDistinctHandlesAndNonzeroIdentifiers) {
  ASSERT_TRUE(Start());
  const PROCESS_INFORMATION first = info_;
  ASSERT_TRUE(Start());
  const std::vector<HANDLE> handles = {first.hProcess, first.hThread, info_.hProcess,
                                       info_.hThread};
  for (size_t i = 0; i < handles.size(); ++i) {
    EXPECT_NE(handles[i], nullptr);
    EXPECT_NE(handles[i], INVALID_HANDLE_VALUE);
    for (size_t j = i + 1; j < handles.size(); ++j) EXPECT_NE(handles[i], handles[j]);
  }
  EXPECT_NE(first.dwProcessId, 0u);
  EXPECT_NE(first.dwThreadId, 0u);
  EXPECT_NE(first.dwProcessId, info_.dwProcessId);
}

TEST_F(ProcessHandles, MachineForgetsTheProcessWhenItsLastHandleIsClosed) {
  ASSERT_TRUE(Start());
  EXPECT_TRUE(CloseHandle(info_.hThread));
  EXPECT_TRUE(machine_.CallsOf("CloseProcess").empty());
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(info_.hProcess));
  EXPECT_EQ(machine_.CallsOf("CloseProcess").size(), 1u);
}

TEST_F(ProcessHandles, ClosedHandleIsRefusedEverywhere) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(CloseHandle(info_.hProcess));
  ASSERT_TRUE(CloseHandle(info_.hThread));
  DWORD code = 1234;
  for (HANDLE handle : {info_.hProcess, info_.hThread}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
    EXPECT_FALSE(GetExitCodeProcess(handle, &code));
  }
  EXPECT_EQ(code, 1234u);
  EXPECT_EQ(machine_.CallsOf("CloseProcess").size(), 1u);
}

TEST_F(ProcessHandles, ValuesThatAreNoHandleAreRefused) {
  const HANDLE bad[] = {nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x1234)};
  for (HANDLE handle : bad) {
    DWORD code = 0;
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(GetExitCodeProcess(handle, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  EXPECT_EQ(machine_.now_ms, 0u);
}

TEST_F(ProcessHandles, ThreadHandleCanBeWaitedOnButGivesNoExitCode) {
  FakeMachine::Program program;
  program.runs_for_ms = 3000;
  ASSERT_TRUE(Start(program));
  EXPECT_EQ(WaitForSingleObject(info_.hThread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeProcess(info_.hThread, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ProcessHandles, HandlesOfAnEarlierMachineMeanNothing) {
  ASSERT_TRUE(Start());
  FakeMachine other;
  ScopedMachine scoped(other);
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(info_.hProcess));
  EXPECT_TRUE(other.calls.empty());
}

// --- Waits and exit codes, on the fake clock.

TEST_F(ProcessHandles, ProgramOfThreeSecondsIsSeenEndedByOneWaitOfFive) {
  FakeMachine::Program program;
  program.runs_for_ms = 3000;
  program.exit_code = 1;
  ASSERT_TRUE(Start(program));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(machine_.now_ms, 3000u);  // the wait returned when the program ended
  ASSERT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(code, 1u);
}

TEST_F(ProcessHandles, ProgramThatNeverEndsTimesOut) {
  FakeMachine::Program program;
  program.never_ends = true;
  ASSERT_TRUE(Start(program));
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 5000), WAIT_TIMEOUT);
  EXPECT_EQ(machine_.now_ms, 5000u);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
}

TEST_F(ProcessHandles, InfiniteWaitLastsUntilTheProgramEnds) {
  FakeMachine::Program program;
  program.runs_for_ms = 200000;
  program.exit_code = 42;
  ASSERT_TRUE(Start(program));
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 1000), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(code, 42u);
}

TEST_F(ProcessHandles, ExitValueOf259CannotBeToldFromRunning) {
  FakeMachine::Program program;
  program.exit_code = STILL_ACTIVE;
  ASSERT_TRUE(Start(program));
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
}

TEST_F(ProcessHandles, FailingExitCodeQueryLeavesTheCodeAlone) {
  FakeMachine::Program program;
  program.exit_code_query_fails = true;
  ASSERT_TRUE(Start(program));
  DWORD code = STILL_ACTIVE;
  EXPECT_FALSE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
}

}  // namespace
