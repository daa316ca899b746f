#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/machine.h"
#include "platform/windows.h"
#include "tests/support/fake_machine.h"
#include "tests/support/temp_prefix.h"

namespace {

using tvx::ScopedMachine;
using tvx::testing::FakeMachine;

// A program that ends at once with exit value 0.
FakeMachine::Program Quick() {
  return FakeMachine::Program{};
}

// A fake machine whose program lives in C:\APP and whose current directory is C:\WORK, so that
// every step of the search has a directory of its own.
class ProcessTest : public ::testing::Test {
 protected:
  ProcessTest() {
    machine_.SetModuleFileName("C:\\APP\\tavox-uninstall.exe");
    machine_.MakeDirectory("C:\\APP");
    machine_.MakeDirectory("C:\\WORK");
    machine_.MakeDirectory("C:\\windows\\system32");
    machine_.MakeDirectory("C:\\windows\\system");
    machine_.SetStartDirectory("C:\\WORK");
    scoped_.emplace(machine_);
  }

  // CreateProcessA as the launcher calls it, with the command line in a writable buffer.
  BOOL Start(const std::string& command, const char* directory = nullptr,
             const char* application = nullptr) {
    buffer_ = command;
    STARTUPINFOA startup{};
    startup.cb = 68;
    return CreateProcessA(application, buffer_.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          directory, &startup, &info_);
  }

  std::string Image() const {
    return machine_.started.empty() ? "" : machine_.started.back().image;
  }

  FakeMachine machine_;
  std::optional<ScopedMachine> scoped_;
  PROCESS_INFORMATION info_{};
  std::string buffer_;
};

// --- Finding the program.

struct SearchCase {
  std::vector<std::string> holders;  // the directories that hold PROG.EXE
  std::string expected;              // the image started, or "" when none is
};

class ProcessSearchOrder : public ProcessTest, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(ProcessSearchOrder, BareNameIsLookedForInThePlatformsOrder) {
  for (const std::string& dir : GetParam().holders)
    machine_.AddProgram(dir + "\\PROG.EXE", Quick());
  const BOOL started = Start("prog /x");
  if (GetParam().expected.empty()) {
    EXPECT_FALSE(started);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(machine_.CallsOf("StartProcess").empty());
    return;
  }
  ASSERT_TRUE(started);
  EXPECT_TRUE(tvx::cp1252::EqualsIgnoringCase(Image(), GetParam().expected)) << Image();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProcessSearchOrder,
    ::testing::Values(
        SearchCase{
            {"C:\\APP", "C:\\WORK", "C:\\windows\\system32", "C:\\windows\\system", "C:\\windows"},
            "C:\\APP\\prog.exe"},
        SearchCase{{"C:\\WORK", "C:\\windows\\system32", "C:\\windows\\system", "C:\\windows"},
                   "C:\\WORK\\prog.exe"},
        SearchCase{{"C:\\windows\\system32", "C:\\windows\\system", "C:\\windows"},
                   "C:\\windows\\system32\\prog.exe"},
        SearchCase{{"C:\\windows\\system", "C:\\windows"}, "C:\\windows\\system\\prog.exe"},
        SearchCase{{"C:\\windows"}, "C:\\windows\\prog.exe"}, SearchCase{{"C:\\ELSEWHERE"}, ""}));

// PATH is changed for one test and put back afterwards.
class ScopedPath {
 public:
  explicit ScopedPath(const char* value) {
    const char* old = std::getenv("PATH");
    if (old != nullptr) old_ = old;
    (void)setenv("PATH", value, /*overwrite=*/1);
  }
  ~ScopedPath() {
    if (old_) {
      (void)setenv("PATH", old_->c_str(), /*overwrite=*/1);
    } else {
      (void)unsetenv("PATH");
    }
  }

