// The drives of a prefix and the Windows form of host paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/temp_prefix.h"

namespace tvx {
namespace {

using testing::TempPrefix;

TEST(HostDrives, DriveCOfTheDefaultPrefixExistsAndNoOther) {
  TempPrefix prefix;
  auto machine = prefix.MakeMachine();
  EXPECT_TRUE(machine->HasDrive('C'));
  EXPECT_FALSE(machine->HasDrive('D'));
}

}  // namespace
}  // namespace tvx
