// The drives of a prefix, the start-up facts in Windows form, and the registry file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>

#include "tests/host/paths.h"
#include "tests/support/temp_prefix.h"

namespace tvx {
namespace {

using testing::Path;
using testing::TempPrefix;

std::string Windows(const std::string& host_path) {
  std::string text;
  for (char c : host_path) text += c == '/' ? '\\' : c;
  return text;
}

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(HostDrives, DriveCOfTheDefaultPrefixExistsAndNoOther) {
  TempPrefix prefix;
  auto machine = prefix.MakeMachine();
  EXPECT_TRUE(machine->HasDrive('C'));
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    EXPECT_EQ(machine->HasDrive(letter), letter == 'C') << letter;
  }
}

TEST(HostDrives, DosdevicesEntriesInEitherCaseLinksOrDirectoriesAreDrives) {
  TempPrefix prefix;
  prefix.MapDrive('D', prefix.outside() + "/d");
  prefix.MakeDirectory(prefix.outside() + "/e");
  prefix.MakeLink(prefix.prefix() + "/dosdevices/E:", prefix.outside() + "/e");
  prefix.MakeDirectory(prefix.prefix() + "/dosdevices/f:");
  prefix.MakeFile(prefix.prefix() + "/dosdevices/f:/on-f.txt");
  auto machine = prefix.MakeMachine();
  EXPECT_TRUE(machine->HasDrive('D'));
  EXPECT_TRUE(machine->HasDrive('E'));
  EXPECT_TRUE(machine->HasDrive('F'));
  EntryInfo info;
  EXPECT_EQ(machine->Stat(Path("F:\\ON-F.TXT"), &info), 0u);
}

TEST(HostDrives, OtherDosdevicesEntriesAreIgnored) {
  TempPrefix prefix;
  for (const char* name : {"com1", "cc:", "1:", "g::", "h", "::"}) {
    prefix.MakeLink(prefix.prefix() + "/dosdevices/" + name, prefix.outside());
  }
  auto machine = prefix.MakeMachine();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    EXPECT_EQ(machine->HasDrive(letter), letter == 'C') << letter;
  }
}

TEST(HostDrives, DriveWhoseRootIsMissingOrAFileIsAbsent) {
  TempPrefix prefix;
  prefix.MakeLink(prefix.prefix() + "/dosdevices/d:", prefix.outside() + "/nowhere");
  prefix.MakeFile(prefix.outside() + "/plain");
  prefix.MakeLink(prefix.prefix() + "/dosdevices/e:", prefix.outside() + "/plain");
  auto machine = prefix.MakeMachine();
  EXPECT_FALSE(machine->HasDrive('D'));
  EXPECT_FALSE(machine->HasDrive('E'));
  std::vector<EntryInfo> entries;
  EXPECT_EQ(machine->List(Path("D:\\"), &entries), 3u);  // ERROR_PATH_NOT_FOUND
}

TEST(HostDrives, WithoutDosdevicesDriveCIsDriveC) {
  TempPrefix prefix;
  ASSERT_EQ(unlink((prefix.prefix() + "/dosdevices/c:").c_str()), 0);
  ASSERT_EQ(rmdir((prefix.prefix() + "/dosdevices").c_str()), 0);
  auto machine = prefix.MakeMachine();
  EXPECT_TRUE(machine->HasDrive('C'));
  EXPECT_FALSE(machine->HasDrive('D'));
  EntryInfo info;
  EXPECT_EQ(machine->Stat(Path("C:\\WINDOWS"), &info), 0u);
}

TEST(HostDrives, WithDosdevicesOnlyItsEntriesCount) {
  TempPrefix prefix;
  ASSERT_EQ(unlink((prefix.prefix() + "/dosdevices/c:").c_str()), 0);
  auto machine = prefix.MakeMachine();
  EXPECT_FALSE(machine->HasDrive('C'));
}

