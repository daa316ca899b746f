// A hostile system.reg: cut short at every byte, binary garbage, huge, with huge lines, with the
// wrong header, with values of other types where text is expected, with every escape form. The
// run always ends with exit code 0 (or the out-of-memory exit) and a sound disk.
#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

const std::string kHeader = "WINE REGISTRY Version 2\n";
const std::string kKey = "[Software\\\\TAVOX] 1700000000\n";
const std::string kCommandLine = "\"UninstallString\"=\"" + RegEscape(kCommand) + "\"\n";

// A hive whose key holds the command and `directory_line` (a whole value line, or nothing).
std::string Hive(const std::string& directory_line) {
  return kHeader + ";; All keys relative to \\\\Machine\n\n#arch=win32\n\n" + kKey + kCommandLine +
         directory_line;
}
std::string DirectoryValue(const std::string& data) {
  return "\"TavoxDirectory\"=" + data + "\n";
}

void Expect(const std::string& file, Swept swept) {
  SCOPED_TRACE("system.reg: " + Printable(file));
  SettingsScenario s;
  s.SetRegistryFile(file);
  s.RunAndExpect(swept);
}

TEST(RegistryFileTest, ValuesOfEveryFormAreTakenAsTextAndNeverNameARoot) {
  struct Case {
    std::string data;  // as it stands after the "=" in the file
    Swept swept;
  };
  for (const Case& c : std::vector<Case>{
           {"\"C:\\\\TAVOX\"", Swept::kRegistry},
           {"str:\"C:\\\\TAVOX\"", Swept::kRegistry},
           {"str(2):\"C:\\\\TAVOX\"", Swept::kRegistry},
           {"str(7):\"C:\\\\TAVOX\\0D:\\\\DATA\\0\"", Swept::kRegistry},
           {"hex:43,3a,5c,54,41,56,4f,58", Swept::kRegistry},  // no terminating zero
           {"hex(1):43,00,3a,00,5c,00,54,00,41,00,56,00,4f,00,58,00,00,00", Swept::kRegistry},
           {"hex(2):43,00,3a,00,5c,00,54,00,41,00,56,00,4f,00,58,00,00,00", Swept::kRegistry},
           {"hex(1):43,00,3a,00,5c,00,54,00,41,00,56,00,4f,00,58,00,00", Swept::kAny},  // odd size
           {"hex:43,3a,\\\n  5c,54,41,\\\n  56,4f,58,00", Swept::kRegistry},  // continued lines
           {"dword:00000043", Swept::kNothing},                               // "C"
           {"dword:005c3a43", Swept::kNothing},                               // "C:\"
           {"dword:00003a43", Swept::kNothing},                               // "C:"
           {"dword:41424344", Swept::kNothing},                               // "DCBA", no zero
           {"dword:00000000", Swept::kProfile},                               // empty
           {"hex:43,3a,5c,00", Swept::kNothing},
           {"hex:43,3a,00", Swept::kNothing},
           {"hex:", Swept::kProfile},
           {"hex(0):", Swept::kProfile},
           {"hex(b):43,3a,5c,00,00,00,00,00", Swept::kNothing},
           {"hex(100):43,3a,5c,54,41,56,4f,58,00", Swept::kRegistry},
           {"hex:" +
                [] {
                  std::string bytes;  // 260 bytes without a zero fill the buffer: absent
                  for (int i = 0; i < 260; ++i) bytes += i == 0 ? "41" : ",41";
                  return bytes;
                }(),
            Swept::kProfile},
           {"\"\"", Swept::kProfile},
       }) {
    Expect(Hive(DirectoryValue(c.data)), c.swept);
  }
}

