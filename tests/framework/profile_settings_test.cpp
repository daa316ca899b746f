#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "framework/winapp.h"
#include "tests/framework/app_fixture.h"

namespace {

using tvx::testing::AppTest;
using tvx::testing::TestApp;

// The settings file of an executable named tavox-uninstall, in the Windows directory.
constexpr char kSettingsFile[] = "C:\\windows\\tavox-uninstall.INI";

class StdProfileSettings : public AppTest {
 protected:
  StdProfileSettings() { app.load_settings = true; }

  TestApp app;
};

TEST_F(StdProfileSettings, AMissingFileGivesAnEmptyListAndNoFileAtExit) {
  EXPECT_EQ(RunApp(), 0);
  for (const CString& entry : app.m_strRecentFiles) EXPECT_TRUE(entry.IsEmpty());
  EXPECT_EQ(app.m_nNumPreviewPages, 0u);
  EXPECT_EQ(app.m_nMaxMRU, 4u);
  // Deleting a section of a missing file asks for nothing to be written.
  EXPECT_FALSE(machine.Exists(kSettingsFile));
}

TEST_F(StdProfileSettings, ReadsTheListAndPreviewPagesAndWritesThemBack) {
  machine.MakeFile(kSettingsFile,
                   "[Recent File List]\r\n"
                   "File1=C:\\TAVOX\\ONE.TAV\r\n"
                   "Other=dropped\r\n"
                   "File3=C:\\TAVOX\\THREE.TAV\r\n"
                   "File5=beyond the list\r\n"
                   "[Settings]\r\n"
                   "PreviewPages=2\r\n");
  EXPECT_EQ(RunApp(), 0);
  EXPECT_STREQ(app.m_strRecentFiles[0], "C:\\TAVOX\\ONE.TAV");
  EXPECT_STREQ(app.m_strRecentFiles[1], "");
  EXPECT_STREQ(app.m_strRecentFiles[2], "C:\\TAVOX\\THREE.TAV");
  EXPECT_STREQ(app.m_strRecentFiles[3], "");
  EXPECT_EQ(app.m_nNumPreviewPages, 2u);
  // The section is deleted and written anew at the end: only the non-empty entries are left.
  EXPECT_EQ(machine.FileContent(kSettingsFile),
            "[Settings]\r\n"
            "PreviewPages=2\r\n"
            "[Recent File List]\r\n"
            "File1=C:\\TAVOX\\ONE.TAV\r\n"
            "File3=C:\\TAVOX\\THREE.TAV\r\n");
}

TEST_F(StdProfileSettings, PreviewPagesOfZeroAreNotWritten) {
  machine.MakeFile(kSettingsFile, "[Settings]\r\nZoom=1\r\n");
  EXPECT_EQ(RunApp(), 0);
  EXPECT_EQ(machine.FileContent(kSettingsFile), "[Settings]\r\nZoom=1\r\n");
}

TEST_F(StdProfileSettings, PreviewPagesAreWrittenAsTheSignedNumberRead) {
  machine.MakeFile(kSettingsFile, "[Settings]\r\nPreviewPages=-1\r\n");
  EXPECT_EQ(RunApp(), 0);
  EXPECT_EQ(app.m_nNumPreviewPages, 0xFFFFFFFFu);
  EXPECT_EQ(machine.FileContent(kSettingsFile), "[Settings]\r\nPreviewPages=-1\r\n");
}

TEST_F(StdProfileSettings, ALongEntryIsWrittenBackWhole) {
  const std::string path = "C:\\" + std::string(700, 'L') + ".TAV";
  machine.MakeFile(kSettingsFile, "[Recent File List]\r\nFile2=" + path + "\r\n");
  EXPECT_EQ(RunApp(), 0);
  EXPECT_EQ(std::string(app.m_strRecentFiles[1]), path);
  EXPECT_EQ(machine.FileContent(kSettingsFile), "[Recent File List]\r\nFile2=" + path + "\r\n");
}

TEST_F(AppTest, SettingsThatWereNeverLoadedAreNotWrittenBack) {
  constexpr char kContent[] = "[Recent File List]\r\nFile1=A\r\nOther=B\r\n";
  machine.MakeFile(kSettingsFile, kContent);
  TestApp app;
  EXPECT_EQ(RunApp(), 0);
  EXPECT_EQ(machine.FileContent(kSettingsFile), kContent);
}

}  // namespace