TEST(HostDrives, NoPrefixIsAMachineWithoutDrives) {
  TempPrefix prefix;
  HostOptions options;
  options.working_directory = prefix.outside();
  auto machine = MakeHostMachine(options);
  for (char letter = 'A'; letter <= 'Z'; ++letter) EXPECT_FALSE(machine->HasDrive(letter));
  EXPECT_EQ(machine->StartDirectory(), "\\\\?\\unix" + Windows(prefix.outside()));
  std::string text;
  EXPECT_FALSE(machine->ReadRegistryText(&text));
}

TEST(HostDrives, OptionsFromTheEnvironmentNameThePrefix) {
  {
    ScopedEnvironment wine_prefix("WINEPREFIX", "/somewhere/prefix");
    EXPECT_EQ(HostOptionsFromEnvironment().prefix, "/somewhere/prefix");
  }
  {
    ScopedEnvironment wine_prefix("WINEPREFIX", nullptr);
    ScopedEnvironment home("HOME", "/home/someone");
    EXPECT_EQ(HostOptionsFromEnvironment().prefix, "/home/someone/.wine");
  }
  ScopedEnvironment wine_prefix("WINEPREFIX", "");
  ScopedEnvironment home("HOME", nullptr);
  const HostOptions options = HostOptionsFromEnvironment();
  EXPECT_EQ(options.prefix, "");
  EXPECT_EQ(options.working_directory, "");
  EXPECT_EQ(options.input_fd, 0);
  EXPECT_EQ(options.output_fd, 2);
  EXPECT_FALSE(MakeHostMachine(options)->HasDrive('C'));
}

struct StartCase {
  const char* host;     // below the temporary directory
  const char* windows;  // expected; "*" stands for the temporary directory in UNC form
};

void PrintTo(const StartCase& c, std::ostream* out) {
  *out << c.host;
}

class HostStartDirectory : public ::testing::TestWithParam<StartCase> {};

TEST_P(HostStartDirectory, IsTheHostDirectoryOnTheDeepestDrive) {
  TempPrefix prefix;
  prefix.MapDrive('D', prefix.prefix() + "/drive_c/deep");
  prefix.MapDrive('E', prefix.prefix() + "/drive_c/deep/er");
  prefix.MakeDirectory(prefix.prefix() + "/drive_c/TAVOX/Sub");
  prefix.MakeDirectory(prefix.prefix() + "/drive_c/caf\xc3\xa9");
  prefix.MakeDirectory(prefix.prefix() + "/drive_c/\xe6\x97\xa5\xe6\x9c\xac");
  prefix.MakeDirectory(prefix.prefix() + "/drive_c/deep/er/x");
  prefix.MakeDirectory(prefix.outside() + "/a b");
  prefix.MakeLink(prefix.outside() + "/to-tavox", prefix.prefix() + "/drive_c/TAVOX");
  std::string expected = GetParam().windows;
  if (expected[0] == '*') expected = "\\\\?\\unix" + Windows(prefix.root()) + expected.substr(1);
  EXPECT_EQ(prefix.MakeMachine(prefix.root() + GetParam().host)->StartDirectory(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostStartDirectory,
    ::testing::Values(StartCase{"/prefix/drive_c", "C:\\"},
                      StartCase{"/prefix/drive_c/TAVOX/Sub", "C:\\TAVOX\\Sub"},
                      StartCase{"/prefix/drive_c/deep", "D:\\"},
                      StartCase{"/prefix/drive_c/deep/er/x", "E:\\x"},
                      StartCase{"/outside/to-tavox", "C:\\TAVOX"},  // real paths compared
                      StartCase{"/prefix/drive_c/caf\xc3\xa9", "C:\\caf\xe9"},
                      StartCase{"/prefix/drive_c/\xe6\x97\xa5\xe6\x9c\xac", "C:\\??"},
                      StartCase{"/outside/a b", "*\\outside\\a b"},
                      StartCase{"/prefix", "*\\prefix"}));

// The start directory a machine made in a child process sees after `enter` ran there.
std::string StartDirectoryInChild(const TempPrefix& prefix, const std::function<void()>& enter) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    enter();
    HostOptions options = prefix.Options();
    options.working_directory.clear();
    const std::string start = MakeHostMachine(options)->StartDirectory();
    (void)!write(fds[1], start.data(), start.size());
    _exit(0);
  }
  close(fds[1]);
  std::string start;
  char buffer[4096];
  for (ssize_t count; (count = read(fds[0], buffer, sizeof buffer)) > 0;)
    start.append(buffer, count);
  close(fds[0]);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return start;
}