TEST(RegistryFileTest, EveryEscapeFormIsReadAsTheFormatSays) {
  struct Case {
    std::string text;  // between the quotes
    Swept swept;
  };
  for (const Case& c : std::vector<Case>{
           {"C:\\\\T\\x41VOX", Swept::kRegistry},
           {"C:\\\\T\\x0041VOX", Swept::kRegistry},
           {"\\x43:\\x5cTAVOX", Swept::kRegistry},
           {"C:\\\\T\\101VOX", Swept::kRegistry},  // octal
           {"C:\\\\t\\141vox", Swept::kRegistry},  // small letters name the same directory
           {"C:\\\\TAVOX\\0junk", Swept::kRegistry},
           {"C:\\\\TAV\\0OX", Swept::kNothing},
           {"C:\\\\TAVOX\\n", Swept::kNothing},
           {"C:\\\\TAVOX\\t", Swept::kNothing},
           {"C:\\\\TAVOX\\r", Swept::kNothing},
           {"C:\\\\T\\aAVOX\\b\\e\\f\\v", Swept::kNothing},
           {"C:\\\\\\\"TAVOX\\\"", Swept::kNothing},
           {"C:\\\\TAVOX\\x263a", Swept::kNothing},  // no such character in the code page
           {"C:\\\\TAVOX\\\\*", Swept::kNothing},
           {"C:\\\\TAVOX\\q", Swept::kNothing},
           {"C:\\\\TAVOX\\", Swept::kAny},  // an escape cut by the closing quote
           {"C:\\\\TAVOX\\\\", Swept::kRegistry},
           {"C:\\\\TAVOX\\\\\\\\", Swept::kRegistry},
           {"C:\\\\TAVOX\\\\..\\\\TAVOX", Swept::kRegistry},
           {"C:\\\\TAVOX\\\\..\\\\..\\\\..\\\\TAVOX", Swept::kRegistry},
           {"C:\\\\TAVOX\\\\..", Swept::kNothing},
           {"\\x43\\x3a\\x5c", Swept::kNothing},
           {"C:\\\\\\x2e\\x2e", Swept::kNothing},
           {"C:\\\\TAVOX\\x5c\\x2e\\x2e", Swept::kNothing},
           {"C:\\\\TAVOX\\x5c\\x2e\\x2e\\x5cTAVOX", Swept::kRegistry},
           {"C:\\\\TAVOX\\xff0e\\xff0e", Swept::kNothing},  // full-width dots are no dots
           {"C:\\\\TAVOX\\xff3c..", Swept::kNothing},       // nor is a full-width backslash
       }) {
    Expect(Hive(DirectoryValue("\"" + c.text + "\"")), c.swept);
  }
}

TEST(RegistryFileTest, NamesKeysAndLinesInOtherFormsStillFindTheValue) {
  struct Case {
    std::string file;
    Swept swept;
  };
  const std::string dir = DirectoryValue("\"C:\\\\TAVOX\"");
  for (const Case& c : std::vector<Case>{
           {Hive("\"TAVOXDIRECTORY\"=\"C:\\\\TAVOX\"\n"), Swept::kRegistry},
           {Hive("\"Tavox\\x44irectory\"=\"C:\\\\TAVOX\"\n"), Swept::kRegistry},
           {Hive("  \"TavoxDirectory\"  =  \"C:\\\\TAVOX\"\n"), Swept::kRegistry},
           {Hive(DirectoryValue("\"C:\\\\INIDIR\"") + dir), Swept::kRegistry},  // the later wins
           {kHeader + "[software\\\\tavox]\n" + kCommandLine + dir, Swept::kRegistry},
           {kHeader + "[Software\\\\TAVOX\\\\]\n" + kCommandLine + dir, Swept::kAny},
           {kHeader + "#arch=win64\n[Software\\\\Wow6432Node\\\\TAVOX]\n" + kCommandLine + dir,
            Swept::kRegistry},
           {kHeader + "[Software\\\\Wow6432Node\\\\TAVOX]\n" + kCommandLine + dir, Swept::kProfile},
           {kHeader + "#arch=win64\n[Software\\\\TAVOX]\n" + kCommandLine + dir, Swept::kProfile},
           {kHeader + dir + kKey + kCommandLine, Swept::kProfile},  // a value before any key
           {"WINE REGISTRY Version 2\r\n[Software\\\\TAVOX]\r\n" + kCommandLine + dir,
            Swept::kRegistry},
           {kHeader + "[Software\\\\TAVOX]" + kCommandLine + dir, Swept::kAny},
           {kHeader + "[Software\\\\TAVOX\n" + kCommandLine + dir, Swept::kAny},
           {kHeader + "[Software\\\\TAVOX]\n\"TavoxDirectory\"=\"C:\\\\TAVOX", Swept::kAny},
           {kHeader + "[Software\\\\TAVOX]\n\"TavoxDirectory\"\"C:\\\\TAVOX\"\n", Swept::kAny},
           {kHeader + "[Software\\\\TAVOX]\n\"TavoxDirectory=\"C:\\\\TAVOX\"\n", Swept::kAny},
       }) {
    Expect(c.file, c.swept);
  }
}

