#include <string>
#include <vector>

#include "app/uninstall_app.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/fake_machine.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using tvx::testing::FakeMachine;

constexpr char kUninstaller[] = "C:\\windows\\UNINST.EXE";

// Escapes a value the way the registry file writes strings.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

class UninstallTest : public ::testing::Test {
 protected:
  UninstallTest() {
    fake_.MakeFile("C:\\TAVOX\\GAME.EXE");
    fake_.MakeFile("C:\\TAVOX\\DEISL1.ISU");
    fake_.MakeFile("C:\\TAVOX\\DATA\\LEVEL1.DAT");
    fake_.AddProgram(kUninstaller, {});
  }

  void SetRegistry(const std::vector<std::string>& values) {
    std::string text = "WINE REGISTRY Version 2\n\n[Software\\\\TAVOX] 1700000000\n";
    for (const std::string& value : values) text += value + "\n";
    fake_.SetRegistryText(text);
  }
  void SetProfile(const std::string& body) {
    fake_.MakeFile("C:\\windows\\tavox.ini", "[TAVOX_INFO]\r\n" + body);
  }

  // Runs the program as its main would: the framework's start-up, InitInstance, exit.
  int RunProgram(int answer) {
    fake_.answers = {answer};
    return AfxWinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPTSTR>(""), SW_SHOW);
  }

  size_t IndexOf(const std::string& prefix) const {
    for (size_t i = 0; i < fake_.calls.size(); ++i) {
      if (fake_.calls[i].rfind(prefix, 0) == 0) return i;
    }
    return fake_.calls.size();
  }
  size_t LastIndexOf(const std::string& prefix) const {
    size_t last = fake_.calls.size();
    for (size_t i = 0; i < fake_.calls.size(); ++i) {
      if (fake_.calls[i].rfind(prefix, 0) == 0) last = i;
    }
    return last;
  }

  FakeMachine fake_;
  tvx::ScopedMachine scope_{fake_};
  CUninstallApp app_;
};

struct SettingCase {
  const char* name;
  std::vector<std::string> registry;
  std::string profile;
  std::string expected;
};

class SettingLookupTest : public UninstallTest,
                          public ::testing::WithParamInterface<SettingCase> {};

TEST_P(SettingLookupTest, FindsTheProductDirectory) {
  const SettingCase& c = GetParam();
  if (!c.registry.empty()) SetRegistry(c.registry);
  if (!c.profile.empty()) SetProfile(c.profile);
  EXPECT_EQ(RunProgram(IDNO), 0);
  EXPECT_EQ(std::string(app_.m_strInstallDir), c.expected);
}

const std::string k259(259 - 3, 'D');
const std::string k260(260 - 3, 'D');

