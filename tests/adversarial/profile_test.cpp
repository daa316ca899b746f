// A hostile tavox.ini (line endings of every kind, a UTF-8 byte order mark, NUL bytes, no final
// line end, duplicates, values cut to the buffer) and a framework settings file that cannot be
// written: the run ends with exit code 0, a sound disk, and the settings file whole.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

// A profile file decides alone: the registry has no key.
void ExpectProfile(const std::string& ini, Swept swept) {
  SCOPED_TRACE("tavox.ini: " + Printable(ini));
  SettingsScenario s;
  s.p().WriteRegistry("");
  s.SetProfile(ini);
  s.RunAndExpect(swept);
}

// The command line as the profile file holds it.
const std::string kCommandKey = std::string("UninstallString=") + kCommand;

TEST(ProfileFileTest, LineEndsOfEveryKind) {
  for (const char* end : {"\n", "\r\n", "\r", "\n\r"}) {
    const std::string e = end;
    ExpectProfile("[TAVOX_INFO]" + e + "TavoxDirectory=C:\\INIDIR" + e + kCommandKey + e,
                  Swept::kProfile);
    ExpectProfile("[TAVOX_INFO]" + e + kCommandKey + e + "TavoxDirectory=C:\\INIDIR",
                  Swept::kProfile);  // no final line end
  }
  ExpectProfile("[TAVOX_INFO]\r\n" + kCommandKey + "\nTavoxDirectory=C:\\INIDIR\r",
                Swept::kProfile);
}

TEST(ProfileFileTest, AByteOrderMarkSpoilsTheFirstLineOnly) {
  const std::string bom = "\xEF\xBB\xBF";
  // The section header on the first line is lost: the default, C:\TAVOX, decides.
  ExpectProfile(bom + "[TAVOX_INFO]\r\nTavoxDirectory=C:\\INIDIR\r\n" + kCommandKey + "\r\n",
                Swept::kRegistry);
  ExpectProfile(bom + "\r\n[TAVOX_INFO]\r\nTavoxDirectory=C:\\INIDIR\r\n" + kCommandKey + "\r\n",
                Swept::kProfile);
  // A UTF-16 file with its own byte order mark is a Unicode profile file.
  std::string wide = "\xFF\xFE";
  for (char c : "[TAVOX_INFO]\r\nTavoxDirectory=C:\\INIDIR\r\n" + kCommandKey + "\r\n") {
    wide.push_back(c);
    wide.push_back('\0');
  }
  ExpectProfile(wide, Swept::kProfile);
  ExpectProfile(wide.substr(0, wide.size() - 1), Swept::kAny);  // an odd byte at the end
}

TEST(ProfileFileTest, NulBytesAnywhereEndSoundly) {
  const std::string ini = "[TAVOX_INFO]\r\nTavoxDirectory=C:\\INIDIR\r\n" + kCommandKey + "\r\n";
  for (size_t at = 0; at <= ini.size(); at += 3) {
    std::string with_nul = ini;
    with_nul.insert(at, 1, '\0');
    ExpectProfile(with_nul, Swept::kAny);
  }
  ExpectProfile(std::string(4096, '\0'), Swept::kRegistry);  // no section at all: the default
}

TEST(ProfileFileTest, TheFirstOfDuplicateSectionsAndKeysDecides) {
  ExpectProfile(
      "[TAVOX_INFO]\nTavoxDirectory=C:\\INIDIR\nTavoxDirectory=C:\\TAVOX2\n" + kCommandKey + "\n",
      Swept::kProfile);
  // Only the first section of a name is searched: the default decides.
  ExpectProfile("[TAVOX_INFO]\n" + kCommandKey + "\n[TAVOX_INFO]\nTavoxDirectory=C:\\TAVOX2\n",
                Swept::kRegistry);
  ExpectProfile("[tavox_info]\n tavoxdirectory = \"C:\\INIDIR\" \n" + kCommandKey + "\n",
                Swept::kProfile);
  ExpectProfile("[ TAVOX_INFO ]\nTavoxDirectory='C:\\INIDIR'\n" + kCommandKey + "\n",
                Swept::kProfile);
  ExpectProfile("[TAVOX_INFO\nTavoxDirectory=C:\\INIDIR\n" + kCommandKey + "\n", Swept::kProfile);
  ExpectProfile(";[TAVOX_INFO]\nTavoxDirectory=C:\\INIDIR\n", Swept::kRegistry);
  ExpectProfile("[TAVOX_INFO]\n;TavoxDirectory=C:\\INIDIR\n" + kCommandKey + "\n",
                Swept::kRegistry);
}

