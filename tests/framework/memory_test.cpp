#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <vector>

#include "framework/winapp.h"
#include "tests/framework/address_sanitizer.h"

namespace {

TEST(OutOfMemoryDeathTest, EndsTheProcessWithOneLineAndCodeThree) {
  EXPECT_EXIT(AfxThrowMemoryException(), ::testing::ExitedWithCode(3),
              "^tavox-uninstall: out of memory\n$");
}

TEST(OutOfMemoryDeathTest, AsTheNewHandlerItEndsAnyFailedAllocation) {
#ifdef TVX_ADDRESS_SANITIZER
  GTEST_SKIP() << "the address sanitizer ends the process itself on a failed allocation";
#endif
  // The program's main installs it so; a container deep in the platform then ends the same way.
  EXPECT_EXIT(
      {
        (void)std::set_new_handler(&AfxThrowMemoryException);
        std::vector<char> huge(size_t{1} << 62);
        std::fputs("went on\n", stderr);
      },
      ::testing::ExitedWithCode(3), "^tavox-uninstall: out of memory\n$");
}

}  // namespace
