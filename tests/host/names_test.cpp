// Which names a Windows program may see, and the Windows form of host names.
#include "platform/host/names.h"

#include <gtest/gtest.h>

namespace tvx::host {
namespace {

TEST(HostNames, ShowableNamesHoldNoReservedOrControlCharacterAndNoTrailingDotOrBlank) {
  struct Case {
    std::string name;  // code page 1252
    bool showable;
  };
  const Case cases[] = {
      {"readme.txt", true}, {"caf\xe9", true}, {"\x80uro", true}, {".profile", true},
      {"a b", true},        {"", false},       {"a\\b", false},   {"a/b", false},
      {"a:b", false},       {"a*b", false},    {"a?b", false},    {"a\"b", false},
      {"a<b", false},       {"a>b", false},    {"a|b", false},    {"tab\there", false},
      {"del\x7f", false},   {"c1\x81", false}, {"c1\x9d", false}, {"dot.", false},
      {"blank ", false},    {"..", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsShowableName(c.name), c.showable) << c.name;
}

TEST(HostNames, HostNamesReachWindowsInCodePage1252OrNotAtAll) {
  struct Case {
    std::string host;  // UTF-8 or not
    bool shown;
    std::string name;
  };
  const Case cases[] = {
      {"caf\xc3\xa9.txt", true, "caf\xe9.txt"},
      {"\xe2\x82\xac", true, "\x80"},  // the euro sign
      {"\xc5\x81odz", false, ""},      // Polish L with stroke: not in the code page
      {"\xff\xfe", false, ""},         // invalid UTF-8
      {"\xc2\x85line", false, ""},     // a C1 control character
      {"\xe6\x97\xa5", false, ""},
  };
  for (const Case& c : cases) {
    std::string name;
    EXPECT_EQ(WindowsName(c.host, &name), c.shown) << c.host;
    if (c.shown) {
      EXPECT_EQ(name, c.name);
    }
  }
}

TEST(HostNames, LossyFormsMarkWhatCannotBeShownWithAQuestionMark) {
  EXPECT_EQ(WindowsNameLossy("caf\xc3\xa9"), "caf\xe9");
  EXPECT_EQ(WindowsNameLossy("\xe6\x97\xa5\xe6\x9c\xac"), "??");
  EXPECT_EQ(WindowsNameLossy("a:b\x01"), "a?b?");
  EXPECT_EQ(WindowsNameLossy("x\xff\xc3"), "x??");
}

TEST(HostNames, PathsAreSpelledWithBackslashes) {
  MachinePath path;
  path.drive = 'C';
  EXPECT_EQ(FormatPath(path), "C:\\");
  path.names = {"TAVOX", "setup.exe"};
  EXPECT_EQ(FormatPath(path), "C:\\TAVOX\\setup.exe");
  path.drive = 0;
  path.unc = "\\\\?\\unix";
  EXPECT_EQ(FormatPath(path), "\\\\?\\unix\\TAVOX\\setup.exe");
}

}  // namespace
}  // namespace tvx::host
