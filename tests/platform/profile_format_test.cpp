#include "platform/profile_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tvx::profile {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kMissing = "<missing>";

std::string Lookup(std::string_view text, std::string_view section, std::string_view key) {
  const Document<char> doc(text);
  const auto value = doc.Find(section, key);
  return value ? std::string(*value) : kMissing;
}

std::vector<std::string> Strings(const std::vector<std::string_view>& views) {
  return std::vector<std::string>(views.begin(), views.end());
}

struct LookupCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  std::string expected;
};

class ProfileFormatLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ProfileFormatLookup, FindsWhatTheRealReaderFinds) {
  const LookupCase& c = GetParam();
  EXPECT_EQ(Lookup(c.text, c.section, c.key), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileFormatLookup,
    ::testing::Values(
        LookupCase{"plain", "[s]\r\nk=v\r\n", "s", "k", "v"},
        LookupCase{"names ignore case, value keeps it", "[SeC]\r\nNaMe1=VaL\r\n", "sec", "name1",
                   "VaL"},
        LookupCase{"case of code page 1252 letters", "[CAF\xC9]\r\n\xE9t\xE9=1\r\n", "caf\xE9",
                   "\xC9T\xC9", "1"},
        LookupCase{"arguments lose spaces", "[s]\r\nk=v\r\n", "  s  ", " k ", "v"},
        LookupCase{"a tab in the key argument stays", "[s]\r\nk=v\r\n", "s", "k\t", kMissing},
        LookupCase{"a tab in the section argument stays", "[s]\r\nk=v\r\n", "\ts", "k", kMissing},
        LookupCase{"quotes in arguments are part of the name", "[s]\r\nk=v\r\n", "s", "\"k\"",
                   kMissing},
        LookupCase{"blanks around key and value go", "[s]\r\n   key \t=\t  value \v\r\n", "s",
                   "key", "value"},
        LookupCase{"double quotes keep the inside", "[s]\r\nk=  \"   v   \"  \r\n", "s", "k",
                   "   v   "},
        LookupCase{"single quotes around double ones", "[s]\r\nk='\"v\"'\r\n", "s", "k", "\"v\""},
        LookupCase{"mismatched quotes stay", "[s]\r\nk=\"v'\r\n", "s", "k", "\"v'"},
        LookupCase{"crossed quotes stay", "[s]\r\nk='\"v'\"\r\n", "s", "k", "'\"v'\""},
        LookupCase{"a lone quote stays", "[s]\r\nk=\"\r\n", "s", "k", "\""},
        LookupCase{"a comment is no key", "[s]\r\n;k=v\r\n", "s", "k", kMissing},
        LookupCase{"a comment is not found by its text", "[s]\r\n;k=v\r\n", "s", ";k", kMissing},
        LookupCase{"an indented comment", "[s]\r\n  ;k=v\r\n", "s", "k", kMissing},
        LookupCase{"a semicolon later belongs to the value", "[s]\r\nk=v ;c\r\n", "s", "k", "v ;c"},
        LookupCase{"a hash starts an ordinary key", "[s]\r\n#k=v\r\n", "s", "#k", "v"},
        LookupCase{"blanks inside brackets", "[ x ]\r\nk=v\r\n", "x", "k", "v"},
        LookupCase{"a missing close bracket", "[sec\r\nk=v\r\n", "sec", "k", "v"},
        LookupCase{"a missing open bracket", "[a]\r\nsec]\r\nk=v\r\n", "sec", "k", kMissing},
        LookupCase{"text after the bracket is ignored", "[sec]key=v\r\n", "sec", "key", kMissing},
        LookupCase{"a bracket ends the name", "[a]b]\r\nk=v\r\n", "a", "k", "v"},
        LookupCase{"an empty section name", "[]\r\nk=v\r\n", "", "k", "v"},
        LookupCase{"lines before any section", "k=v\r\n[s]\r\n", "", "k", kMissing},
        LookupCase{"a line without equals is no key", "[s]\r\nname3\r\n", "s", "name3", kMissing},
        LookupCase{"the first duplicate key wins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        LookupCase{"only the first duplicate section counts", "[s]\r\na=1\r\n[S]\r\nb=2\r\n", "s",
                   "b", kMissing},
        LookupCase{"bare CR endings", "[s]\rk=v\rj=w", "s", "j", "w"},
        LookupCase{"bare LF endings", "[s]\nk=v\nj=w\n", "s", "j", "w"},
        LookupCase{"a last line without a break", "[s]\r\nk=v", "s", "k", "v"},
        LookupCase{"an empty key argument", "[s]\r\n=v\r\n", "s", "", kMissing},
        LookupCase{"an empty value", "[s]\r\nk=\r\n", "s", "k", ""},
        LookupCase{"equals in the value", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
        LookupCase{"a UTF-8 byte order mark spoils the first line", "\xEF\xBB\xBF[s]\r\nk=v\r\n",
                   "s", "k", kMissing},
        LookupCase{"a zero byte is just a unit", std::string("[s]\r\nk=a\0b\r\n", 12), "s", "k",
                   std::string("a\0b", 3)},
        LookupCase{"a missing section", "[s]\r\nk=v\r\n", "t", "k", kMissing}));

TEST(ProfileFormat, ListsSectionsWithCopiesAndWithoutEmptyNames) {
  const Document<char> doc("x=1\r\n[a]\r\n[B]\r\n[]\r\n[a]\r\n");
  EXPECT_THAT(Strings(doc.SectionNames()), ElementsAre("a", "B", "a"));
}

TEST(ProfileFormat, ListsKeysOfTheFirstSectionOnly) {
  const Document<char> doc("[s]\r\nk=1\r\n;c=2\r\nname3\r\nk=3\r\nJ=4\r\n[s]\r\nlate=5\r\n");
  EXPECT_THAT(Strings(doc.KeyNames(" S ")), ElementsAre("k", "k", "J"));
  EXPECT_THAT(doc.KeyNames("none"), IsEmpty());
}

struct EditCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  const char* value;
  std::string expected;
};

class ProfileFormatWrite : public ::testing::TestWithParam<EditCase> {};

TEST_P(ProfileFormatWrite, SetsTheValueAndKeepsTheRest) {
  const EditCase& c = GetParam();
  EXPECT_EQ(Document<char>(c.text).WithValue(c.section, c.key, c.value), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileFormatWrite,
    ::testing::Values(
        EditCase{"an empty file", "", "App", "key", "string", "[App]\r\nkey=string\r\n"},
        EditCase{"a new section goes last", "[App1]\r\nk=v\r\n[App2]\r\nkey4=string4\r\n", "App3",
                 "key5", "string5",
                 "[App1]\r\nk=v\r\n[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n"},
        EditCase{"a file without a final break", "[A]\r\nk=v", "B", "x", "y",
                 "[A]\r\nk=v\r\n[B]\r\nx=y\r\n"},
        EditCase{"a key keeps its line and case", "[Sec]\r\nKey=old\r\nz=1\r\n", "SEC", "key",
                 "new", "[Sec]\r\nKey=new\r\nz=1\r\n"},
        EditCase{"indentation stays", "[s]\r\n  k = old \r\nz=1\r\n", "s", "k", "new",
                 "[s]\r\n  k=new\r\nz=1\r\n"},
        EditCase{"a replaced last line keeps having no break", "[s]\r\nk=old", "s", "k", "new",
                 "[s]\r\nk=new"},
        EditCase{"a new key follows the last key", "[a]\r\nb=1\r\n\r\n;c\r\n[c]\r\nd=2\r\n", "a",
                 "z", "3", "[a]\r\nb=1\r\nz=3\r\n\r\n;c\r\n[c]\r\nd=2\r\n"},
        EditCase{"a new key in an empty section", "[a]\r\n[b]\r\n", "a", "k", "v",
                 "[a]\r\nk=v\r\n[b]\r\n"},
        EditCase{"a header on the last line", "[a]", "a", "k", "v", "[a]\r\nk=v\r\n"},
        EditCase{"LF endings stay LF", "[a]\nb=1\n", "a", "c", "2", "[a]\nb=1\nc=2\n"},
        EditCase{"CR endings stay CR", "[a]\rb=1\r", "n", "c", "2", "[a]\rb=1\r[n]\rc=2\r"},
        EditCase{"the value is verbatim", "", "s", "key", " v ", "[s]\r\nkey= v \r\n"},
        EditCase{"an empty value", "", "s", "key", "", "[s]\r\nkey=\r\n"},
        EditCase{"arguments lose their spaces", "", "  App  ", " k ", "v", "[App]\r\nk=v\r\n"},
        EditCase{"a tab in an argument stays", "", "\tApp", "k", "v", "[\tApp]\r\nk=v\r\n"},
        EditCase{"only the first copy of a section", "[s]\r\na=1\r\n[s]\r\nb=2\r\n", "s", "b", "3",
                 "[s]\r\na=1\r\nb=3\r\n[s]\r\nb=2\r\n"},
        EditCase{"a comment is not the key", "[s]\r\n;k=1\r\n", "s", "k", "2",
                 "[s]\r\nk=2\r\n;k=1\r\n"}));

TEST(ProfileFormat, NewKeysKeepTheOrderTheyWereWrittenIn) {
  std::string text = "[s]\r\nb=value\r\na=value\r\n";
  for (const char* key : {"z", "b", "y", "a"}) text = Document<char>(text).WithValue("s", key, "");
  EXPECT_EQ(text, "[s]\r\nb=\r\na=\r\nz=\r\ny=\r\n");
}

TEST(ProfileFormat, DeletingAKeyRemovesItsLinesAndKeepsTheHeader) {
  const Document<char> doc("[A]\r\nk=1\r\nj=2\r\nK=3\r\n[B]\r\nk=4\r\n");
  EXPECT_EQ(doc.WithoutKey("a", "k"), "[A]\r\nj=2\r\n[B]\r\nk=4\r\n");
  EXPECT_EQ(Document<char>("[App3]\r\nk=v\r\n").WithoutKey("App3", "k"), "[App3]\r\n");
}

TEST(ProfileFormat, DeletingAMissingKeyChangesNothing) {
  const Document<char> doc("[A]\r\nk=1\r\n;j=2\r\nj\r\n");
  EXPECT_EQ(doc.WithoutKey("A", "j"), std::nullopt);
  EXPECT_EQ(doc.WithoutKey("B", "k"), std::nullopt);
}

TEST(ProfileFormat, DeletingASectionKeepsItsCommentsAndBlankLines) {
  const Document<char> doc("[A]\r\nk=v\r\n;c\r\nname3\r\n\r\n[B]\r\nx=y\r\n[a]\r\nz=1");
  EXPECT_EQ(doc.WithoutSection(" a "), ";c\r\n\r\n[B]\r\nx=y\r\n");
  EXPECT_EQ(doc.WithoutSection("C"), std::nullopt);
}

TEST(ProfileFormat, AUnicodeDocumentFindsAndWritesInUtf16) {
  const std::u16string text = u"[Caf\u00E9]\r\nK\u4E00=\u4E01\r\n";
  const Document<char16_t> doc(text);
  EXPECT_EQ(doc.Find(u"CAF\u00C9", u"k\u4E00"), u"\u4E01");
  EXPECT_EQ(doc.WithValue(u"caf\u00E9", u"n", u"1"), u"[Caf\u00E9]\r\nK\u4E00=\u4E01\r\nn=1\r\n");
}

TEST(ProfileFormat, TrimsDefaultsOfTrailingSpacesOnly) {
  EXPECT_EQ(TrimTrailingSpaces("default  "), "default");
  EXPECT_EQ(TrimTrailingSpaces("   default   "), "   default");
  EXPECT_EQ(TrimTrailingSpaces("\tdefault\t"), "\tdefault\t");
  EXPECT_EQ(TrimSpaces("  a b \t "), "a b \t");
}

TEST(ProfileFormat, ConvertsIntegersAsTheRealCallDoes) {
  const struct {
    const char* text;
    std::optional<uint32_t> expected;
  } cases[] = {
      {"1", 1u},
      {"+1", 1u},
      {"-1", 4294967295u},
      {"42A94967297", 42u},
      {"12abc", 12u},
      {"B4294967297", 0u},
      {"4294967296", 0u},
      {"4294967297", 1u},
      {"-4294967297", 4294967295u},
      {"", std::nullopt},
      {" \t7", 7u},
      {"0x1A", 26u},
      {"0o17", 15u},
      {"0b101", 5u},
      {"0", 0u},
      {"-", 0u},
      {"0x", 0u},
      {"007", 7u},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProfileInt(c.text), c.expected) << c.text;
}

TEST(ProfileFormat, EncodesAndDecodesUtf16Le) {
  EXPECT_EQ(EncodeUtf16Le(u"A\u20AC"), std::string("A\0\xAC\x20", 4));
  EXPECT_EQ(DecodeUtf16Le(std::string("A\0\xAC\x20\x01", 5)), u"A\u20AC");
  EXPECT_EQ(WidenAnsi("\x80\xE9"), u"\u20AC\u00E9");
}

// Any bytes parse, every offset stays inside the text, and a long line costs no more than its
// length (this would take hours if a line were scanned once per unit).
TEST(ProfileFormat, ParsesArbitraryBytesWithinBounds) {
  std::mt19937 random(7);
  const std::string alphabet = "[]=;'\" \t\v\r\nab\xE9";
  for (int round = 0; round < 200; ++round) {
    std::string text(random() % 200, ' ');
    for (char& c : text) c = round % 2 ? alphabet[random() % alphabet.size()] : char(random());
    const Document<char> doc(text);
    for (const Line& line : doc.lines()) {
      ASSERT_LE(line.begin, line.end);
      ASSERT_LE(line.end, line.next);
      ASSERT_LE(line.next, text.size());
      ASSERT_LE(line.name_begin, line.name_end);
      ASSERT_LE(line.value_begin, line.value_end);
      ASSERT_LE(line.value_end, line.end);
    }
    (void)doc.WithValue("a", "b", "c");
    (void)doc.WithoutSection("a");
  }
  const std::string long_line = "[s]\r\nk=" + std::string(4'000'000, '=');
  EXPECT_EQ(Lookup(long_line, "s", "k").size(), 4'000'000u);
}

}  // namespace
}  // namespace tvx::profile