TEST(HostDrives, AWorkingDirectoryTooLongForGetcwdIsStillNamed) {
  TempPrefix prefix;
  const std::string name(200, 'L');
  std::string windows = "C:";
  // Made a level at a time: the whole path is too long for any call that takes one.
  int dir = open(prefix.Host("C:\\").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < 30; ++level) {
    ASSERT_EQ(mkdirat(dir, name.c_str(), 0755), 0);
    const int next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(dir);
    dir = next;
    windows += "\\" + name;
  }
  const std::string start = StartDirectoryInChild(prefix, [&] {
    if (fchdir(dir) != 0) _exit(1);
  });
  close(dir);
  EXPECT_EQ(start, windows);
}

TEST(HostDrives, ARemovedWorkingDirectoryHasNoWindowsPath) {
  TempPrefix prefix;
  prefix.MakeDirectory(prefix.Host("C:\\gone"));
  const std::string start = StartDirectoryInChild(prefix, [&] {
    if (chdir(prefix.Host("C:\\gone").c_str()) != 0 ||
        rmdir(prefix.Host("C:\\gone").c_str()) != 0) {
      _exit(1);
    }
  });
  EXPECT_EQ(start, "");
}

TEST(HostDrives, ModuleFileNameIsInTheSameForm) {
  TempPrefix prefix;
  prefix.MakeFile(prefix.Host("C:\\TAVOX\\uninst.exe"));
  HostOptions options = prefix.Options();
  options.module_path = prefix.Host("C:\\TAVOX\\uninst.exe");
  EXPECT_EQ(MakeHostMachine(options)->ModuleFileName(), "C:\\TAVOX\\uninst.exe");
  // The test program itself lies on no drive of the prefix.
  const std::string own = prefix.MakeMachine()->ModuleFileName();
  EXPECT_EQ(own.rfind("\\\\?\\unix\\", 0), 0u) << own;
  EXPECT_EQ(own.substr(own.size() - 11), "\\host_tests") << own;
}

TEST(HostDrives, HostRootsAreTheHostsRootAndEveryDrivesRoot) {
  TempPrefix prefix;
  prefix.MapDrive('D', prefix.prefix() + "/drive_c/deep");
  auto machine = prefix.MakeMachine();
  EXPECT_TRUE(machine->IsHostRoot(Path("C:\\")));
  EXPECT_TRUE(machine->IsHostRoot(Path("D:\\")));
  EXPECT_TRUE(machine->IsHostRoot(Path("C:\\DEEP")));
  EXPECT_TRUE(machine->IsHostRoot(Path("\\\\?\\unix")));
  EXPECT_FALSE(machine->IsHostRoot(Path("C:\\windows")));
  EXPECT_FALSE(machine->IsHostRoot(Path("C:\\missing")));
  EXPECT_FALSE(machine->IsHostRoot(testing::HostPath(prefix.outside())));
}

TEST(HostDrives, RegistryTextIsTheBytesOfSystemReg) {
  TempPrefix prefix;
  std::string text;
  EXPECT_FALSE(prefix.MakeMachine()->ReadRegistryText(&text));
  prefix.WriteRegistry("[Software\\\\TAVOX]\n\"Dir\"=\"C:\\\\TAVOX\"\n");
  ASSERT_TRUE(prefix.MakeMachine()->ReadRegistryText(&text));
  EXPECT_EQ(text, "WINE REGISTRY Version 2\n[Software\\\\TAVOX]\n\"Dir\"=\"C:\\\\TAVOX\"\n");
}

}  // namespace
}  // namespace tvx
