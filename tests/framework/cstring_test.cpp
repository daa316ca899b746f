#include "framework/cstring.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/framework/scoped_string_table.h"
#include "tests/support/fake_machine.h"

namespace {

using tvx::testing::FakeMachine;
using tvx::testing::ScopedStringTable;

std::string Text(const CString& s) {
  return std::string(s, static_cast<size_t>(s.GetLength()));
}

struct PartCase {
  int count;
  const char* left;
  const char* right;
};

class CStringParts : public ::testing::TestWithParam<PartCase> {};

TEST_P(CStringParts, LeftAndRightTakeTheCountClampedToTheText) {
  const CString text("ABCDE");
  EXPECT_EQ(Text(text.Left(GetParam().count)), GetParam().left);
  EXPECT_EQ(Text(text.Right(GetParam().count)), GetParam().right);
}

INSTANTIATE_TEST_SUITE_P(Counts, CStringParts,
                         ::testing::Values(PartCase{INT_MIN, "", ""}, PartCase{-1, "", ""},
                                           PartCase{0, "", ""}, PartCase{1, "A", "E"},
                                           PartCase{4, "ABCD", "BCDE"},
                                           PartCase{5, "ABCDE", "ABCDE"},
                                           PartCase{6, "ABCDE", "ABCDE"},
                                           PartCase{INT_MAX, "ABCDE", "ABCDE"}));

TEST(CString, PartsOfTheEmptyTextAreEmpty) {
  const CString empty;
  EXPECT_TRUE(empty.Left(3).IsEmpty());
  EXPECT_TRUE(empty.Right(-1).IsEmpty());
  EXPECT_TRUE(empty.Mid(2).IsEmpty());
  EXPECT_STREQ(empty, "");
}

TEST(CString, MidClampsItsStartAndCount) {
  const CString text("ABCDE");
  EXPECT_EQ(Text(text.Mid(1, 3)), "BCD");
  EXPECT_EQ(Text(text.Mid(3, 10)), "DE");
  EXPECT_EQ(Text(text.Mid(-2, 2)), "AB");
  EXPECT_EQ(Text(text.Mid(7, 1)), "");
  EXPECT_EQ(Text(text.Mid(2, -1)), "");
  EXPECT_EQ(Text(text.Mid(2)), "CDE");
}

TEST(CString, CountsBytesNotCharacters) {
  // Two bytes of a double-byte character count as two, as every single byte does.
  const CString text("\x82\xA0\xE9t\xE9");
  EXPECT_EQ(text.GetLength(), 5);
  EXPECT_EQ(Text(text.Right(3)), "\xE9t\xE9");
  EXPECT_EQ(CString("ABC", 2).GetLength(), 2);
}

TEST(CString, ConcatenatesEveryKindOfOperand) {
  const CString a("C:\\TAVOX");
  EXPECT_EQ(Text(a + CString("\\SUB")), "C:\\TAVOX\\SUB");
  EXPECT_EQ(Text(a + "\\*.*"), "C:\\TAVOX\\*.*");
  EXPECT_EQ(Text("X" + a), "XC:\\TAVOX");
  EXPECT_EQ(Text(a + '\\'), "C:\\TAVOX\\");
  CString b;
  b += "one";
  b += ' ';
  b += CString("two");
  EXPECT_EQ(Text(b), "one two");
}

TEST(CString, CopiesAndAssignmentsAreIndependent) {
  CString a("first");
  CString b(a);
  b += "!";
  a = "second";
  EXPECT_EQ(Text(a), "second");
  EXPECT_EQ(Text(b), "first!");
  a = b;
  EXPECT_EQ(Text(a), "first!");
  a = static_cast<LPCTSTR>(nullptr);
  EXPECT_TRUE(a.IsEmpty());
}

TEST(CString, TakesPartsOfItselfSafely) {
  CString text("ABCDEF");
  text += text;
  EXPECT_EQ(Text(text), "ABCDEFABCDEF");
  text = text.Mid(3);
  EXPECT_EQ(Text(text), "DEFABCDEF");
  text = static_cast<LPCTSTR>(text) + 2;
  EXPECT_EQ(Text(text), "FABCDEF");
  text += static_cast<LPCTSTR>(text) + 4;
  EXPECT_EQ(Text(text), "FABCDEFDEF");
  const CString& same = text;
  text = same;
  EXPECT_EQ(Text(text), "FABCDEFDEF");
}

TEST(CString, ComparesBytesExactly) {
  EXPECT_EQ(CString("TAVOX").Compare("TAVOX"), 0);
  EXPECT_NE(CString("TAVOX").Compare("tavox"), 0);
  EXPECT_LT(CString("A").Compare("B"), 0);
  // Bytes above 7F order after every ASCII byte.
  EXPECT_GT(CString("\xE9").Compare("z"), 0);
  EXPECT_EQ(CString().Compare(""), 0);
  EXPECT_TRUE(CString("x") == "x");
  EXPECT_TRUE(CString("x") != CString("x "));
  EXPECT_TRUE(CString() == CString(""));
}

TEST(CString, ReleaseBufferTakesWhatWasWritten) {
  CString text("AB");
  char* buffer = text.GetBuffer(10);
  EXPECT_STREQ(buffer, "AB");
  std::strcpy(buffer, "0123456789");
  text.ReleaseBuffer();
  EXPECT_EQ(Text(text), "0123456789");
  text.GetBuffer(0)[4] = '\0';
  text.ReleaseBuffer();
  EXPECT_EQ(Text(text), "0123");
  text.GetBuffer(8);
  text.ReleaseBuffer(2);
  EXPECT_EQ(Text(text), "01");
}

TEST(CString, UpperCasesWithTheSystemMapping) {
  FakeMachine machine;
  tvx::ScopedMachine scope(machine);
  CString text("c:\\tavox\\\xE9t\xE9 \xFF\xDF\xB5\x9A.exe");
  text.MakeUpper();
  EXPECT_EQ(Text(text), "C:\\TAVOX\\\xC9T\xC9 \x9F\xDF\xB5\x8A.EXE");
  CString empty;
  empty.MakeUpper();
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(CString, LoadsRowsOfAnyLength) {
  FakeMachine machine;
  tvx::ScopedMachine scope(machine);
  // Rows at and around the sizes where the buffer grows.
  const std::string rows[] = {std::string(255, 'a'), std::string(256, 'b'), std::string(511, 'c'),
                              std::string(5000, 'd')};
  ScopedStringTable table({{1, rows[0].c_str()},
                           {2, rows[1].c_str()},
                           {3, rows[2].c_str()},
                           {4, rows[3].c_str()},
                           {5, "short"}});
  for (UINT id = 1; id <= 4; ++id) {
    CString text("old");
    EXPECT_TRUE(text.LoadString(id));
    EXPECT_EQ(Text(text), rows[id - 1]) << "row " << id;
  }
  CString text;
  EXPECT_TRUE(text.LoadString(5));
  EXPECT_EQ(Text(text), "short");
}

TEST(CString, AMissingOrEmptyRowGivesTheEmptyText) {
  FakeMachine machine;
  tvx::ScopedMachine scope(machine);
  ScopedStringTable table({{7, ""}});
  CString text("old");
  EXPECT_FALSE(text.LoadString(6));
  EXPECT_TRUE(text.IsEmpty());
  text = "old";
  EXPECT_FALSE(text.LoadString(7));
  EXPECT_TRUE(text.IsEmpty());
}

TEST(CStringDeathTest, ABufferTooLargeToCountEndsTheProcessWithOneLine) {
  EXPECT_EXIT(
      {
        CString text("partly built");
        (void)text.GetBuffer(INT_MAX);
        // Not reached: a partly built value must never be used.
        std::fputs("went on\n", stderr);
      },
      ::testing::ExitedWithCode(3), "^tavox-uninstall: out of memory\n$");
}

}  // namespace
