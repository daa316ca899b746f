#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/winapp.h"
#include "tests/framework/app_fixture.h"

namespace {

using tvx::testing::AppTest;
using tvx::testing::ScopedStringTable;
using tvx::testing::TestApp;

class MessageBoxTest : public AppTest {
 protected:
  // Message boxes follow the framework's start-up, which sets the title.
  void SetUp() override { (void)RunApp(); }

  TestApp app;
};

TEST_F(MessageBoxTest, AQuestionGetsTheExclamationIconAndTheTitleAsCaption) {
  machine.answers = {IDYES};
  EXPECT_EQ(AfxMessageBox(0xE105, MB_YESNO), IDYES);
  ASSERT_EQ(machine.questions.size(), 1u);
  EXPECT_EQ(machine.questions[0].type, 0x34u);
  EXPECT_EQ(machine.questions[0].caption, "Test Title");
  EXPECT_EQ(machine.questions[0].text, "Sure?");
}

TEST_F(MessageBoxTest, GivesTheButtonChosenOrZeroWhenNoBoxAppears) {
  machine.answers = {IDNO};
  EXPECT_EQ(AfxMessageBox(0xE105, MB_YESNO), IDNO);
  EXPECT_EQ(AfxMessageBox(0xE105, MB_YESNO), 0);
}

TEST_F(MessageBoxTest, AnIconTheCallerNamesIsKept) {
  machine.answers = {IDOK, IDOK};
  (void)AfxMessageBox("text", MB_OK | MB_ICONQUESTION);
  (void)AfxMessageBox("text");
  ASSERT_EQ(machine.questions.size(), 2u);
  EXPECT_EQ(machine.questions[0].type, static_cast<uint32_t>(MB_OK | MB_ICONQUESTION));
  EXPECT_EQ(machine.questions[1].type, static_cast<uint32_t>(MB_OK | MB_ICONEXCLAMATION));
}

TEST_F(MessageBoxTest, AMissingRowShowsAnEmptyText) {
  machine.answers = {IDOK};
  (void)AfxMessageBox(0x1234, MB_OK);
  ASSERT_EQ(machine.questions.size(), 1u);
  EXPECT_EQ(machine.questions[0].text, "");
}

TEST_F(AppTest, WithoutATitleRowTheCaptionIsTheExecutableName) {
  ScopedStringTable no_title({{0xE105, "Sure?"}});
  TestApp app;
  (void)RunApp();
  machine.answers = {IDNO};
  (void)AfxMessageBox(0xE105, MB_YESNO);
  ASSERT_EQ(machine.questions.size(), 1u);
  EXPECT_EQ(machine.questions[0].caption, "tavox-uninstall");
}

TEST_F(AppTest, ThreeDimensionalControlsNeedNothingOnThisPlatform) {
  TestApp app;
  (void)RunApp();
  machine.calls.clear();
  EXPECT_GE(GetVersion() & 0xFF, 4u);
  EXPECT_TRUE(app.Enable3dControlsStatic());
  EXPECT_TRUE(machine.calls.empty());
}

}  // namespace