INSTANTIATE_TEST_SUITE_P(
    Sources, SettingLookupTest,
    ::testing::Values(
        SettingCase{"RegistryWins",
                    {"\"TavoxDirectory\"=" + Quoted("D:\\REG")},
                    "TavoxDirectory=D:\\INI\r\n",
                    "D:\\REG"},
        SettingCase{"EmptyRegistryValueFallsToProfile",
                    {"\"TavoxDirectory\"=\"\""},
                    "TavoxDirectory=D:\\INI\r\n",
                    "D:\\INI"},
        SettingCase{"MissingKeyFallsToProfile", {}, "TavoxDirectory=D:\\INI\r\n", "D:\\INI"},
        SettingCase{"NeitherGivesTheDefault", {}, "", "C:\\TAVOX"},
        SettingCase{"ProfileWithoutTheKeyGivesTheDefault", {}, "Other=1\r\n", "C:\\TAVOX"},
        SettingCase{"RegistryValueOf259CharactersIsUsed",
                    {"\"TavoxDirectory\"=" + Quoted("C:\\" + k259)},
                    "",
                    "C:\\" + k259},
        SettingCase{"RegistryValueOf260CharactersCountsAsAbsent",
                    {"\"TavoxDirectory\"=" + Quoted("C:\\" + k260)},
                    "TavoxDirectory=D:\\INI\r\n",
                    "D:\\INI"},
        SettingCase{"DataFillingTheBufferWithoutAZeroCountsAsAbsent",
                    {"\"TavoxDirectory\"=hex:" +
                     [] {
                       std::string hex;
                       for (int i = 0; i < 260; ++i) hex += i == 0 ? "41" : ",41";
                       return hex;
                     }()},
                    "TavoxDirectory=D:\\INI\r\n",
                    "D:\\INI"},
        SettingCase{
            "OneTrailingBackslashIsCut", {"\"TavoxDirectory\"=" + Quoted("D:\\X\\")}, "", "D:\\X"},
        SettingCase{"OnlyOneOfTwoBackslashesIsCut",
                    {"\"TavoxDirectory\"=" + Quoted("D:\\X\\\\")},
                    "",
                    "D:\\X\\"},
        SettingCase{"TrailingSlashStays", {"\"TavoxDirectory\"=" + Quoted("D:\\X/")}, "", "D:\\X/"},
        SettingCase{"LoneBackslashBecomesEmpty", {"\"TavoxDirectory\"=" + Quoted("\\")}, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UninstallTest, NoLeavesEverythingAndNeverReadsTheCommand) {
  SetRegistry({"\"UninstallString\"=" + Quoted(kUninstaller)});
  EXPECT_EQ(RunProgram(IDNO), 0);
  EXPECT_TRUE(app_.m_strUninstallCmd.IsEmpty());
  EXPECT_THAT(fake_.started, IsEmpty());
  EXPECT_THAT(fake_.CallsOf("DeleteFile"), IsEmpty());
  EXPECT_THAT(fake_.CallsOf("RemoveDirectory"), IsEmpty());
}

TEST_F(UninstallTest, BoxThatCannotBeShownCountsAsNo) {
  EXPECT_EQ(RunProgram(/*answer=*/0), 0);
  EXPECT_THAT(fake_.CallsOf("DeleteFile"), IsEmpty());
}

TEST_F(UninstallTest, AsksOnceWithTheTitleAsCaption) {
  (void)RunProgram(IDNO);
  ASSERT_EQ(fake_.questions.size(), 1u);
  EXPECT_EQ(fake_.questions[0].caption, "Uninstall All Tavox Lumerands");
  EXPECT_EQ(fake_.questions[0].type, static_cast<uint32_t>(MB_YESNO | MB_ICONEXCLAMATION));
  EXPECT_EQ(fake_.questions[0].text.rfind("Are you sure you want to uninstall all of the Tavox "
                                          "Lumerands previously installed on this machine?  (",
                                          0),
            0u);
}

TEST_F(UninstallTest, YesSweepsRunsTheUninstallerThenRemovesTheDirectory) {
  SetRegistry({"\"UninstallString\"=" +
               Quoted(std::string(kUninstaller) + " -f\"C:\\TAVOX\\DEISL1.ISU\"")});
  bool log_was_kept = false;
  FakeMachine::Program uninstaller;
  uninstaller.on_start = [&](FakeMachine& m) {
    log_was_kept = m.Exists("C:\\TAVOX\\DEISL1.ISU") && !m.Exists("C:\\TAVOX\\GAME.EXE");
  };
  fake_.AddProgram(kUninstaller, uninstaller);

  EXPECT_EQ(RunProgram(IDYES), 0);

  EXPECT_TRUE(log_was_kept);
  EXPECT_FALSE(fake_.Exists("C:\\TAVOX"));
  const size_t start = IndexOf("StartProcess");
  EXPECT_LT(IndexOf("AskQuestion"), IndexOf("DeleteFile"));
  EXPECT_LT(IndexOf("DeleteFile C:\\TAVOX\\GAME.EXE"), start);
  EXPECT_LT(LastIndexOf("CloseProcess"), IndexOf("DeleteFile C:\\TAVOX\\DEISL1.ISU"));
  EXPECT_EQ(fake_.CallsOf("RemoveDirectory").back(), "C:\\TAVOX");
  EXPECT_LT(start, LastIndexOf("RemoveDirectory C:\\TAVOX"));
}

TEST_F(UninstallTest, EmptyCommandStillSweepsAndRemoves) {
  EXPECT_EQ(RunProgram(IDYES), 0);
  EXPECT_THAT(fake_.started, IsEmpty());
  EXPECT_FALSE(fake_.Exists("C:\\TAVOX"));
}

TEST_F(UninstallTest, FailedUninstallerStillLeadsToTheCompleteSweep) {
  SetRegistry({"\"UninstallString\"=" + Quoted("C:\\windows\\MISSING.EXE")});
  EXPECT_EQ(RunProgram(IDYES), 0);
  EXPECT_THAT(fake_.beeps, ElementsAre(MB_OK));
  EXPECT_FALSE(fake_.Exists("C:\\TAVOX"));
}

TEST_F(UninstallTest, SmallDriveLetterIsSwept) {
  SetRegistry({"\"TavoxDirectory\"=" + Quoted("c:\\tavox")});
  EXPECT_EQ(RunProgram(IDYES), 0);
  EXPECT_FALSE(fake_.Exists("C:\\TAVOX"));
}

class RefusedDirectoryTest : public UninstallTest,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedDirectoryTest, IsNeverSweptButTheCommandStillRuns) {
  fake_.MakeDirectory("C:\\MNT\\DATA");
  fake_.MarkHostRoot("C:\\MNT");
  SetRegistry(
      {"\"TavoxDirectory\"=" + Quoted(GetParam()), "\"UninstallString\"=" + Quoted(kUninstaller)});

  EXPECT_EQ(RunProgram(IDYES), 0);

  EXPECT_THAT(fake_.CallsOf("DeleteFile"), IsEmpty());
  EXPECT_THAT(fake_.CallsOf("RemoveDirectory"), IsEmpty());
  EXPECT_EQ(fake_.started.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(DriveRootsAndRelativePaths, RefusedDirectoryTest,
                         ::testing::Values("C:\\", "C:", "c:\\\\", "C:\\.", "C:\\TAVOX\\..",
                                           "C:\\MNT", "C:\\MNT\\", "\\", "C:TAVOX", "c:..\\TAVOX"));

TEST_F(UninstallTest, UncStartDirectoryDoesNotStrandTheRemoval) {
  fake_.MakeDirectory("\\\\server\\share\\work");
  fake_.SetStartDirectory("\\\\server\\share\\work");
  tvx::ScopedMachine fresh(fake_);
  SetRegistry({"\"UninstallString\"=" + Quoted(kUninstaller)});

  EXPECT_EQ(RunProgram(IDYES), 0);

  ASSERT_EQ(fake_.started.size(), 1u);
  EXPECT_EQ(fake_.started[0].directory, "\\\\server\\share\\work");
  EXPECT_FALSE(fake_.Exists("C:\\TAVOX"));
}

TEST_F(UninstallTest, WritesTheFrameworkSettingsBackAtExit) {
  fake_.MakeFile("C:\\windows\\tavox-uninstall.INI",
                 "[Recent File List]\r\nFile1=C:\\A.TXT\r\nOther=1\r\n");
  (void)RunProgram(IDNO);
  const std::string ini = fake_.FileContent("C:\\windows\\tavox-uninstall.INI");
  EXPECT_NE(ini.find("File1=C:\\A.TXT"), std::string::npos);
  EXPECT_EQ(ini.find("Other"), std::string::npos);
}

}  // namespace
