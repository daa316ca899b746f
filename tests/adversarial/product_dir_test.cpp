// Product directories that must not be swept: every spelling of a drive's root, a directory that
// is a drive's root on the host, paths without a drive, relative paths, paths through links,
// empty values; and the length limits of a registry value.
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

struct Refused {
  std::string value;       // the product directory, as the registry holds it (unescaped)
  std::string start = "";  // the start directory below drive C's root ("" for the root)
};

// A scenario in which nothing at all is the program's to delete: only the uninstall program
// removes its own log.
class RefusedScenario : public Scenario {
 public:
  explicit RefusedScenario(const std::string& value) {
    SetRegistry(RegEscape(value), RegEscape(kCommand));
    SetProduct("C:\\NONE");
    AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");
    p().MapDrive('e', p().prefix());         // E:\drive_c is drive C's root
    p().MapDrive('f', DriveC() + "/FROOT");  // C:\FROOT is drive F's root
    p().MakeFile(DriveC() + "/FROOT/KEEP.TXT", "drive F");
    p().MapDrive('z', DriveC());  // Z:\ is drive C's root too
    p().MakeFile(DriveC() + "/START/KEEP.TXT", "a start directory");
  }
};

void ExpectRefused(const Refused& c) {
  SCOPED_TRACE("product directory \"" + c.value + "\", started in C:\\" + c.start);
  RefusedScenario s(c.value);
  RunPlan plan = s.Plan();
  plan.cwd = s.DriveC() + (c.start.empty() ? "" : "/" + c.start);

  const Outcome o = s.Execute(plan);

  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  // The command still runs, whatever became of the directory.
  EXPECT_TRUE(s.UninstallerRan());
}

TEST(ProductDirectoryTest, EverySpellingOfADriveRootIsRefused) {
  for (const char* value : {"C:\\",
                            "C:",
                            "c:\\\\",
                            "C:\\.",
                            "C:\\TAVOX\\..",
                            "C:\\TAVOX\\..\\",
                            "C:/",
                            "c:",
                            "C:\\ ",
                            "C:\\..",
                            "C:\\..\\..\\..",
                            "C:\\.\\.\\",
                            "C:\\TAVOX\\. .\\..",
                            "C:\\\\\\",
                            "C:\\\\TAVOX\\\\..",
                            "C:\\TAVOX\\...\\..",
                            "C:/TAVOX/..",
                            "C:\\windows\\system\\..\\..",
                            "D:\\",
                            "d:",
                            "D:\\DATA\\..",
                            "Z:\\",
                            "z:",
                            "Z:\\TAVOX\\..",
                            "E:\\",
                            "E:\\drive_c",
                            "E:\\DRIVE_C\\",
                            "e:\\drive_c\\.",
                            "E:\\dosdevices\\c:",
                            "C:\\FROOT",
                            "c:\\froot\\",
                            "F:\\",
                            "F:\\..\\.."}) {
    ExpectRefused({value});
  }
}

TEST(ProductDirectoryTest, PathsWithoutADriveAreRefused) {
  const std::string unix_root = "\\\\?\\unix";
  for (const Refused& c : std::vector<Refused>{
           {"\\\\server\\share\\TAVOX"},
           {"\\\\server\\share"},
           {unix_root},
           {unix_root + "\\"},
           {"\\TAVOX"},
           {"TAVOX"},
           {"TAVOX", "START"},
           {".\\TAVOX"},
           {"..\\TAVOX", "START"},
           {"*"},
           {"C:\\*"},
           {"C:\\TAVOX\\*.*"},
           {"C:\\TAV?X"},
           {"C:\\TAVOX\\\x01"},
       }) {
    ExpectRefused(c);
  }
}

TEST(ProductDirectoryTest, TheHostFileSystemWithoutADriveIsNeverSwept) {
  // "\\?\unix\..." names host directories outside every drive: the product itself by that
  // name, and a directory beside the prefix.
  for (const bool beside : {false, true}) {
    RefusedScenario s("");
    const std::string host = beside ? s.p().outside() : s.DriveC() + "/TAVOX";
    s.SetRegistry(RegEscape("\\\\?\\unix" + host), RegEscape(kCommand));

    const Outcome o = s.Execute();

    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    EXPECT_TRUE(s.UninstallerRan());
  }
}

TEST(ProductDirectoryTest, DriveRelativePathsAreRefused) {
  // "C:rel" names a directory relative to drive C's current directory, which the sweep itself
  // moves: the entries it deletes would not be the entries it listed.
  for (const Refused& c : std::vector<Refused>{
           {"C:TAVOX"},
           {"c:TAVOX\\"},
           {"C:..\\TAVOX", "START"},
           {"C:.", "TAVOX"},
       }) {
    ExpectRefused(c);
  }
}

TEST(ProductDirectoryTest, ADriveRelativePathNeverDeletesOutsideTheDirectoryItNames) {
  // Started in C:\START, "C:..\APPS\TAVOX" names C:\APPS\TAVOX. Resolved again from inside that
  // directory, its entries' paths would name C:\APPS\APPS\TAVOX\... instead.
  RefusedScenario s("C:..\\APPS\\TAVOX");
  s.p().MakeFile(s.DriveC() + "/APPS/TAVOX/README.TXT", "the product");
  s.p().MakeFile(s.DriveC() + "/APPS/TAVOX/GAME/GAME.EXE", "the product");
  s.p().MakeFile(s.DriveC() + "/APPS/APPS/TAVOX/README.TXT", "another program's");
  s.p().MakeFile(s.DriveC() + "/APPS/APPS/TAVOX/GAME/GAME.EXE", "another program's");
  s.SetProduct("C:\\APPS\\TAVOX");
  RunPlan plan = s.Plan();
  plan.cwd = s.DriveC() + "/START";

  const Outcome o = s.Execute(plan);

  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
}

