// Test helper: a machine, a string table and a small application class for tests of the
// framework's start-up and exit.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/winapp.h"
#include "tests/framework/scoped_string_table.h"
#include "tests/support/fake_machine.h"

namespace tvx::testing {

/// An application that records what the framework does around its start-up routine.
class TestApp : public CWinApp {
 public:
  explicit TestApp(LPCTSTR app_name = nullptr) : CWinApp(app_name) {}

  BOOL InitInstance() override {
    // SetErrorMode returns the mode it replaces; the mode is put back at once.
    error_mode_at_start = SetErrorMode(0);
    (void)SetErrorMode(error_mode_at_start);
    events.push_back("InitInstance");
    if (load_settings) LoadStdProfileSettings(4);
    return init_result;
  }
  int Run() override {
    events.push_back("Run");
    return CWinApp::Run();
  }
  int ExitInstance() override {
    events.push_back("ExitInstance");
    return CWinApp::ExitInstance() + exit_offset;
  }

  BOOL init_result = FALSE;
  bool load_settings = false;
  int exit_offset = 0;
  UINT error_mode_at_start = 0;
  std::vector<std::string> events;
};

/// A fresh fake machine made current, and the framework's title row in the string table.
class AppTest : public ::testing::Test {
 protected:
  /// Runs the application object that the test constructed, as the framework's main does.
  static int RunApp() {
    static char no_arguments[] = "";
    return AfxWinMain(GetModuleHandleA(nullptr), /*previous=*/nullptr, no_arguments, SW_SHOW);
  }

  FakeMachine machine;
  ScopedMachine scope{machine};
  ScopedStringTable table{{{AFX_IDS_APP_TITLE, "Test Title"}, {0xE105, "Sure?"}}};
};

}  // namespace tvx::testing
