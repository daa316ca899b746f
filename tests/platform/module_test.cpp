#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/machine.h"
#include "platform/resources.h"
#include "platform/windows.h"
#include "tests/support/fake_machine.h"

namespace {

using tvx::ScopedMachine;
using tvx::StringResource;
using tvx::testing::FakeMachine;

constexpr StringResource kRows[] = {
    {0xE000, "Uninstall All Tavox Lumerands"},
    {0xE105, "Caf\xE9"},
    {7, "x"},
};

class ModuleTest : public ::testing::Test {
 protected:
  ModuleTest() { tvx::RegisterStringTable(kRows, std::size(kRows)); }
  ~ModuleTest() override { tvx::RegisterStringTable(nullptr, 0); }

  FakeMachine machine_;
  ScopedMachine scoped_{machine_};
};

struct LoadCase {
  unsigned int id;
  int max;
  int result;
  const char* buffer;  // what the buffer holds afterwards
};

class ModuleLoadString : public ModuleTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(ModuleLoadString, CopiesTheRowCutToTheBuffer) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  const LoadCase& c = GetParam();
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), c.id, buffer, c.max), c.result);
  EXPECT_STREQ(buffer, c.buffer);
}

const std::string kUntouched(63, '#');

INSTANTIATE_TEST_SUITE_P(
    Table, ModuleLoadString,
    ::testing::Values(LoadCase{0xE000, 64, 29, "Uninstall All Tavox Lumerands"},
                      LoadCase{0xE000, 30, 29, "Uninstall All Tavox Lumerands"},
                      LoadCase{0xE000, 29, 28, "Uninstall All Tavox Lumerand"},
                      LoadCase{0xE000, 10, 9, "Uninstall"}, LoadCase{0xE000, 1, 0, ""},
                      LoadCase{0xE000, 0, 0, kUntouched.c_str()},
                      LoadCase{0xE000, -5, 0, kUntouched.c_str()},
                      LoadCase{0xE105, 64, 4, "Caf\xE9"},
                      LoadCase{0x1E105, 64, 4, "Caf\xE9"},  // identifiers are 16 bits
                      LoadCase{0xE001, 64, 0, ""}, LoadCase{8, 64, 0, ""}));

TEST_F(ModuleTest, LoadStringAcceptsANullModule) {
  char buffer[8];
  EXPECT_EQ(LoadStringA(nullptr, 7, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "x");
}

TEST_F(ModuleTest, LoadStringRefusesAnotherModuleAndANullBuffer) {
  char buffer[8] = "keep";
  EXPECT_EQ(LoadStringA(reinterpret_cast<HINSTANCE>(0x1234), 7, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(LoadStringA(nullptr, 7, nullptr, 8), 0);
}

TEST_F(ModuleTest, LaterTableReplacesTheEarlierOne) {
  static constexpr StringResource kOther[] = {{7, "other"}};
  tvx::RegisterStringTable(kOther, std::size(kOther));
  char buffer[16];
  EXPECT_EQ(LoadStringA(nullptr, 7, buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "other");
  EXPECT_EQ(LoadStringA(nullptr, 0xE000, buffer, sizeof buffer), 0);
}

TEST_F(ModuleTest, ModuleHandleStandsForTheRunningProgram) {
  machine_.SetModuleFileName("C:\\APP\\tavox-uninstall.exe");
  const HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_NE(self, nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), self);
  EXPECT_EQ(GetModuleHandleA("TAVOX-UNINSTALL.EXE"), self);
  EXPECT_EQ(GetModuleHandleA("c:\\app\\tavox-uninstall.exe"), self);
  EXPECT_EQ(GetModuleHandleA("tavox-uninstall"), nullptr);  // ".dll" is the default extension
  EXPECT_EQ(GetModuleHandleA("kernel32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), 126u);
}

TEST(ModuleVersion, ReportsAnNtSystemOfVersionFourOrLater) {
  const DWORD version = GetVersion();
  EXPECT_GE(version & 0xFF, 4u);
  EXPECT_EQ(version & 0x80000000u, 0u);
  EXPECT_EQ(version & 0xFFFF, 0x0106u);  // 6.1
}

}  // namespace
