#include "framework/winapp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/framework/app_fixture.h"

namespace {

using ::testing::ElementsAre;
using tvx::testing::AppTest;
using tvx::testing::ScopedStringTable;
using tvx::testing::TestApp;

using WinAppTest = AppTest;

TEST_F(WinAppTest, TheConstructedObjectIsTheApplicationUntilItIsDestroyed) {
  {
    TestApp app;
    EXPECT_EQ(AfxGetApp(), &app);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
}

TEST_F(WinAppTest, WithoutAnApplicationObjectNothingRuns) {
  EXPECT_EQ(RunApp(), -1);
}

TEST_F(WinAppTest, SetsTheErrorModeBeforeInitInstance) {
  TestApp app;
  (void)RunApp();
  EXPECT_EQ(app.error_mode_at_start,
            static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
}

TEST_F(WinAppTest, AFalseInitInstanceGoesStraightToExitInstanceAndItsCode) {
  TestApp app;
  EXPECT_EQ(RunApp(), 0);
  EXPECT_THAT(app.events, ElementsAre("InitInstance", "ExitInstance"));
  TestApp other;
  other.exit_offset = 7;
  EXPECT_EQ(RunApp(), 7);
}

TEST_F(WinAppTest, ATrueInitInstanceRunsAndEndsAtOnceForWantOfWindows) {
  TestApp app;
  app.init_result = TRUE;
  EXPECT_EQ(RunApp(), 0);
  EXPECT_THAT(app.events, ElementsAre("InitInstance", "Run", "ExitInstance"));
}

TEST_F(WinAppTest, TheFrameworkOwnStartUpRoutineSucceeds) {
  CWinApp app;
  EXPECT_TRUE(app.InitInstance());
  EXPECT_EQ(RunApp(), 0);
}

struct NameCase {
  const char* module_file_name;
  const char* exe_name;
};

class ExecutableName : public AppTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ExecutableName, DropsTheDirectoryAndTheExtension) {
  machine.SetModuleFileName(GetParam().module_file_name);
  TestApp app;
  (void)RunApp();
  EXPECT_STREQ(app.m_pszExeName, GetParam().exe_name);
  EXPECT_EQ(std::string(app.m_pszProfileName), std::string(GetParam().exe_name) + ".INI");
}

INSTANTIATE_TEST_SUITE_P(ModuleFileNames, ExecutableName,
                         ::testing::Values(NameCase{"C:\\tavox-uninstall.exe", "tavox-uninstall"},
                                           NameCase{"C:\\PROGRA~1\\TAVOX\\UNINST.EXE", "UNINST"},
                                           NameCase{"C:\\dir.ext\\program", "program"},
                                           NameCase{"C:\\bin/tool.v2.exe", "tool.v2"},
                                           NameCase{
                                               "\\\\?\\unix\\home\\user\\build\\tavox-uninstall",
                                               "tavox-uninstall"},
                                           NameCase{"\\\\server\\share\\Setup.", "Setup"}));

TEST_F(WinAppTest, TakesTheTitleFromTheStringTable) {
  TestApp app;
  (void)RunApp();
  EXPECT_STREQ(app.m_pszAppName, "Test Title");
}

TEST_F(WinAppTest, WithoutATitleRowTheTitleIsTheExecutableName) {
  ScopedStringTable no_title({{0xE105, "Sure?"}});
  machine.SetModuleFileName("C:\\TOOLS\\Remover.EXE");
  TestApp app;
  (void)RunApp();
  EXPECT_STREQ(app.m_pszAppName, "Remover");
}

TEST_F(WinAppTest, AnEmptyTitleRowCountsAsMissing) {
  ScopedStringTable empty_title({{AFX_IDS_APP_TITLE, ""}});
  TestApp app;
  (void)RunApp();
  EXPECT_STREQ(app.m_pszAppName, "tavox-uninstall");
}

TEST_F(WinAppTest, ATitleGivenToTheConstructorIsKept) {
  TestApp app("Given");
  (void)RunApp();
  EXPECT_STREQ(app.m_pszAppName, "Given");
}

TEST_F(WinAppTest, NamesNoRegistryKeyAndOpensNoWindow) {
  TestApp app;
  (void)RunApp();
  EXPECT_EQ(app.m_pszRegistryKey, nullptr);
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  EXPECT_EQ(AfxGetInstanceHandle(), GetModuleHandleA(nullptr));
}

}  // namespace