 private:
  std::optional<std::string> old_;
};

TEST_F(ProcessTest, PathEntriesThatAreWindowsPathsAreSearchedLast) {
  machine_.AddProgram("C:\\TOOLS\\PROG.EXE", Quick());
  ScopedPath path("C:\\NONE;C:\\TOOLS");
  ASSERT_TRUE(Start("prog"));
  EXPECT_EQ(Image(), "C:\\TOOLS\\prog.exe");
}

TEST_F(ProcessTest, PathEntriesThatAreHostPathsAreSkipped) {
  // "/TOOLS" would be \TOOLS on the current drive if it were taken for a Windows path.
  machine_.AddProgram("C:\\TOOLS\\PROG.EXE", Quick());
  ScopedPath path("/TOOLS:/usr/bin");
  EXPECT_FALSE(Start("prog"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

struct NameCase {
  const char* command;
  const char* file;                    // made as a program
  const char* expected;                // the image started, or null when the start fails
  DWORD error = ERROR_FILE_NOT_FOUND;  // the error when it fails
};

class ProcessNames : public ProcessTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ProcessNames, FindsTheFileTheCommandLineNames) {
  machine_.AddProgram(GetParam().file, Quick());
  const BOOL started = Start(GetParam().command);
  if (GetParam().expected == nullptr) {
    EXPECT_FALSE(started);
    EXPECT_EQ(GetLastError(), GetParam().error);
    return;
  }
  ASSERT_TRUE(started) << GetLastError();
  EXPECT_EQ(Image(), GetParam().expected);
  EXPECT_EQ(machine_.started.back().command_line, GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProcessNames,
    ::testing::Values(
        NameCase{"setup", "C:\\WORK\\SETUP.EXE", "C:\\WORK\\setup.exe"},
        NameCase{"setup", "C:\\WORK\\SETUP", nullptr},  // ".exe" is added, the bare file unused
        NameCase{"setup.com /x", "C:\\WORK\\SETUP.COM", "C:\\WORK\\setup.com"},
        NameCase{"setup. /x", "C:\\WORK\\SETUP", "C:\\WORK\\setup"},  // "." means no extension
        NameCase{"C:\\my.dir\\setup", "C:\\MY.DIR\\SETUP.EXE", "C:\\my.dir\\setup.exe"},
        NameCase{"bin\\tool -q", "C:\\WORK\\BIN\\TOOL.EXE", "C:\\WORK\\bin\\tool.exe"},
        // A name with a directory part is not searched for.
        NameCase{"bin\\tool", "C:\\windows\\BIN\\TOOL.EXE", nullptr, ERROR_PATH_NOT_FOUND},
        NameCase{"tool", "C:\\WORK\\BIN\\TOOL.EXE", nullptr},
        NameCase{"\"C:\\Program Files\\Setup\" /remove", "C:\\Program Files\\SETUP.EXE",
                 "C:\\Program Files\\Setup.exe"},
        NameCase{"\"setup\" a b", "C:\\windows\\SETUP.EXE", "C:\\windows\\setup.exe"}));

struct BlankCase {
  std::vector<std::string> files;
  const char* expected;
};

class ProcessBlanks : public ProcessTest, public ::testing::WithParamInterface<BlankCase> {};

TEST_P(ProcessBlanks, UnquotedBlanksAreTriedShortestPrefixFirst) {
  for (const std::string& file : GetParam().files) machine_.AddProgram(file, Quick());
  const char* command = "C:\\Program Files\\sub dir\\program name";
  ASSERT_TRUE(Start(command));
  EXPECT_EQ(Image(), GetParam().expected);
  EXPECT_EQ(machine_.started.back().command_line, command);  // passed unquoted, as given
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProcessBlanks,
    ::testing::Values(BlankCase{{"C:\\PROGRAM.EXE", "C:\\Program Files\\sub dir\\program name.exe"},
                                "C:\\Program.exe"},
                      BlankCase{
                          {"C:\\Program Files\\SUB.EXE", "C:\\Program Files\\sub dir\\PROGRAM.EXE"},
                          "C:\\Program Files\\sub.exe"},
                      BlankCase{{"C:\\Program Files\\sub dir\\PROGRAM.EXE"},
                                "C:\\Program Files\\sub dir\\program.exe"},
                      BlankCase{{"C:\\Program Files\\sub dir\\program name.exe"},
                                "C:\\Program Files\\sub dir\\program name.exe"}));

struct FailureCase {
  std::string command;
  DWORD error;
};

class ProcessFailures : public ProcessTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ProcessFailures, FailsWithoutStartingAnything) {
  machine_.MakeDirectory("C:\\WORK\\FOLDER.EXE");
  machine_.MakeLink("C:\\WORK\\LINK.EXE", "C:\\APP\\REAL.EXE");
  machine_.AddProgram("C:\\APP\\REAL.EXE", Quick());
  EXPECT_FALSE(Start(GetParam().command));
  EXPECT_EQ(GetLastError(), GetParam().error);
  EXPECT_TRUE(machine_.CallsOf("StartProcess").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProcessFailures,
    ::testing::Values(FailureCase{"", ERROR_FILE_NOT_FOUND},
                      FailureCase{"   ", ERROR_FILE_NOT_FOUND},
                      FailureCase{"\"\" /x", ERROR_PATH_NOT_FOUND},
                      FailureCase{"doesnotexist", ERROR_FILE_NOT_FOUND},
                      FailureCase{"does not exist.exe", ERROR_FILE_NOT_FOUND},
                      FailureCase{"C:\\NODIR\\prog.exe", ERROR_PATH_NOT_FOUND},
                      FailureCase{"folder", ERROR_FILE_NOT_FOUND},  // a directory is no program
                      FailureCase{"C:\\WORK\\folder.exe", ERROR_ACCESS_DENIED},
                      FailureCase{"C:\\WORK\\link.exe", ERROR_ACCESS_DENIED},  // never followed
                      FailureCase{std::string(32767, 'a'), ERROR_INVALID_PARAMETER}));

TEST_F(ProcessTest, MachineStartErrorsReachTheCaller) {
  machine_.MakeFile("C:\\WORK\\DATA.EXE");  // a file the machine cannot run
  EXPECT_FALSE(Start("data"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  machine_.AddProgram("C:\\WORK\\PROG.EXE", Quick());
  machine_.start_error = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(Start("prog"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(ProcessTest, ApplicationNameIsTheImageAsGivenWithoutSearchOrExtension) {
  machine_.AddProgram("C:\\WORK\\TOOL", Quick());
  machine_.AddProgram("C:\\windows\\OTHER", Quick());
  ASSERT_TRUE(Start("anything at all", /*directory=*/nullptr, /*application=*/"tool"));
  EXPECT_EQ(Image(), "C:\\WORK\\tool");
  EXPECT_EQ(machine_.started.back().command_line, "anything at all");
  EXPECT_FALSE(Start("x", /*directory=*/nullptr, /*application=*/"other"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(Start("x", /*directory=*/nullptr, /*application=*/""));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(ProcessTest, WithoutCommandLineTheApplicationNameIsTheCommandLine) {
  machine_.AddProgram("C:\\WORK\\TOOL.EXE", Quick());
  STARTUPINFOA startup{};
  ASSERT_TRUE(CreateProcessA("C:\\WORK\\tool.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info_));
  EXPECT_EQ(machine_.started.back().command_line, "C:\\WORK\\tool.exe");
}

TEST_F(ProcessTest, MissingRecordsAndAnEnvironmentBlockAreRefused) {
  machine_.AddProgram("C:\\WORK\\PROG.EXE", Quick());
  char line[] = "prog";
  STARTUPINFOA startup{};
  EXPECT_FALSE(
      CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  char environment[] = "A=1\0";
  EXPECT_FALSE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, environment, nullptr,
                              &startup, &info_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_TRUE(machine_.started.empty());
}

// --- The start directory.

TEST_F(ProcessTest, StartsInTheCurrentDirectoryAsItStandsAtTheCall) {
  machine_.AddProgram("C:\\APP\\PROG.EXE", Quick());
  machine_.MakeDirectory("C:\\OTHER");
  ASSERT_TRUE(Start("prog"));
  EXPECT_EQ(machine_.started.back().directory, "C:\\WORK");
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\OTHER"));
  ASSERT_TRUE(Start("prog"));
  EXPECT_TRUE(tvx::cp1252::EqualsIgnoringCase(machine_.started.back().directory, "C:\\OTHER"));
}

TEST_F(ProcessTest, GivenDirectoryIsResolvedAgainstTheCurrentOne) {
  machine_.AddProgram("C:\\APP\\PROG.EXE", Quick());
  machine_.MakeDirectory("C:\\WORK\\SUB");
  machine_.MakeDirectory("C:\\OTHER");
  ASSERT_TRUE(Start("prog", "sub"));
  EXPECT_EQ(machine_.started.back().directory, "C:\\WORK\\sub");
  ASSERT_TRUE(Start("prog", "C:\\other\\"));
  EXPECT_EQ(machine_.started.back().directory, "C:\\other");
}

TEST_F(ProcessTest, BadDirectoryFailsWithErrorDirectory) {
  machine_.AddProgram("C:\\APP\\PROG.EXE", Quick());
  machine_.MakeFile("C:\\WORK\\FILE.TXT");
  for (const char* directory : {"C:\\MISSING", "C:\\WORK\\FILE.TXT", "C:\\A*B", ""}) {
    EXPECT_FALSE(Start("prog", directory)) << directory;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY)) << directory;
  }
  EXPECT_TRUE(machine_.started.empty());
}

// --- Real child processes on a prefix of the host.

// A prefix whose drive C holds a copy of the test child as C:\bin\child.exe (a copy: a link
// below a drive's root is never followed), with C:\ current.
class ProcessOnHost : public ::testing::Test {
 protected:
  ProcessOnHost() {
    const std::string child = prefix_.Host("C:\\bin\\child.exe");
    prefix_.MakeDirectory(prefix_.Host("C:\\bin"));
    std::filesystem::copy_file(TVX_CHILD, child);
    std::filesystem::permissions(child, std::filesystem::perms::owner_all);
    machine_ = prefix_.MakeMachine();
    scoped_.emplace(*machine_);
  }

  ~ProcessOnHost() override {
    for (HANDLE handle : open_) (void)CloseHandle(handle);
  }

  BOOL Start(const std::string& command, const char* directory = nullptr) {
    std::string buffer = command;
    STARTUPINFOA startup{};
    startup.cb = 68;
    const BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        directory, &startup, &info_);
    if (started) open_.insert(open_.end(), {info_.hProcess, info_.hThread});
    return started;
  }

  // Waits for the child without a time-out that could pass: it ends on its own at once.
  DWORD ExitCodeAfterEnd() {
    EXPECT_EQ(WaitForSingleObject(info_.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
    return code;
  }

  std::vector<std::string> Lines(const std::string& host_path) const {
    std::vector<std::string> lines;
    std::string text = prefix_.Read(host_path);
    for (size_t start = 0; start < text.size();) {
      const size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
  }

  tvx::testing::TempPrefix prefix_;
  std::unique_ptr<tvx::Machine> machine_;
  std::optional<ScopedMachine> scoped_;
  PROCESS_INFORMATION info_{};
  std::vector<HANDLE> open_;
};

TEST_F(ProcessOnHost, RealExitValuesReachTheCaller) {
  for (const DWORD value : {0u, 1u, 42u, 255u}) {
    ASSERT_TRUE(Start("C:\\bin\\child.exe exit " + std::to_string(value))) << GetLastError();
    EXPECT_EQ(ExitCodeAfterEnd(), value);
  }
}

TEST_F(ProcessOnHost, QuickExitEndsALongWait) {
  ASSERT_TRUE(Start("C:\\bin\\child.exe exit 3"));
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(code, 3u);
}

TEST_F(ProcessOnHost, ChildThatOutlivesItsWaitIsStillActiveUntilItEnds) {
  const std::string flag = prefix_.root() + "/flag";
  ASSERT_TRUE(Start("C:\\bin\\child.exe wait-for " + flag + " 7"));
  EXPECT_EQ(WaitForSingleObject(info_.hProcess, 10), WAIT_TIMEOUT);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info_.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  prefix_.MakeFile(flag);
  EXPECT_EQ(ExitCodeAfterEnd(), 7u);
}

TEST_F(ProcessOnHost, ChildKilledBySignalHasAnExitCodeOtherThanStillActive) {
  ASSERT_TRUE(Start("C:\\bin\\child.exe kill-self 9"));
  const DWORD code = ExitCodeAfterEnd();
  EXPECT_NE(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_NE(code, 0u);
}

TEST_F(ProcessOnHost, ChildStartsInTheCurrentDirectoryWithItsArguments) {
  prefix_.MakeDirectory(prefix_.Host("C:\\work"));
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\work"));
  ASSERT_TRUE(Start("C:\\bin\\child.exe args out.txt \"two words\" plain"));
  EXPECT_EQ(ExitCodeAfterEnd(), 0u);
  const std::vector<std::string> lines = Lines(prefix_.Host("C:\\work\\out.txt"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(std::filesystem::path(lines[0]), std::filesystem::canonical(prefix_.Host("C:\\work")));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
            (std::vector<std::string>{"args", "out.txt", "two words", "plain"}));
}

TEST_F(ProcessOnHost, GivenDirectoryAndSearchedNameWork) {
  prefix_.MakeDirectory(prefix_.Host("C:\\other"));
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\bin"));
  ASSERT_TRUE(Start("child args out.txt", "C:\\other"));  // found in the current directory
  EXPECT_EQ(ExitCodeAfterEnd(), 0u);
  EXPECT_TRUE(prefix_.Exists(prefix_.Host("C:\\other\\out.txt")));
}

TEST_F(ProcessOnHost, ProgramThatCannotRunFailsToStart) {
  prefix_.MakeFile(prefix_.Host("C:\\bin\\data.exe"), "just text");
  EXPECT_FALSE(Start("C:\\bin\\missing.exe exit 0"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(Start("C:\\bin\\data.exe"));
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(Start("C:\\bin\\child.exe exit 0", "C:\\missing"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_TRUE(open_.empty());
}

}  // namespace
