// Host names that a Windows program must never see: holding characters no Windows name may hold,
// not text at all, outside the code page, or changed by the platform's own name rules (trailing
// dots and blanks). Shown to the sweep, any of them could build a path that leaves the tree.
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/adversarial/adversarial_support.h"

namespace tvx::adversarial {
namespace {

// Names the program cannot name. Each goes in a directory of its own, beside a file it can name.
const std::vector<std::string>& UnnameableNames() {
  static const std::vector<std::string> names = {
      "a\\b.txt",
      "star*",
      "what?",
      "co:lon",
      "quo\"te",
      "less<",
      "more>",
      "pi|pe",
      "ctl\x01",
      "tab\tname",
      "new\nline",
      "del\x7f",
      "\xc2\x81",          // a byte the code page leaves undefined, a C1 control character here
      "\xc2\x9f",          // a C1 control character
      "\xff\xfe",          // not UTF-8
      "abc\xc3",           // a sequence cut short
      "\xc0\xae\xc0\xae",  // ".." in an overlong form
      "\xc0\xaf",          // "/" in an overlong form
      "\xed\xa0\x80",      // a UTF-16 surrogate
      "\xf4\x90\x80\x80",  // beyond U+10FFFF
      "snow\xe2\x98\x83",  // outside code page 1252
      "\xe2\x80\xae"
      "exe.txt",                   // a direction mark
      "\xef\xbc\x8e\xef\xbc\x8e",  // full-width "..", which a best fit would turn into ".."
      "..\xef\xbc\xbc..\xef\xbc\xbcwindows",  // "..\..\windows" with full-width backslashes
      "dot.",
      "blank ",
      "...",
      " ",
      ". .",
      "..\\..\\windows",
      "..\\..\\..\\prefix",
  };
  return names;
}

// Names that only look odd: the program names each of them and deletes it.
const std::vector<std::string>& NameableNames() {
  static const std::vector<std::string> names = {
      "\xc3\xa9.txt",      // é, upper-cased to É
      "\xc3\xbf.txt",      // ÿ, upper-cased to Ÿ (9F)
      "\xc3\x9f.txt",      // ß, unchanged
      "\xc2\xb5.txt",      // µ, unchanged
      "\xc5\xa1.txt",      // š, upper-cased to Š (8A)
      "\xc5\x93.txt",      // œ
      "\xe2\x82\xac.txt",  // €
      "nbsp\xc2\xa0",      // a no-break space is no blank
      "MiXeD.TxT",
      "dots.in.name.txt",
      "x .y",
      " lead",
      ".hidden",
      "CON",
      "nul.txt",
      std::string(127, 'A') + "\xc3\xa9",  // 128 characters, 129 bytes
  };
  return names;
}

class NamesTest : public ::testing::Test, public Scenario {};

TEST_F(NamesTest, WhatCannotBeNamedStaysWithItsDirectoriesAndNothingOutsideIsTouched) {
  TempPrefix& tp = p();
  const std::string t = Product();
  std::vector<std::string> expected;
  for (size_t i = 0; i < UnnameableNames().size(); ++i) {
    const std::string dir = "N" + std::to_string(100 + i);
    const std::string& name = UnnameableNames()[i];
    tp.MakeFile(t + "/" + dir + "/GOOD.TXT", "named");
    expected.push_back(dir + "/");
    if (name.find("windows") != std::string::npos || name.find("prefix") != std::string::npos) {
      // A directory whose name reads as a way out of the tree, with what such a way would reach.
      tp.MakeFile(t + "/" + dir + "/" + name + "/WIN.INI", "inside the tree");
      expected.push_back(dir + "/" + name + "/");
      expected.push_back(dir + "/" + name + "/WIN.INI");
    } else {
      tp.MakeFile(t + "/" + dir + "/" + name, "unnameable");
      expected.push_back(dir + "/" + name);
    }
  }
  for (const std::string& name : NameableNames()) tp.MakeFile(t + "/CP/" + name, "named");
  std::sort(expected.begin(), expected.end());

  const Outcome o = Execute();

  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct(expected);
  EXPECT_TRUE(UninstallerRan());
}

TEST_F(NamesTest, NamesThatDifferOnlyInCaseNeverLeadOutOfTheTree) {
  // The host tells "x" from "X"; the program does not. Whatever entry a name resolves to, links
  // among them are never followed.
  TempPrefix& tp = p();
  const std::string c = Product() + "/CASE";
  tp.MakeFile(c + "/a.txt", "1");
  tp.MakeFile(c + "/A.TXT", "2");
  tp.MakeFile(c + "/A.txt", "3");
  tp.MakeFile(c + "/sub/inner.txt", "4");
  tp.MakeFile(c + "/SUB", "5");
  tp.MakeFile(c + "/x/inner.txt", "6");
  tp.MakeLink(c + "/X", tp.outside() + "/dir");
  tp.MakeLink(c + "/system", tp.outside() + "/dir");
  tp.MakeFile(c + "/\xc3\xa9", "7");  // é and É fold together in code page 1252
  tp.MakeLink(c + "/\xc3\x89", tp.outside() + "/dir");
  tp.MakeFile(c + "/\xc3\xbf", "8");  // ÿ and Ÿ too
  tp.MakeLink(c + "/\xc5\xb8", tp.outside() + "/dir/sub");

  const Outcome o = Execute();

  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
}

TEST_F(NamesTest, AnUnnameableNameOnTheWayToTheProductHidesIt) {
  // A directory on drive C whose host name ends in a blank, holding a TAVOX: "C:\TAVOX " names
  // C:\TAVOX (Windows drops the blank), never the directory with the blank.
  TempPrefix& tp = p();
  tp.MakeFile(DriveC() + "/TAVOX /README.TXT", "beside the product");
  tp.MakeFile(DriveC() + "/TAVOX./README.TXT", "beside the product");
  SetRegistry(RegEscape("C:\\TAVOX \\"), RegEscape(kCommand));

  const Outcome o = Execute();

  EXPECT_EQ(o.exit_code, 0) << o;
  ExpectOutsideIntact();
  ExpectProduct({});
}

}  // namespace
}  // namespace tvx::adversarial
