// A hostile environment: WINEPREFIX naming a file, nothing or an unreadable directory; no HOME;
// dosdevices entries that loop or point nowhere; standard streams closed or broken. Each run ends
// with exit code 0, touches nothing it should not, and leaves the settings file whole.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

class EnvironmentTest : public ::testing::Test, public Scenario {
 protected:
  // Every entry of the temporary directory, the fallback prefix under HOME included.
  void ExpectNothingChanged(const std::map<std::string, std::string>& before) const {
    const auto after = Snapshot(p().root(), {"log"});
    EXPECT_TRUE(after == before) << Differences(before, after);
  }
};

TEST_F(EnvironmentTest, APrefixThatIsNoDirectoryChangesNothingAnywhere) {
  p().MakeFile(p().root() + "/afile", "WINE REGISTRY Version 2\n");
  for (const std::string& prefix :
       {p().root() + "/afile", p().root() + "/missing", p().root() + "/afile/below",
        p().root() + "/missing/below", std::string("relative/missing")}) {
    SCOPED_TRACE(prefix);
    const auto before = Snapshot(p().root(), {"log"});
    RunPlan plan = Plan();
    plan.prefix = prefix;
    const Outcome o = RunProgram(plan);
    EXPECT_EQ(o.exit_code, 0) << o;
    ExpectNothingChanged(before);
  }
}

TEST_F(EnvironmentTest, AnUnreadablePrefixChangesNothingAnywhere) {
  for (const std::string& dir :
       {p().prefix(), DriveC(), DriveC() + "/windows", p().prefix() + "/dosdevices"}) {
    SCOPED_TRACE(dir);
    for (const mode_t mode : {0000, 0100, 0400}) {
      ASSERT_EQ(chmod(dir.c_str(), mode), 0);
      const auto before = Snapshot(p().root(), {"log"});
      const Outcome o = RunProgram(Plan());
      ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
      EXPECT_EQ(o.exit_code, 0) << o;
      // Unreadable, the prefix may still be passed through; what it cannot read it leaves.
      const auto after = Snapshot(p().root(), {"log"});
      for (const auto& [path, what] : before) {
        if (path.rfind("prefix/", 0) == 0) continue;
        EXPECT_EQ(after.count(path), 1u) << "gone: " << path;
      }
    }
  }
}

TEST_F(EnvironmentTest, WithoutHomeAGivenPrefixStillWorks) {
  RunPlan plan = Plan();
  plan.set_home = false;
  const Outcome o = Execute(plan);
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct({});
}

TEST_F(EnvironmentTest, WithoutHomeOrPrefixNothingIsDeletedAnywhere) {
  // With neither variable, the program may look for a prefix where the system's user database
  // puts this user's home. The guard makes any deletion there impossible and visible.
  if (!GuardAvailable()) GTEST_SKIP() << "no seccomp";
  RunPlan plan = Plan();
  plan.set_home = false;
  plan.set_prefix = false;
  plan.guard = true;
  const auto before = Snapshot(p().root(), {"log"});
  const Outcome o = RunProgram(plan);
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectNothingChanged(before);
}

TEST_F(EnvironmentTest, DosdevicesThatLoopOrPointNowhereLeaveTheOtherDrivesWorking) {
  const std::string dd = p().prefix() + "/dosdevices";
  p().MakeLink(dd + "/e:", "f:");
  p().MakeLink(dd + "/f:", "e:");
  p().MakeLink(dd + "/g:", "g:");
  p().MakeLink(dd + "/h:", "/nonexistent/nowhere");
  p().MakeFile(dd + "/j:", "a file");
  p().MakeLink(dd + "/k:", p().outside() + "/canary.txt");
  p().MakeLink(dd + "/l:", "../dosdevices");
  p().MakeLink(dd + "/m:", ".");
  p().MakeLink(dd + "/c::", "../drive_c");
  p().MakeLink(dd + "/com1", "/dev/null");
  p().MakeLink(dd + "/unc", "/");
  p().MakeFile(dd + "/\xff:", "");
  const Outcome o = Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct({});
}

TEST_F(EnvironmentTest, ADriveCThatLoopsOrPointsNowhereChangesNothing) {
  const std::string link = p().prefix() + "/dosdevices/c:";
  for (const std::string& target : {std::string("c:"), std::string("/nonexistent"),
                                    p().outside() + "/canary.txt", std::string("../dosdevices")}) {
    SCOPED_TRACE(target);
    ASSERT_EQ(unlink(link.c_str()), 0);
    p().MakeLink(link, target);
    const auto before = Snapshot(p().root(), {"log"});
    const Outcome o = RunProgram(Plan());
    EXPECT_EQ(o.exit_code, 0) << o;
    ExpectNothingChanged(before);
  }
}

TEST_F(EnvironmentTest, ClosedStandardInputAnswersNo) {
  RunPlan plan = Plan();
  plan.close_stdin = true;
  const Outcome o = Execute(plan);
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct(StandardProduct());
  EXPECT_FALSE(UninstallerRan());
}

TEST_F(EnvironmentTest, ClosedStandardOutputChangesNothingOfTheRun) {
  RunPlan plan = Plan();
  plan.close_stdout = true;
  const Outcome o = Execute(plan);
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct({});
}

TEST_F(EnvironmentTest, ClosedStandardErrorNeitherStopsTheRunNorWritesIntoAFile) {
  // With standard error closed, the first file the program opens would get its number: the
  // question and the beep must never land in it. The uninstaller here fails to start, so there is
  // a beep to write.
  SetRegistry(RegEscape("C:\\TAVOX"), RegEscape("C:\\windows\\MISSING.EXE"));
  RunPlan plan = Plan();
  plan.close_stderr = true;
  const Outcome o = Execute(plan);
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  EXPECT_EQ(p().Read(Settings()).find("Uninstall All"), std::string::npos);
  EXPECT_EQ(p().Read(Settings()).find('\a'), std::string::npos);
}

TEST_F(EnvironmentTest, AllStandardStreamsClosed) {
  RunPlan plan = Plan();
  plan.close_stdin = true;
  plan.close_stdout = true;
  plan.close_stderr = true;
  const Outcome o = Execute(plan);
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct(StandardProduct());
}

TEST_F(EnvironmentTest, ABrokenPipeOnStandardErrorEndsTheRunWithExitCodeZero) {
  // Nobody reads the question: the box cannot be shown, which answers No.
  RunPlan plan = Plan();
  plan.broken_stderr = true;
  const Outcome o = Execute(plan);
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  EXPECT_TRUE(p().Tree(Product()) == StandardProduct() || !p().Exists(Product()))
      << Join(p().Tree(Product()));
}

TEST_F(EnvironmentTest, InputThatIsNoAnswerAnswersNo) {
  for (const std::string& input :
       {std::string(""), std::string("\0\0\0", 3), std::string(1 << 16, 'y'), std::string("\x04"),
        std::string("\xff\xfe\n"), std::string("yes please\n"), std::string("\r\n"),
        std::string("n\ny\n")}) {
    SCOPED_TRACE(Printable(input));
    Scenario s;
    const Outcome o = s.Execute(input);
    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    if (input != "\r\n") s.ExpectProduct(StandardProduct());
  }
}

}  // namespace
}  // namespace tvx::adversarial
