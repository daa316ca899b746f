#include "res/string_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "framework/cstring.h"
#include "res/resource.h"

namespace {

struct Row {
  unsigned id;
  const char* text;
};

// The rows exactly as the program must carry them, two blanks after the question mark included.
const Row kExpected[] = {
    {0xE000, "Uninstall All Tavox Lumerands"},
    {0xE105,
     "Are you sure you want to uninstall all of the Tavox Lumerands previously installed on this "
     "machine?  (note: if you answer yes, you will be prompted to reconfirm by Uninstallshield)"},
    {0xE15A, "TAVOX_INFO"},
    {0xE15B, "TavoxDirectory"},
    {0xE15C, "C:\\TAVOX"},
    {0xE15D, "tavox.ini"},
    {0xE15E, "SOFTWARE\\TAVOX"},
    {0xE15F, "UninstallString"},
};

TEST(StringTable, HoldsExactlyTheProgramsRows) {
  ASSERT_EQ(tvx::res::StringRowCount(), std::size(kExpected));
  for (size_t i = 0; i < std::size(kExpected); ++i) {
    EXPECT_EQ(tvx::res::StringRows()[i].id, kExpected[i].id);
    EXPECT_STREQ(tvx::res::StringRows()[i].text, kExpected[i].text);
  }
}

TEST(StringTable, TheIdentifiersAreTheResourceHeaders) {
  EXPECT_EQ(IDS_APP_TITLE, 0xE000);
  EXPECT_EQ(IDS_CONFIRM_PROMPT, 0xE105);
  EXPECT_EQ(IDS_SECTION, 0xE15A);
  EXPECT_EQ(IDS_DIRECTORY_KEY, 0xE15B);
  EXPECT_EQ(IDS_DEFAULT_DIRECTORY, 0xE15C);
  EXPECT_EQ(IDS_PROFILE_FILE, 0xE15D);
  EXPECT_EQ(IDS_REGISTRY_KEY, 0xE15E);
  EXPECT_EQ(IDS_COMMAND_KEY, 0xE15F);
}

TEST(StringTable, IsTheModulesTableFromTheStart) {
  // Registered while statics were initialised: the rows load with nothing else done.
  for (const Row& row : kExpected) {
    CString text;
    EXPECT_TRUE(text.LoadString(row.id)) << std::hex << row.id;
    EXPECT_EQ(std::string(text), row.text);
  }
  CString prompt;
  (void)prompt.LoadString(IDS_CONFIRM_PROMPT);
  EXPECT_NE(std::string(prompt).find("machine?  (note"), std::string::npos);
}

TEST(StringTable, CanBeRegisteredAgainAfterATestReplacedIt) {
  const tvx::StringResource other[] = {{IDS_APP_TITLE, "Other"}};
  tvx::RegisterStringTable(other, std::size(other));
  CString text;
  EXPECT_FALSE(text.LoadString(IDS_SECTION));
  tvx::res::RegisterStrings();
  EXPECT_TRUE(text.LoadString(IDS_SECTION));
  EXPECT_EQ(std::string(text), "TAVOX_INFO");
}

}  // namespace