TEST(ProfileFileTest, ValuesCutToTheBufferNeverBecomeARoot) {
  // Cut to 259 characters, "C:\" and 256 dots is "C:\" once the dots are dropped.
  ExpectProfile("[TAVOX_INFO]\nTavoxDirectory=C:\\" + std::string(256, '.') + "\\TAVOX\n" +
                    kCommandKey + "\n",
                Swept::kNothing);
  ExpectProfile("[TAVOX_INFO]\nTavoxDirectory=C:\\TAVOX\\" + std::string(250, ' ') + "\\..\n" +
                    kCommandKey + "\n",
                Swept::kAny);
  ExpectProfile("[TAVOX_INFO]\nTavoxDirectory=C:\\INIDIR\\" + std::string(1 << 20, 'x') + "\n" +
                    kCommandKey + "\n",
                Swept::kNothing);
  ExpectProfile("[TAVOX_INFO]\nTavoxDirectory=" + std::string(1 << 20, '\\') + "\n", Swept::kAny);
}

// The framework's settings file in states it cannot be rewritten in, or should not be.
class SettingsFileTest : public ::testing::Test, public Scenario {};

TEST_F(SettingsFileTest, AReadOnlySettingsFileIsLeftAsItWasOrRewrittenWhole) {
  ASSERT_EQ(chmod(Settings().c_str(), 0444), 0);
  const Outcome o = Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct({});
}

TEST_F(SettingsFileTest, AnUnwritableWindowsDirectoryLeavesTheSettingsFileAsItWas) {
  const std::string windows = DriveC() + "/windows";
  Freeze();
  ASSERT_EQ(chmod(windows.c_str(), 0555), 0);
  const Outcome o = Execute();
  (void)chmod(windows.c_str(), 0755);
  EXPECT_EQ(o.exit_code, 0) << o;
  EXPECT_EQ(p().Read(Settings()), kSettings);
  ExpectOutsideIntact();
  ExpectProduct({});
}

TEST_F(SettingsFileTest, ASettingsFileThatIsADirectoryStaysWithWhatItHolds) {
  ASSERT_EQ(unlink(Settings().c_str()), 0);
  p().MakeFile(Settings() + "/INSIDE.TXT", "kept");
  const auto before = Snapshot(p().root(), {"log", "prefix/drive_c/TAVOX"});

  const Outcome o = Execute();

  EXPECT_EQ(o.exit_code, 0) << o;
  const auto after = Snapshot(p().root(), {"log", "prefix/drive_c/TAVOX"});
  EXPECT_TRUE(after == before) << Differences(before, after);
  ExpectProduct({});
}

TEST_F(SettingsFileTest, ASettingsFileThatIsALinkIsNeverWrittenThrough) {
  ASSERT_EQ(unlink(Settings().c_str()), 0);
  p().MakeLink(Settings(), p().outside() + "/canary.txt");
  const auto before = Snapshot(
      p().root(), {"log", "prefix/drive_c/TAVOX", "prefix/drive_c/windows/tavox-uninstall.INI"});
  const Outcome o = Execute();
  EXPECT_EQ(o.exit_code, 0) << o;
  const auto after = Snapshot(
      p().root(), {"log", "prefix/drive_c/TAVOX", "prefix/drive_c/windows/tavox-uninstall.INI"});
  EXPECT_TRUE(after == before) << Differences(before, after);
  EXPECT_EQ(p().Read(p().outside() + "/canary.txt"), "keep");
}

TEST_F(SettingsFileTest, AFullDiskLeavesTheSettingsFileAsItWas) {
  // The Windows directory becomes a small file system of its own, filled to the last block, in
  // a mount namespace of the run's own; what the run leaves there is printed back.
  if (system("unshare -m --propagation private true >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no mount namespaces here";
  }
  const std::string script = R"sh(
set -e
export LC_ALL=C
w="$1"; copy="$2"; exe="$3"
cp -a "$w/." "$copy"
mount -t tmpfs -o size=256k tmpfs "$w"
cp -a "$copy/." "$w"
dd if=/dev/zero of="$w/FILL" bs=4k 2>/dev/null || true
sync
set +e
"$exe"
code=$?
echo "exit=$code" >&2
echo "---settings"
cat "$w/tavox-uninstall.INI"
echo "---entries"
ls -A "$w"
)sh";
  RunPlan plan = Plan();
  plan.argv = {"/usr/bin/unshare",
               "-m",
               "--propagation",
               "private",
               "/bin/sh",
               "-c",
               script,
               "sh",
               DriveC() + "/windows",
               p().root() + "/windows-copy",
               TVX_EXE};
  AllowChanges("windows-copy");
  p().MakeDirectory(p().root() + "/windows-copy");

  const Outcome o = Execute(plan);

  EXPECT_EQ(o.exit_code, 0) << o;
  EXPECT_NE(o.err.find("exit=0"), std::string::npos) << o;
  const std::string settings = o.out.substr(0, o.out.find("---entries"));
  EXPECT_EQ(settings, std::string("---settings\n") + kSettings);
  const std::string entries = o.out.substr(o.out.find("---entries") + 11);
  EXPECT_EQ(entries, "FILL\nUNINST.EXE\nWIN.INI\nsystem\ntavox-uninstall.INI\n")
      << "a temporary file was left behind";
  ExpectOutsideIntact();
  ExpectProduct({});
}

}  // namespace
}  // namespace tvx::adversarial
