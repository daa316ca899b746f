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

// The room inside the object; texts around it change between inline and heap storage.
constexpr int kInlineRoom = 15;

// `length` distinct-looking characters, so that a wrong offset shows.
std::string Pattern(int length, char first = 'a') {
  std::string text;
  for (int i = 0; i < length; ++i) text += static_cast<char>(first + i % 26);
  return text;
}

TEST(CString, StaysSmallEnoughForOneHeapBlock) {
  EXPECT_LE(sizeof(CString), 24u);
}

class CStringAtTheInlineLimit : public ::testing::TestWithParam<int> {
 protected:
  const int length_ = GetParam();
  const std::string text_ = Pattern(length_);
};

TEST_P(CStringAtTheInlineLimit, BuildsTheTextEveryWay) {
  EXPECT_EQ(Text(CString(text_.c_str())), text_);
  EXPECT_EQ(std::strlen(CString(text_.c_str())), text_.size());
  CString assigned("x");
  assigned = text_.c_str();
  EXPECT_EQ(Text(assigned), text_);
  CString shrunk(Pattern(40).c_str());
  shrunk = text_.c_str();
  EXPECT_EQ(Text(shrunk), text_);
  const std::string head = text_.substr(0, text_.size() / 2);
  const std::string tail = text_.substr(text_.size() / 2);
  CString appended(head.c_str());
  appended += tail.c_str();
  EXPECT_EQ(Text(appended), text_);
  CString by_char(text_.substr(0, text_.size() - 1).c_str());
  by_char += text_.back();
  EXPECT_EQ(Text(by_char), text_);
  EXPECT_EQ(Text(CString(head.c_str()) + tail.c_str()), text_);
  EXPECT_EQ(Text(head.c_str() + CString(tail.c_str())), text_);
}

TEST_P(CStringAtTheInlineLimit, TakesPartsOfThatLength) {
  const std::string source = Pattern(40);
  const CString text(source.c_str());
  EXPECT_EQ(Text(text.Left(length_)), source.substr(0, text_.size()));
  EXPECT_EQ(Text(text.Right(length_)), source.substr(source.size() - text_.size()));
  EXPECT_EQ(Text(text.Mid(3, length_)), source.substr(3, text_.size()));
  const CString own(text_.c_str());
  EXPECT_EQ(Text(own.Left(length_ - 1)), text_.substr(0, text_.size() - 1));
  EXPECT_EQ(Text(own.Mid(1)), text_.substr(1));
}

TEST_P(CStringAtTheInlineLimit, CopiesOutliveTheirSource) {
  const std::string long_text = Pattern(40, 'A');
  CString copy;
  CString assigned(long_text.c_str());
  {
    const CString source(text_.c_str());
    CString constructed(source);
    copy = source;
    assigned = source;
    EXPECT_NE(static_cast<LPCTSTR>(constructed), static_cast<LPCTSTR>(source));
    EXPECT_NE(static_cast<LPCTSTR>(copy), static_cast<LPCTSTR>(source));
  }
  EXPECT_EQ(Text(copy), text_);
  EXPECT_EQ(Text(assigned), text_);
  // A heap text assigned over a short one, and a short one copied from the heap text's part.
  copy = long_text.c_str();
  CString part(copy.Left(length_));
  copy += "!";
  EXPECT_EQ(Text(copy), long_text + "!");
  EXPECT_EQ(Text(part), long_text.substr(0, text_.size()));
}

TEST_P(CStringAtTheInlineLimit, TakesPartsOfItselfSafely) {
  CString doubled(text_.c_str());
  doubled += doubled;
  EXPECT_EQ(Text(doubled), text_ + text_);
  CString mid(text_.c_str());
  mid = mid.Mid(1);
  EXPECT_EQ(Text(mid), text_.substr(1));
  CString tail(text_.c_str());
  tail = static_cast<LPCTSTR>(tail) + 1;
  EXPECT_EQ(Text(tail), text_.substr(1));
  CString grown(text_.c_str());
  grown += static_cast<LPCTSTR>(grown) + 2;
  EXPECT_EQ(Text(grown), text_ + text_.substr(2));
  const CString& same = grown;
  grown = same;
  EXPECT_EQ(Text(grown), text_ + text_.substr(2));
}

TEST_P(CStringAtTheInlineLimit, GetBufferGivesRoomForThatLength) {
  CString text("AB");
  char* buffer = text.GetBuffer(length_);
  EXPECT_STREQ(buffer, "AB");
  // Every character written and no zero among them: the whole buffer is the text.
  std::memcpy(buffer, text_.data(), text_.size());
  text.ReleaseBuffer();
  EXPECT_EQ(Text(text), text_);
  text.GetBuffer(length_)[2] = '\0';
  text.ReleaseBuffer();
  EXPECT_EQ(Text(text), text_.substr(0, 2));
  CString empty;
  std::memcpy(empty.GetBuffer(length_), text_.c_str(), text_.size() + 1);
  empty.ReleaseBuffer(length_);
  EXPECT_EQ(Text(empty), text_);
}

TEST_P(CStringAtTheInlineLimit, UpperCasesTheWholeText) {
  FakeMachine machine;
  tvx::ScopedMachine scope(machine);
  CString text(text_.c_str());
  text.MakeUpper();
  EXPECT_EQ(Text(text), Pattern(length_, 'A'));
}

INSTANTIATE_TEST_SUITE_P(Lengths, CStringAtTheInlineLimit,
                         ::testing::Values(kInlineRoom - 1, kInlineRoom, kInlineRoom + 1));

TEST(CString, GetBufferMovesAcrossTheInlineLimitBothWays) {
  const std::string long_text = Pattern(kInlineRoom + 10);
  CString text("short");
  char* buffer = text.GetBuffer(kInlineRoom + 10);
  EXPECT_STREQ(buffer, "short");
  std::strcpy(buffer, long_text.c_str());
  text.ReleaseBuffer();
  EXPECT_EQ(Text(text), long_text);
  // A smaller request keeps the room there is; the text written into it is what counts.
  std::strcpy(text.GetBuffer(3), "abc");
  text.ReleaseBuffer();
  EXPECT_EQ(Text(text), "abc");
  text += long_text.c_str();
  EXPECT_EQ(Text(text), "abc" + long_text);
  text.Empty();
  EXPECT_STREQ(text, "");
  std::strcpy(text.GetBuffer(kInlineRoom), "again");
  text.ReleaseBuffer();
  EXPECT_EQ(Text(text), "again");
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