TEST(RegistryFileTest, TheWrongHeaderLeavesTheProfileFileToDecide) {
  const std::string body = kKey + kCommandLine + DirectoryValue("\"C:\\\\TAVOX\"");
  for (const std::string& header : std::vector<std::string>{
           "", "\n", "WINE REGISTRY Version 1\n", "WINE REGISTRY Version 2 \n", "REGEDIT4\n\n",
           "Windows Registry Editor Version 5.00\n\n", "\xEF\xBB\xBFWINE REGISTRY Version 2\n",
           std::string("\xFF\xFEW\0I\0N\0E\0\n\0", 12), "wine registry version 2\n",
           "WINE REGISTRY Version 2"}) {
    Expect(header + body, Swept::kProfile);
  }
}

TEST(RegistryFileTest, ACutAtAnyByteEndsSoundly) {
  // The command comes from the profile file, so that the hive is short and every cut is tried.
  const std::string full = kHeader + kKey + DirectoryValue("\"C:\\\\TAVOX\\\\\"");
  // One scenario for all cuts: the product is made again before each run.
  SettingsScenario s;
  s.AllowChanges("prefix/drive_c/TAVOX");
  s.AllowChanges("prefix/drive_c/INIDIR");
  s.AllowChanges("prefix/system.reg");
  s.SetProduct("C:\\NONE");
  s.Freeze();
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut) + ": " + Printable(full.substr(0, cut)));
    s.SetRegistryFile(full.substr(0, cut));
    s.MakeProduct();
    const Outcome o = s.Execute();
    ASSERT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
  }
}

