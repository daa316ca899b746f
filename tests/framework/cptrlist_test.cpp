#include "framework/cptrlist.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/framework/address_sanitizer.h"

namespace {

using ::testing::ElementsAre;

// Elements are small numbers posing as pointers; the list never looks at what they point to.
void* Item(intptr_t n) {
  return reinterpret_cast<void*>(n);
}

std::vector<intptr_t> Walk(CPtrList& list) {
  std::vector<intptr_t> items;
  for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
    items.push_back(reinterpret_cast<intptr_t>(list.GetNext(pos)));
  }
  return items;
}

TEST(CPtrList, KeepsTheOrderOfAdditionsAtBothEnds) {
  CPtrList list;
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.GetHeadPosition(), nullptr);
  list.AddTail(Item(2));
  list.AddTail(Item(3));
  list.AddHead(Item(1));
  EXPECT_THAT(Walk(list), ElementsAre(1, 2, 3));
  EXPECT_EQ(list.GetCount(), 3);
  EXPECT_EQ(list.GetHead(), Item(1));
  EXPECT_EQ(list.GetAt(list.GetTailPosition()), Item(3));
}

TEST(CPtrList, GetNextGivesAWritableElement) {
  CPtrList list;
  POSITION first = list.AddTail(Item(1));
  POSITION pos = first;
  list.GetNext(pos) = Item(9);
  EXPECT_EQ(pos, nullptr);
  EXPECT_EQ(list.GetAt(first), Item(9));
}

TEST(CPtrList, RemoveHeadGivesTheElementsInOrder) {
  CPtrList list;
  for (intptr_t n = 1; n <= 3; ++n) list.AddTail(Item(n));
  EXPECT_EQ(list.RemoveHead(), Item(1));
  EXPECT_EQ(list.RemoveHead(), Item(2));
  EXPECT_EQ(list.RemoveHead(), Item(3));
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.GetTailPosition(), nullptr);
}

TEST(CPtrList, RemoveAtWhileWalkingLeavesTheRestInOrder) {
  CPtrList list(/*block_size=*/3);
  for (intptr_t n = 1; n <= 8; ++n) list.AddTail(Item(n));
  for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
    POSITION here = pos;
    intptr_t n = reinterpret_cast<intptr_t>(list.GetNext(pos));
    if (n % 2 == 1 || n == 8) list.RemoveAt(here);
  }
  EXPECT_THAT(Walk(list), ElementsAre(2, 4, 6));
  list.AddTail(Item(7));
  list.AddHead(Item(0));
  EXPECT_THAT(Walk(list), ElementsAre(0, 2, 4, 6, 7));
}

TEST(CPtrList, AllocatesNodesOneBlockAtATime) {
  CPtrList list(/*block_size=*/3);
  EXPECT_EQ(list.GetBlockCount(), 0);
  for (intptr_t n = 1; n <= 3; ++n) list.AddTail(Item(n));
  EXPECT_EQ(list.GetBlockCount(), 1);
  list.AddTail(Item(4));
  EXPECT_EQ(list.GetBlockCount(), 2);
  // A freed node is used again before any new block.
  list.RemoveAt(list.GetHeadPosition());
  list.AddTail(Item(5));
  list.AddTail(Item(6));
  list.AddTail(Item(7));
  EXPECT_EQ(list.GetBlockCount(), 2);
  EXPECT_THAT(Walk(list), ElementsAre(2, 3, 4, 5, 6, 7));
}

TEST(CPtrList, ReleasesItsBlocksWhenItBecomesEmpty) {
  CPtrList list(/*block_size=*/2);
  for (intptr_t n = 1; n <= 5; ++n) list.AddTail(Item(n));
  EXPECT_EQ(list.GetBlockCount(), 3);
  while (!list.IsEmpty()) (void)list.RemoveHead();
  EXPECT_EQ(list.GetBlockCount(), 0);
  list.AddTail(Item(1));
  EXPECT_EQ(list.GetBlockCount(), 1);
  list.RemoveAll();
  EXPECT_EQ(list.GetBlockCount(), 0);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetHeadPosition(), nullptr);
}

TEST(CPtrList, ABlockSizeBelowOneHoldsOneNodePerBlock) {
  CPtrList list(/*block_size=*/0);
  list.AddTail(Item(1));
  list.AddTail(Item(2));
  EXPECT_EQ(list.GetBlockCount(), 2);
  EXPECT_THAT(Walk(list), ElementsAre(1, 2));
}

TEST(CPtrListDeathTest, ABlockTooLargeToCountEndsTheProcessWithOneLine) {
  EXPECT_EXIT(
      {
        CPtrList list(/*block_size=*/INTPTR_MAX);
        list.AddTail(Item(1));
        std::fputs("went on\n", stderr);
      },
      ::testing::ExitedWithCode(3), "^tavox-uninstall: out of memory\n$");
}

TEST(CPtrListDeathTest, ABlockTheMachineCannotHoldEndsTheProcessWithOneLine) {
#ifdef TVX_ADDRESS_SANITIZER
  GTEST_SKIP() << "the address sanitizer ends the process itself on a failed allocation";
#endif
  // About 2^62 bytes: countable, but more than any address space holds.
  EXPECT_EXIT(
      {
        CPtrList list(/*block_size=*/static_cast<INT_PTR>(1) << 57);
        list.AddTail(Item(1));
        std::fputs("went on\n", stderr);
      },
      ::testing::ExitedWithCode(3), "^tavox-uninstall: out of memory\n$");
}

}  // namespace
