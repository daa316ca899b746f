#include <gtest/gtest.h>

#include <optional>

#include "platform/machine.h"
#include "platform/windows.h"
#include "tests/support/fake_machine.h"

namespace {

using tvx::ScopedMachine;
using tvx::testing::FakeMachine;

class UiTest : public ::testing::Test {
 protected:
  FakeMachine machine_;
  ScopedMachine scoped_{machine_};
};

TEST_F(UiTest, MessageBoxShowsCaptionTextAndTypeAndReturnsTheAnswer) {
  machine_.answers = {IDYES, IDNO};
  EXPECT_EQ(MessageBoxA(nullptr, "Remove all?", "Uninstall", MB_YESNO | MB_ICONEXCLAMATION), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Uninstall", MB_YESNO), IDNO);
  ASSERT_EQ(machine_.questions.size(), 2u);
  EXPECT_EQ(machine_.questions[0].caption, "Uninstall");
  EXPECT_EQ(machine_.questions[0].text, "Remove all?");
  EXPECT_EQ(machine_.questions[0].type, static_cast<uint32_t>(MB_YESNO | MB_ICONEXCLAMATION));
}

TEST_F(UiTest, MessageBoxWithoutCaptionIsCaptionedError) {
  machine_.answers = {IDOK};
  EXPECT_EQ(MessageBoxA(nullptr, "text", nullptr, MB_OK), IDOK);
  ASSERT_EQ(machine_.questions.size(), 1u);
  EXPECT_EQ(machine_.questions[0].caption, "Error");
}

TEST_F(UiTest, MessageBoxWithoutTextShowsAnEmptyOne) {
  machine_.answers = {IDOK};
  EXPECT_EQ(MessageBoxA(nullptr, nullptr, "Caption", MB_OK), IDOK);
  ASSERT_EQ(machine_.questions.size(), 1u);
  EXPECT_EQ(machine_.questions[0].text, "");
}

TEST_F(UiTest, MessageBoxThatCannotBeShownReturnsZero) {
  EXPECT_EQ(MessageBoxA(nullptr, "Remove all?", "Uninstall", MB_YESNO), 0);
  EXPECT_EQ(machine_.questions.size(), 1u);
}

TEST_F(UiTest, MessageBeepPlaysTheGivenBeepAndSucceeds) {
  EXPECT_TRUE(MessageBeep(MB_OK));
  EXPECT_TRUE(MessageBeep(0xFFFFFFFF));
  EXPECT_EQ(machine_.beeps, (std::vector<uint32_t>{0, 0xFFFFFFFF}));
  EXPECT_TRUE(machine_.questions.empty());
}

TEST_F(UiTest, ErrorModeReturnsThePreviousModeStartingAtZero) {
  EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), 0u);
  EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX), 0x8001u);
  EXPECT_EQ(SetErrorMode(0), 0x8001u);
  EXPECT_EQ(SetErrorMode(0), 0u);
}

TEST_F(UiTest, ErrorModeCannotLoseTheAlignmentFaultFlag) {
  EXPECT_EQ(SetErrorMode(SEM_NOALIGNMENTFAULTEXCEPT), 0u);
  EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS), static_cast<UINT>(SEM_NOALIGNMENTFAULTEXCEPT));
  EXPECT_EQ(SetErrorMode(0),
            static_cast<UINT>(SEM_NOALIGNMENTFAULTEXCEPT | SEM_FAILCRITICALERRORS));
}

TEST_F(UiTest, ErrorModeStartsAfreshOnAnotherMachine) {
  (void)SetErrorMode(0x8001);
  {
    FakeMachine other;
    ScopedMachine scoped(other);
    EXPECT_EQ(SetErrorMode(0x8001), 0u);
  }
  EXPECT_EQ(SetErrorMode(0), 0u);
}

}  // namespace