TEST(ProductDirectoryTest, OtherSpellingsOfTheProductDirectoryStillSweepIt) {
  // The refusals above must not catch the product itself, however it is spelt.
  for (const char* value :
       {"C:/TAVOX", "c:\\tavox", "C:\\TAVOX\\", "C:\\TAVOX.", "C:\\TAVOX ", "C:\\.\\TAVOX",
        "C:\\windows\\..\\TAVOX", "C:\\TAVOX\\.\\", "C:\\..\\TAVOX", "C:\\TAVOX\\Game\\.."}) {
    SCOPED_TRACE(value);
    Scenario s;
    s.SetRegistry(RegEscape(value), RegEscape(kCommand));
    const Outcome o = s.Execute();
    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    s.ExpectProduct({});
  }
}

TEST(ProductDirectoryTest, TwoBackslashesAfterTheDriveSweepNothing) {
  // "C:\\TAVOX" makes the relative directory "\\TAVOX\", which is a network path: the
  // listing finds nothing there, and the directory, not empty, stays.
  RefusedScenario s("C:\\\\TAVOX");
  const Outcome o = s.Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
}

TEST(ProductDirectoryTest, StartedInsideTheProductNothingOutsideIsTouched) {
  for (const char* start : {"TAVOX", "TAVOX/Game", "TAVOX/Game/Saves", "TAVOX/SYSTEM"}) {
    SCOPED_TRACE(start);
    Scenario s;
    RunPlan plan = s.Plan();
    plan.cwd = s.DriveC() + "/" + start;
    const Outcome o = s.Execute(plan);
    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    // What stays is at most the directories the program stood in, empty.
    for (const std::string& path : s.p().Tree(s.Product())) {
      EXPECT_EQ(path.back(), '/') << "a file stayed: " << path;
    }
  }
}

TEST(ProductDirectoryTest, EmptyValuesSweepNothingAndStillRunTheCommand) {
  // A lone backslash in the registry, an empty value in the profile file.
  ExpectRefused({"\\"});
  RefusedScenario s("");
  s.SetRegistry(std::nullopt, RegEscape(kCommand));
  s.SetProfile("[TAVOX_INFO]\r\nTavoxDirectory=\r\n");
  const Outcome o = s.Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  EXPECT_TRUE(s.UninstallerRan());
}

TEST(ProductDirectoryTest, AnEmptyRegistryValueFallsBackToTheDefault) {
  Scenario s;
  s.SetRegistry(RegEscape(""), RegEscape(kCommand));
  const Outcome o = s.Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  s.ExpectOutsideIntact();
  s.ExpectProduct({});
}

// A directory on drive C whose Windows path has exactly `length` characters.
std::string PathOfLength(size_t length) {
  const std::string first(200, 'L');
  return "C:\\" + first + "\\" + std::string(length - 3 - first.size() - 1, 'M');
}

TEST(ProductDirectoryTest, ARegistryValueOf259CharactersIsUsedAndOneOf260CountsAsAbsent) {
  for (const size_t length : {259u, 260u}) {
    SCOPED_TRACE(length);
    Scenario s;
    const std::string value = PathOfLength(length);
    ASSERT_EQ(value.size(), length);
    s.p().MakeDirectory(s.p().Host(value));
    s.p().MakeFile(s.p().Host("C:\\INIDIR\\README.TXT"), "the profile file's product");
    s.SetRegistry(RegEscape(value), RegEscape(kCommand));
    s.SetProfile("[TAVOX_INFO]\r\nTavoxDirectory=C:\\INIDIR\r\n");
    s.SetProduct(length == 259 ? value : "C:\\INIDIR");
    s.AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");

    const Outcome o = s.Execute();

    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    s.ExpectProduct({});
  }
}

TEST(ProductDirectoryTest, TheGuardStopsAnyDeletionAtItsFirstAttempt) {
  if (!GuardAvailable()) GTEST_SKIP() << "no seccomp";
  Scenario s;
  s.SetRegistry(RegEscape("C:\\TAVOX"), std::nullopt);
  RunPlan plan = s.Plan();
  plan.guard = true;

  const Outcome o = s.Execute(plan);

  EXPECT_EQ(o.exit_code, 128 + kGuardSignal) << o;
  s.ExpectProduct(StandardProduct());
  s.ExpectOutsideIntact();
}

TEST(ProductDirectoryTest, TheHostRootMappedAsADriveIsRefusedBeforeAnyDeletion) {
  // Drive Z is the host's "/". The program runs under the guard, in which the kernel kills it at
  // its first attempt to delete anything and refuses every write: a refusal is proven by an
  // ordinary exit, and nothing anywhere can be lost even if the refusal failed.
  if (!GuardAvailable()) GTEST_SKIP() << "no seccomp";
  for (const char* value :
       {"Z:\\", "Z:", "z:\\\\", "Z:\\.", "Z:\\tmp\\..", "Z:\\TAVOX\\..\\", "Z:\\..\\..", "Z:/"}) {
    SCOPED_TRACE(value);
    Scenario s;
    s.p().MakeLink(s.p().prefix() + "/dosdevices/z:", "/");
    s.SetRegistry(RegEscape(value), std::nullopt);
    s.SetProduct("C:\\NONE");
    RunPlan plan = s.Plan();
    plan.guard = true;

    const Outcome o = s.Execute(plan);

    EXPECT_EQ(o.exit_code, 0) << o;
    EXPECT_NE(o.err.find("Uninstall All Tavox Lumerands"), std::string::npos) << "never asked";
    s.ExpectOutsideIntact();
  }
}

}  // namespace
}  // namespace tvx::adversarial
