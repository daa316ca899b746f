// Deep trees: the deepest tree the path limits admit is swept whole; far deeper trees, and a start
// directory far below any limit, end the run normally with what lies past the limits in place;
// and a small limit on open files changes none of it.
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

// C:\T with `levels` nested directories A below it and a file F in each, the deepest included.
class DeepScenario : public Scenario {
 public:
  explicit DeepScenario(int levels) {
    SetRegistry(RegEscape("C:\\T"), RegEscape(kCommand));
    SetProduct("C:\\T");
    AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");
    std::string dir = p().Host("C:\\T");
    p().MakeFile(dir + "/F", "top");
    for (int i = 0; i < levels; ++i) {
      dir += "/A";
      p().MakeFile(dir + "/F", "level " + std::to_string(i + 1));
    }
  }
  // The tree form of a chain of `levels` directories A with the file F in the deepest alone.
  static std::vector<std::string> Chain(int levels) {
    std::vector<std::string> paths;
    std::string dir;
    for (int i = 0; i < levels; ++i) {
      dir += "A/";
      paths.push_back(dir);
    }
    paths.push_back(dir + "F");
    return paths;
  }
};

TEST(DepthTest, TheDeepestTreeThePathLimitsAdmitIsSweptWhole) {
  // C:\T and 126 levels below it: 127 directory levels, the deepest path 256 characters long.
  DeepScenario s(126);
  const Outcome o = s.Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  s.ExpectProduct({});
}

TEST(DepthTest, OneLevelPastTheLimitStaysWithTheDirectoriesAboveIt) {
  // The 127th level below C:\T can no longer be entered: its parent's path does not fit the
  // saved-directory buffer. It stays with its file; everything else on the way is deleted.
  DeepScenario s(127);
  const Outcome o = s.Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  s.ExpectProduct(DeepScenario::Chain(127));
}

TEST(DepthTest, TheDeepestTreeIsSweptWithOnly32OpenFiles) {
  for (const int levels : {126, 127}) {
    SCOPED_TRACE(levels);
    DeepScenario s(levels);
    RunPlan plan = s.Plan();
    plan.open_files = 32;
    const Outcome o = s.Execute(plan);
    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    s.ExpectProduct(levels == 126 ? std::vector<std::string>{} : DeepScenario::Chain(127));
    EXPECT_TRUE(s.UninstallerRan());
  }
}

TEST(DepthTest, AlmostNoOpenFilesStillEndsTheRunSoundly) {
  if (ProgramIsSanitized()) GTEST_SKIP() << "a sanitizer's run-time needs descriptors of its own";
  for (const int files : {5, 6, 7, 8, 10, 12}) {
    SCOPED_TRACE(files);
    Scenario s;
    RunPlan plan = s.Plan();
    plan.open_files = files;
    const Outcome o = s.Execute(plan);
    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
  }
}

// Makes the temporary directories of a scope in memory where the host has such a file system:
// removing ten thousand nested directories from a disk takes tens of seconds.
class InMemoryTemporaryDirectories {
 public:
  InMemoryTemporaryDirectories() {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) old_ = old;
    had_ = old != nullptr;
    struct stat st {};
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0) {
      (void)setenv("TMPDIR", "/dev/shm", /*overwrite=*/1);
    }
  }
  ~InMemoryTemporaryDirectories() {
    if (had_) {
      (void)setenv("TMPDIR", old_.c_str(), /*overwrite=*/1);
    } else {
      (void)unsetenv("TMPDIR");
    }
  }

 private:
  std::string old_;
  bool had_ = false;
};

// A scenario whose temporary directory is in memory when it can be.
class FastScenario : private InMemoryTemporaryDirectories, public Scenario {};

// A tree of `levels` levels of `name` below C:\TAVOX\DEEP, next to the standard product.
class VeryDeepScenario : public FastScenario {
 public:
  VeryDeepScenario(const std::string& name, int levels) : name_(name), levels_(levels) {
    MakeDeepTree(Product() + "/DEEP", name_, levels_);
  }
  ~VeryDeepScenario() override { RemoveTree(Product()); }
  void ExpectDeepPartStays() const {
    EXPECT_EQ(DepthOf(Product() + "/DEEP", name_, levels_ + 1), levels_);
    const int bottom = OpenDeep(Product() + "/DEEP", name_, levels_);
    EXPECT_EQ(faccessat(bottom, "BOTTOM", F_OK, AT_SYMLINK_NOFOLLOW), 0) << "the bottom is gone";
    if (bottom >= 0) (void)close(bottom);
  }

 private:
  std::string name_;
  int levels_;
};

TEST(DepthTest, TenThousandLevelsOfLongNamesEndNormallyAndStay) {
  VeryDeepScenario s(std::string(200, 'N'), 10'000);
  const Outcome o = s.Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  s.ExpectDeepPartStays();
  // The rest of the product is gone.
  EXPECT_FALSE(s.p().Exists(s.Product() + "/README.TXT"));
  EXPECT_FALSE(s.p().Exists(s.Product() + "/Game"));
}

TEST(DepthTest, TenThousandLevelsOfShortNamesAreSweptOnlyAsFarAsTheLimitsGo) {
  // C:\TAVOX\DEEP and then A\A\...: the sweep enters the levels whose parents fit the saved
  // directory's 256 characters; below them the tree is never entered, so every level on the way
  // keeps the one directory that leads down.
  VeryDeepScenario s("A", 10'000);
  const Outcome o = s.Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  s.ExpectDeepPartStays();
  EXPECT_FALSE(s.p().Exists(s.Product() + "/README.TXT"));
}

TEST(DepthTest, AStartDirectoryTenThousandLevelsDownEndsNormallyAndSweepsNothing) {
  // The program starts far below any path a Windows program can hold: its current directory
  // cannot be saved, so neither pass sweeps. The command still runs (or fails to start) and the
  // run ends with exit code 0.
  for (const bool on_drive : {true, false}) {
    SCOPED_TRACE(on_drive ? "on drive C" : "outside every drive");
    FastScenario s;
    const std::string deep = on_drive ? s.DriveC() + "/DEEPSTART" : s.p().root() + "/deepstart";
    const std::string name(200, 'S');
    MakeDeepTree(deep, name, 10'000);
    s.AllowChanges(on_drive ? "prefix/drive_c/DEEPSTART" : "deepstart");
    s.AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");
    s.SetProduct("C:\\NONE");
    RunPlan plan = s.Plan();
    plan.cwd_fd = OpenDeep(deep, name, 10'000);
    ASSERT_GE(plan.cwd_fd, 0);

    const Outcome o = s.Execute(plan);

    (void)close(plan.cwd_fd);
    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    EXPECT_EQ(DepthOf(deep, name, 10'001), 10'000);
    RemoveTree(deep);
  }
}

TEST(DepthTest, AStartDirectoryThatNoLongerExistsEndsNormally) {
  // The host lets a directory be removed while a process is in it; Windows does not. Whatever the
  // program makes of it, nothing outside the product directory is touched.
  Scenario s;
  const std::string gone = s.p().root() + "/gone";
  s.p().MakeDirectory(gone);
  RunPlan plan = s.Plan();
  plan.cwd_fd = open(gone.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(plan.cwd_fd, 0);
  ASSERT_EQ(rmdir(gone.c_str()), 0);
  s.AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");
  s.SetProduct("C:\\TAVOX");

  const Outcome o = s.Execute(plan);

  (void)close(plan.cwd_fd);
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
}

}  // namespace
}  // namespace tvx::adversarial