TEST(RegistryFileTest, BinaryGarbageEndsSoundly) {
  std::mt19937 random(20240611);
  SettingsScenario s;
  s.AllowChanges("prefix/drive_c/TAVOX");
  s.AllowChanges("prefix/drive_c/INIDIR");
  s.AllowChanges("prefix/system.reg");
  s.SetProduct("C:\\NONE");
  s.Freeze();
  for (int round = 0; round < 24; ++round) {
    std::string garbage(1 + random() % 8192, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    // Half the rounds have the right header, so that the parser gets past the first line.
    const std::string file = round % 2 ? kHeader + kKey + garbage : garbage;
    SCOPED_TRACE("round " + std::to_string(round) + ": " + Printable(file, 80));
    s.SetRegistryFile(file);
    s.MakeProduct();
    const Outcome o = s.Execute();
    ASSERT_EQ(o.exit_code, 0) << o;
    s.ExpectOutsideIntact();
  }
}

TEST(RegistryFileTest, LinesOfAMegabyte) {
  const std::string mb(1 << 20, 'x');
  const std::string dir = DirectoryValue("\"C:\\\\TAVOX\"");
  std::string hex_line = "\"Blob\"=hex:00";
  for (int i = 1; i < (1 << 19); ++i) hex_line += ",ab";
  struct Case {
    std::string file;
    Swept swept;
  };
  for (const Case& c : std::vector<Case>{
           {Hive(DirectoryValue("\"C:\\\\" + mb + "\"")), Swept::kProfile},
           {Hive(DirectoryValue(
                "hex:43,3a,5c" +
                [] {
                  std::string bytes;  // "C:\AAA..." of a third of a megabyte, far over the buffer
                  for (int i = 0; i < 350'000; ++i) bytes += ",41";
                  return bytes;
                }())),
            Swept::kProfile},
           {kHeader + ";" + mb + "\n" + kKey + kCommandLine + dir, Swept::kRegistry},
           {kHeader + "[" + mb + "]\n\"v\"=\"x\"\n" + kKey + kCommandLine + dir, Swept::kRegistry},
           {kHeader + kKey + "\"" + mb + "\"=\"x\"\n" + kCommandLine + dir, Swept::kRegistry},
           {kHeader + kKey + hex_line + "\n" + kCommandLine + dir, Swept::kRegistry},
           {kHeader + kKey + mb + "\n" + kCommandLine + dir, Swept::kRegistry},
           {kHeader + "[" +
                [] {
                  std::string deep;  // a key path of a hundred thousand levels
                  for (int i = 0; i < 100'000; ++i) deep += "K\\\\";
                  return deep;
                }() +
                "]\n\"v\"=\"x\"\n" + kKey + kCommandLine + dir,
            Swept::kRegistry},
       }) {
    Expect(c.file, c.swept);
  }
}

TEST(RegistryFileTest, AHundredMegabyteFileIsReadOrEndsWithTheOutOfMemoryExit) {
  if (UnderValgrind()) GTEST_SKIP() << "too slow under memcheck";
  SettingsScenario s;
  const std::string path = s.p().prefix() + "/system.reg";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  std::string chunk = kHeader;
  const std::string filler(1000, 'f');
  size_t written = 0;
  for (int key = 0; written < (100u << 20); ++key) {
    chunk += "[Software\\\\Filler\\\\K" + std::to_string(key) + "] 1700000000\n";
    for (int v = 0; v < 100; ++v) chunk += "\"V" + std::to_string(v) + "\"=\"" + filler + "\"\n";
    ASSERT_EQ(write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    written += chunk.size();
    chunk.clear();
  }
  chunk = kKey + kCommandLine + DirectoryValue("\"C:\\\\TAVOX\"");
  ASSERT_EQ(write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
  (void)close(fd);

  s.RunAndExpect(Swept::kRegistry, /*out_of_memory_allowed=*/true);
}

TEST(RegistryFileTest, RunningOutOfMemoryEndsWithTheOutOfMemoryExitAndTouchesNothing) {
  if (UnderValgrind() || ProgramIsSanitized())
    GTEST_SKIP() << "the checker needs memory of its own";
  // A large hive read under a small address-space limit.
  SettingsScenario s;
  std::string file = kHeader;
  for (int key = 0; key < 4000; ++key) {
    file += "[Software\\\\Filler\\\\K" + std::to_string(key) + "]\n";
    for (int v = 0; v < 20; ++v)
      file += "\"V" + std::to_string(v) + "\"=\"" + std::string(200, 'f') + "\"\n";
  }
  file += kKey + kCommandLine + DirectoryValue("\"C:\\\\TAVOX\"");
  s.SetRegistryFile(file);
  // The limit is set by a shell between the test and the program: 24 MB of address space, far
  // too little for the hive, so the run ends while the registry is read, before the question.
  RunPlan plan = s.Plan();
  plan.argv = {"/bin/sh", "-c", "ulimit -v 24576 && exec \"$0\"", TVX_EXE};
  const Outcome o = s.Execute(plan);
  EXPECT_EQ(o.exit_code, 3) << o;
  EXPECT_EQ(o.err, "tavox-uninstall: out of memory\n");
  s.ExpectProduct(StandardProduct());
  s.ExpectOutsideIntact();
}

}  // namespace
}  // namespace tvx::adversarial
