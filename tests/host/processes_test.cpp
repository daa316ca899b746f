// Real child processes of the host machine, run with the tvx-test-child program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "platform/windows.h"
#include "tests/host/paths.h"
#include "tests/support/temp_prefix.h"

namespace tvx {
namespace {

using testing::Children;
using testing::EventuallyTrue;
using testing::Path;
using testing::TempPrefix;

constexpr uint32_t kInfinite = INFINITE;
constexpr uint32_t kStillActive = STILL_ACTIVE;

const MachinePath kChild = testing::HostPath(TVX_CHILD);

class HostProcesses : public ::testing::Test {
 protected:
  HostProcesses() : machine_(prefix_.MakeMachine()) {
    prefix_.MakeDirectory(prefix_.Host("C:\\TAVOX"));
  }
  ~HostProcesses() override {
    // No test leaves a zombie behind, nor a child that is not about to end.
    machine_.reset();
    EXPECT_TRUE(EventuallyTrue([] { return Children().empty(); }));
  }

  std::string Flag() const { return prefix_.outside() + "/flag"; }
  void RaiseFlag() { prefix_.MakeFile(Flag()); }

  ProcessId Start(const std::string& arguments, const MachinePath& image = kChild) {
    ProcessId id = 0;
    EXPECT_EQ(machine_->StartProcess(image, "tvx-test-child " + arguments, Path("C:\\TAVOX"), &id),
              0u);
    return id;
  }
  uint32_t ExitCode(ProcessId id) {
    uint32_t code = 0;
    EXPECT_TRUE(machine_->ProcessExitCode(id, &code));
    return code;
  }
  // A copy of the child program inside the prefix, with `mode`.
  MachinePath CopyOfChild(const std::string& name, mode_t mode) {
    std::ifstream in(TVX_CHILD, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return MakeImage(name, bytes.str(), mode);
  }
  MachinePath MakeImage(const std::string& name, const std::string& content, mode_t mode) {
    const std::string host = prefix_.Host("C:\\TAVOX\\" + name);
    prefix_.MakeFile(host, content);
    EXPECT_EQ(chmod(host.c_str(), mode), 0);
    return Path("C:\\TAVOX\\" + name);
  }

  TempPrefix prefix_;
  std::unique_ptr<Machine> machine_;
};

TEST_F(HostProcesses, ExitValuesReachTheCaller) {
  for (uint32_t value : {0u, 1u, 42u, 255u}) {
    const ProcessId id = Start("exit " + std::to_string(value));
    EXPECT_TRUE(machine_->WaitProcess(id, kInfinite));
    EXPECT_EQ(ExitCode(id), value);
    machine_->CloseProcess(id);
  }
}

TEST_F(HostProcesses, AWaitEndsAsSoonAsTheChildEnds) {
  const ProcessId id = Start("sleep 1 3");
  // Far longer than the child lives: the test would hang if the wait ran to its end.
  EXPECT_TRUE(machine_->WaitProcess(id, 100000));
  EXPECT_EQ(ExitCode(id), 3u);
  machine_->CloseProcess(id);
}

TEST_F(HostProcesses, AChildThatOutlivesItsWaitIsStillActive) {
  const ProcessId id = Start("wait-for " + Flag() + " 7");
  EXPECT_FALSE(machine_->WaitProcess(id, 0));
  EXPECT_FALSE(machine_->WaitProcess(id, 5));
  EXPECT_EQ(ExitCode(id), kStillActive);
  RaiseFlag();
  EXPECT_TRUE(machine_->WaitProcess(id, kInfinite));
  EXPECT_EQ(ExitCode(id), 7u);
  EXPECT_TRUE(machine_->WaitProcess(id, 0));
  machine_->CloseProcess(id);
}

TEST_F(HostProcesses, AChildKilledByASignalReportsAnErrorStatusNeverStillActive) {
  for (int signal_number : {9, 15, 2}) {
    const ProcessId id = Start("kill-self " + std::to_string(signal_number));
    EXPECT_TRUE(machine_->WaitProcess(id, kInfinite));
    EXPECT_EQ(ExitCode(id), 0xC0000000u | static_cast<uint32_t>(signal_number));
    machine_->CloseProcess(id);
  }
}

TEST_F(HostProcesses, TheChildGetsItsArgumentsAndStartsInTheDirectoryGiven) {
  prefix_.MakeDirectory(prefix_.Host("C:\\TAVOX\\Work Dir"));
  const std::string out = prefix_.outside() + "/args.txt";
  ProcessId id = 0;
  ASSERT_EQ(machine_->StartProcess(
                kChild, "\"C:\\any name.exe\" args " + out + " \"a b\" c\\\"d \"\" caf\xe9",
                Path("C:\\tavox\\WORK DIR"), &id),
            0u);
  ASSERT_TRUE(machine_->WaitProcess(id, kInfinite));
  EXPECT_EQ(ExitCode(id), 0u);
  machine_->CloseProcess(id);
  EXPECT_EQ(prefix_.Read(out), prefix_.Host("C:\\TAVOX\\Work Dir") + "\n" + TVX_CHILD + "\nargs\n" +
                                   out + "\na b\nc\"d\n\ncaf\xc3\xa9\n");
}

TEST_F(HostProcesses, ScriptsWithTheirExecuteBitRun) {
  const MachinePath script = MakeImage("run.sh", "#!/bin/sh\nexit 5\n", 0755);
  const ProcessId id = Start("", script);
  EXPECT_TRUE(machine_->WaitProcess(id, kInfinite));
  EXPECT_EQ(ExitCode(id), 5u);
  machine_->CloseProcess(id);
}

TEST_F(HostProcesses, StartsThatFailSayWhy) {
  const struct {
    const char* what;
    MachinePath image;
    Win32Error error;
  } cases[] = {
      {"text", MakeImage("notes.txt", "hello\n", 0755), ERROR_BAD_EXE_FORMAT},
      {"empty", MakeImage("empty.exe", "", 0755), ERROR_BAD_EXE_FORMAT},
      {"program without x", CopyOfChild("child", 0644), ERROR_ACCESS_DENIED},
      {"script without x", MakeImage("run.sh", "#!/bin/sh\n", 0644), ERROR_ACCESS_DENIED},
      {"directory", Path("C:\\windows"), ERROR_ACCESS_DENIED},
      {"missing", Path("C:\\TAVOX\\none.exe"), ERROR_FILE_NOT_FOUND},
      {"missing directory", Path("C:\\none\\none.exe"), ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    ProcessId id = 0;
    EXPECT_EQ(machine_->StartProcess(c.image, "x", Path("C:\\TAVOX"), &id), c.error) << c.what;
  }
  prefix_.MakeLink(prefix_.Host("C:\\TAVOX\\link"), TVX_CHILD);
  ProcessId id = 0;
  EXPECT_EQ(machine_->StartProcess(Path("C:\\TAVOX\\link"), "x", Path("C:\\TAVOX"), &id),
            static_cast<Win32Error>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(machine_->StartProcess(kChild, "x exit 0", Path("C:\\none"), &id),
            static_cast<Win32Error>(ERROR_DIRECTORY));
  EXPECT_EQ(machine_->StartProcess(kChild, "x exit 0", Path("C:\\TAVOX\\notes.txt"), &id),
            static_cast<Win32Error>(ERROR_DIRECTORY));
}

class ScopedPath {
 public:
  explicit ScopedPath(const std::string& value) {
    if (const char* old = getenv("PATH")) old_ = old;
    setenv("PATH", value.c_str(), 1);
  }
  ~ScopedPath() {
    if (old_) setenv("PATH", old_->c_str(), 1);
  }

 private:
  std::optional<std::string> old_;
};

TEST_F(HostProcesses, WindowsImagesRunThroughWineWhenThereIsOne) {
  const MachinePath image = MakeImage("Setup.exe", "MZ\x90", 0644);
  const std::string bin = prefix_.outside() + "/bin";
  const std::string out = prefix_.outside() + "/wine-args.txt";
  {
    ScopedPath path(bin);
    ProcessId id = 0;
    EXPECT_EQ(machine_->StartProcess(image, "setup /s", Path("C:\\TAVOX"), &id),
              static_cast<Win32Error>(ERROR_BAD_EXE_FORMAT));
  }
  prefix_.MakeFile(bin + "/wine",
                   "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > " + out + "\n");
  ASSERT_EQ(chmod((bin + "/wine").c_str(), 0755), 0);
  ScopedPath path("relative:" + bin);
  ProcessId id = 0;
  ASSERT_EQ(machine_->StartProcess(image, "setup /s \"a b\"", Path("C:\\TAVOX"), &id), 0u);
  EXPECT_TRUE(machine_->WaitProcess(id, kInfinite));
  machine_->CloseProcess(id);
  EXPECT_EQ(prefix_.Read(out), "C:\\TAVOX\\Setup.exe\n/s\na b\n");
}

TEST_F(HostProcesses, AGrandchildLeftRunningDoesNotHoldUpTheWait) {
  const ProcessId id = Start("spawn-and-exit " + Flag());
  EXPECT_TRUE(machine_->WaitProcess(id, kInfinite));
  EXPECT_EQ(ExitCode(id), 0u);
  machine_->CloseProcess(id);
  RaiseFlag();  // lets the grandchild end
}

TEST_F(HostProcesses, ClosingNeverEndsTheChildAndItIsReapedWhenItEnds) {
  const ProcessId id = Start("wait-for " + Flag());
  machine_->CloseProcess(id);
  ASSERT_EQ(Children().size(), 1u);
  EXPECT_TRUE(Children(/*zombies_only=*/true).empty());
  RaiseFlag();
  EXPECT_TRUE(EventuallyTrue([] { return Children().empty(); }));
}

TEST_F(HostProcesses, ChildrenOutliveTheMachineAndAreReapedWhenTheyEnd) {
  (void)Start("wait-for " + Flag());
  (void)Start("exit 0");
  machine_.reset();
  RaiseFlag();
  EXPECT_TRUE(EventuallyTrue([] { return Children().empty(); }));
}

TEST_F(HostProcesses, UnknownProcessesAreNeitherEndedNorQueryable) {
  uint32_t code = 0;
  EXPECT_FALSE(machine_->WaitProcess(12345, 0));
  EXPECT_FALSE(machine_->ProcessExitCode(12345, &code));
  machine_->CloseProcess(12345);
}

}  // namespace
}  // namespace tvx
