// Symbolic and hard links inside the product tree: the sweep removes the links themselves and
// never what they point to, wherever that is.
#include <sys/stat.h>
#include <unistd.h>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

class LinksTest : public ::testing::Test, public Scenario {};

TEST_F(LinksTest, EveryLinkGoesAndEveryTargetStays) {
  const std::string t = DriveC() + "/TAVOX";
  TempPrefix& tp = p();
  tp.MakeLink(t + "/OUTDIR", tp.outside() + "/dir");
  tp.MakeLink(t + "/OUTFILE", tp.outside() + "/canary.txt");
  tp.MakeLink(t + "/ROOTLINK", "/");
  tp.MakeLink(t + "/PREFIX", tp.prefix());
  tp.MakeLink(t + "/PARENT", "..");
  tp.MakeLink(t + "/SELF", ".");
  tp.MakeLink(t + "/Game/UP", "../..");
  tp.MakeLink(t + "/Game/WINDOWS", "../../windows");
  tp.MakeLink(t + "/DRIVED", DriveD());
  tp.MakeLink(t + "/HOME", Home());
  tp.MakeLink(t + "/DANGLING", "nowhere/at/all");
  tp.MakeLink(t + "/LOOP1", "LOOP2");
  tp.MakeLink(t + "/LOOP2", "LOOP1");
  tp.MakeLink(t + "/INNER", "Game");
  // Links that the selective pass keeps by their names, and one inside a kept directory.
  tp.MakeLink(t + "/Game/SYSTEM", tp.outside() + "/dir");
  tp.MakeLink(t + "/UNISTX99.EXE", tp.outside() + "/canary.txt");
  tp.MakeLink(t + "/SYSTEM/OUT", tp.outside() + "/dir/sub");
  // A hard link shares its file with a name outside: only the name in the tree may go.
  tp.MakeFile(tp.outside() + "/hard.txt", "shared");
  ASSERT_EQ(link((tp.outside() + "/hard.txt").c_str(), (t + "/HARD.TXT").c_str()), 0);
  AllowChanges("outside/hard.txt");  // its link count drops; its content is checked below

  const Outcome o = Execute();

  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectProduct({});
  ExpectOutsideIntact();
  EXPECT_EQ(tp.Read(tp.outside() + "/hard.txt"), "shared");
  EXPECT_TRUE(UninstallerRan());
}

TEST_F(LinksTest, LinksInTheDirectoriesAboveTheProductAreNeverFollowed) {
  // The Windows directory itself a link to a directory outside: the settings file and the
  // uninstall program cannot be reached through it, and nothing is written behind it.
  TempPrefix& tp = p();
  const std::string windows = DriveC() + "/windows";
  ASSERT_EQ(rename(windows.c_str(), (tp.root() + "/realwindows").c_str()), 0);
  tp.MakeLink(windows, tp.outside() + "/dir");

  const Outcome o = Execute();

  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct({});
  EXPECT_FALSE(UninstallerRan());
}

TEST(LinksTableTest, AProductDirectoryThatIsALinkIsNeitherSweptNorRemoved) {
  for (const char* value : {"C:\\LINKED", "C:\\LINKED\\sub", "C:\\TAVOX\\OUT\\sub"}) {
    SCOPED_TRACE(value);
    Scenario s;
    s.p().MakeLink(s.DriveC() + "/LINKED", s.p().outside() + "/dir");
    s.p().MakeLink(s.DriveC() + "/TAVOX/OUT", s.p().outside() + "/dir");
    s.SetRegistry(RegEscape(value), RegEscape(kCommand));
    s.SetProduct("C:\\NONE");  // nothing of the tree is the program's to delete
    s.AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");  // the uninstaller removes its log

    const Outcome o = s.Execute();

    EXPECT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
    EXPECT_TRUE(s.p().Exists(s.DriveC() + "/LINKED"));
  }
}

TEST_F(LinksTest, ADriveMappedThroughLinksIsSweptOnlyInsideTheProduct) {
  // Drive E is a chain of links to a directory that holds its own TAVOX: the drive's root is
  // followed (that is what a drive is), nothing below it is.
  TempPrefix& tp = p();
  tp.MakeFile(tp.root() + "/e/TAVOX/GAME.EXE", "e");
  tp.MakeLink(tp.root() + "/e/TAVOX/OUT", tp.outside() + "/dir");
  tp.MakeLink(tp.root() + "/e-link2", tp.root() + "/e");
  tp.MakeLink(tp.root() + "/e-link1", "e-link2");
  tp.MakeLink(tp.prefix() + "/dosdevices/e:", tp.root() + "/e-link1");
  SetRegistry(RegEscape("E:\\TAVOX"), RegEscape(kCommand));
  SetProduct("C:\\NONE");
  AllowChanges("e/TAVOX");
  AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");

  const Outcome o = Execute();

  EXPECT_EQ(o.exit_code, 0) << o;
  EXPECT_FALSE(tp.Exists(tp.root() + "/e/TAVOX"));
  ExpectOutsideIntact();
}

}  // namespace
}  // namespace tvx::adversarial
