// The real program, run in temporary prefixes with real files, a real uninstall program and the
// answer on standard input.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/temp_prefix.h"

extern char** environ;

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using tvx::testing::TempPrefix;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
  size_t Beeps() const { return static_cast<size_t>(std::count(err.begin(), err.end(), '\a')); }
};

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fd);
  return text;
}

// Runs the program in host directory `cwd` with WINEPREFIX set, `input` on standard input.
Outcome RunProgram(const std::string& prefix, const std::string& cwd, const std::string& input) {
  int in[2], out[2], err[2];
  EXPECT_EQ(pipe(in) | pipe(out) | pipe(err), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<std::string> env_text = {"WINEPREFIX=" + prefix};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("WINEPREFIX=", 0) != 0) env_text.push_back(*e);
  }
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  char* argv[] = {const_cast<char*>(TVX_EXE), nullptr};
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, TVX_EXE, &actions, nullptr, argv, env.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in[1]);
  Outcome outcome;
  outcome.out = ReadAll(out[0]);
  outcome.err = ReadAll(err[0]);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

constexpr char kUninstallScript[] = R"SH(#!/bin/sh
log=""
for arg in "$@"; do case "$arg" in -f*) log=${arg#-f} ;; esac; done
host=$(printf '%s' "$log" | sed -e "s|^[Cc]:|$WINEPREFIX/drive_c|" -e 's|\\|/|g')
{ pwd; (cd "$(dirname "$host")" && find . | sort); } > "$WINEPREFIX/../outside/uninst.log"
rm -f "$host"
)SH";

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest() {
    p_.MakeFile(p_.Host("C:\\TAVOX\\DEISL1.ISU"), "log");
    p_.MakeFile(p_.Host("C:\\TAVOX\\UNISTX32.EXE"));
    p_.MakeFile(p_.Host("C:\\TAVOX\\SYSTEM\\LUMRT.DLL"));
    p_.MakeFile(p_.Host("C:\\TAVOX\\Game\\game.exe"));
    p_.MakeFile(p_.Host("C:\\TAVOX\\Game\\Saves\\slot1.sav"));
    p_.MakeFile(p_.Host("C:\\windows\\UNINST.EXE"), kUninstallScript);
    EXPECT_EQ(chmod(p_.Host("C:\\windows\\UNINST.EXE").c_str(), 0755), 0);
    p_.MakeFile(p_.outside() + "/canary.txt", "keep");
    SetCommand("C:\\\\windows\\\\UNINST.EXE -f\\\"C:\\\\TAVOX\\\\DEISL1.ISU\\\"");
  }
  void SetCommand(const std::string& escaped) {
    p_.WriteRegistry(
        "\n[Software\\\\TAVOX] 1700000000\n\"TavoxDirectory\"=\"C:\\\\TAVOX\"\n"
        "\"UninstallString\"=\"" +
        escaped + "\"\n");
  }
  Outcome RunIn(const std::string& cwd, const std::string& input) {
    return RunProgram(p_.prefix(), cwd, input);
  }
  std::string DriveC() const { return p_.prefix() + "/drive_c"; }

  TempPrefix p_;
};

TEST_F(EndToEndTest, YesRemovesTheProductAfterTheUninstallerSawItsFiles) {
  const Outcome o = RunIn(DriveC(), "y\n");
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_FALSE(p_.Exists(p_.Host("C:\\TAVOX")));
  EXPECT_EQ(p_.Read(p_.outside() + "/canary.txt"), "keep");
  EXPECT_EQ(p_.Read(p_.outside() + "/uninst.log"),
            DriveC() + "\n.\n./DEISL1.ISU\n./SYSTEM\n./SYSTEM/LUMRT.DLL\n./UNISTX32.EXE\n");
  EXPECT_THAT(o.out, IsEmpty());
  EXPECT_THAT(o.err, HasSubstr("Uninstall All Tavox Lumerands"));
  EXPECT_EQ(o.Beeps(), 0u);
}

TEST_F(EndToEndTest, NoOrNoAnswerLeavesEverything) {
  for (const char* input : {"n\n", "", "maybe\nno\n"}) {
    const Outcome o = RunIn(DriveC(), input);
    EXPECT_EQ(o.exit_code, 0) << input;
    EXPECT_TRUE(p_.Exists(p_.Host("C:\\TAVOX\\Game\\Saves\\slot1.sav"))) << input;
    EXPECT_FALSE(p_.Exists(p_.outside() + "/uninst.log")) << input;
  }
}

TEST_F(EndToEndTest, UninstallerThatCannotStartBeepsOnceAndTheSweepsStillRun) {
  SetCommand("C:\\\\windows\\\\MISSING.EXE");
  const Outcome o = RunIn(DriveC(), "\n");
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.Beeps(), 1u);
  EXPECT_FALSE(p_.Exists(p_.Host("C:\\TAVOX")));
}

TEST_F(EndToEndTest, ReadOnlyFileStaysWithItsDirectories) {
  p_.MakeFile(p_.Host("C:\\TAVOX\\Game\\LOCKED.DAT"), "x", /*readonly=*/true);
  const Outcome o = RunIn(DriveC(), "yes\n");
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_THAT(p_.Tree(p_.Host("C:\\TAVOX")), ElementsAre("Game/", "Game/LOCKED.DAT"));
}

TEST_F(EndToEndTest, UninstallerStartsInTheDirectoryTheProgramStartedIn) {
  p_.MapDrive('d', p_.root() + "/work");
  const Outcome o = RunIn(p_.root() + "/work", "y\n");
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(p_.Read(p_.outside() + "/uninst.log").substr(0, p_.root().size() + 6),
            p_.root() + "/work\n");
  EXPECT_FALSE(p_.Exists(p_.Host("C:\\TAVOX")));
}

TEST_F(EndToEndTest, StartOutsideEveryDriveStillRemovesTheProduct) {
  const Outcome o = RunIn(p_.outside(), "y\n");
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(p_.Read(p_.outside() + "/uninst.log").substr(0, p_.outside().size() + 1),
            p_.outside() + "\n");
  EXPECT_FALSE(p_.Exists(p_.Host("C:\\TAVOX")));
}

}  // namespace
