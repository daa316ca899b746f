#include "platform/registry_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tvx::registry {
namespace {

const std::string kHeader = "WINE REGISTRY Version 2\n";

// The bytes a string value holds: UTF-16LE and a terminating zero.
std::string Sz(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out.append(2, '\0');
}

// "type:bytes" of a value, or "missing".
std::string Get(const Hive& hive, std::u16string_view key, std::u16string_view name) {
  const std::optional<Hive::KeyId> id = hive.Find(Hive::kRoot, key);
  if (!id) return "no key";
  const Value* value = hive.FindValue(*id, name);
  if (value == nullptr) return "missing";
  return std::to_string(value->type) + ":" + value->data;
}

std::string Sz(uint32_t type, std::u16string_view text) {
  return std::to_string(type) + ":" + Sz(text);
}

TEST(RegistryFormat, ReadsAStringValueOfAKey) {
  const Hive hive = Hive::Parse(kHeader +
                                ";; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
                                "[Software\\\\TAVOX] 1700000000\n#time=1d9f0e8c3b2a100\n"
                                "\"TavoxDirectory\"=\"C:\\\\TAVOX\"\n");
  EXPECT_EQ(Get(hive, u"Software\\TAVOX", u"TavoxDirectory"), Sz(1, u"C:\\TAVOX"));
  EXPECT_EQ(Get(hive, u"SOFTWARE\\tavox\\", u"TAVOXDIRECTORY"), Sz(1, u"C:\\TAVOX"));
  EXPECT_EQ(Get(hive, u"Software\\TAVOX", u"UninstallString"), "missing");
  EXPECT_FALSE(hive.win64());
}

TEST(RegistryFormat, AcceptsCrLfLines) {
  const Hive hive = Hive::Parse("WINE REGISTRY Version 2\r\n[K]\r\n\"v\"=\"x\"\r\n");
  EXPECT_EQ(Get(hive, u"K", u"v"), Sz(1, u"x"));
}

TEST(RegistryFormat, AWrongHeaderGivesAnEmptyHive) {
  for (const std::string header :
       {"", "WINE REGISTRY Version 1\n", "wine registry version 2\n", "\nWINE REGISTRY Version 2\n",
        " WINE REGISTRY Version 2\n", "\xEF\xBB\xBFWINE REGISTRY Version 2\n", "REGEDIT4\n"}) {
    const Hive hive = Hive::Parse(header + "[K]\n\"v\"=\"x\"\n");
    EXPECT_EQ(Get(hive, u"K", u"v"), "no key") << header;
  }
}

TEST(RegistryFormat, ParentsAreImpliedByTheirChildren) {
  const Hive hive = Hive::Parse(kHeader + "[A\\\\B\\\\C]\n\"v\"=\"x\"\n");
  EXPECT_TRUE(hive.Find(Hive::kRoot, u"a\\b").has_value());
  EXPECT_EQ(hive.Find(Hive::kRoot, u"A"), hive.Find(Hive::kRoot, u"\\a\\\\"));
  const std::optional<Hive::KeyId> b = hive.Find(Hive::kRoot, u"A\\B");
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(hive.Find(*b, u"c"), hive.Find(Hive::kRoot, u"a\\b\\c"));
  EXPECT_FALSE(hive.Find(Hive::kRoot, u"A\\C").has_value());
  EXPECT_EQ(hive.Find(Hive::kRoot, u""), Hive::kRoot);
}

// Keys are found by comparing key lines name by name; a key line counts only when it parses to
// the end, and a key's values come from every line that names exactly it.
TEST(RegistryFormat, FindsKeysOnlyThroughKeyLinesThatParse) {
  const Hive hive = Hive::Parse(kHeader +
                                "[A\\\\Bc] 1\n\"v\"=\"1\"\n"
                                "  [A\\\\B\\\\C\n\"v\"=\"2\"\n"
                                "\t[X\\\\Y]\n\"h\"=hex:01,\\\n[a\\\\\\\\bc\\\\]\n\"w\"=\"3\"\n"
                                "[Q\\\\R\\\\S]\n");
  const struct {
    std::u16string key;
    std::u16string name;
    std::string expected;
  } cases[] =
      {
          {u"A\\BC", u"v", Sz(1, u"1")},  // the later line "[a\\\\bc\\]" names the same key
          {u"A\\BC", u"w", Sz(1, u"3")},
          {u"A\\B", u"v", "no key"},  // only the unterminated line names it
          {u"A\\B\\C", u"v", "no key"},
          {u"A", u"v", "missing"},     // implied by a key below it, without values
          {u"X\\Y", u"h", "missing"},  // its hex data goes on into a key line
          {u"Q\\R", u"v", "missing"},
          {u"Q\\R\\S\\T", u"v", "no key"},
          {u"X\\YZ", u"v", "no key"},
      };
  for (const auto& c : cases) {
    EXPECT_EQ(Get(hive, c.key, c.name), c.expected) << std::string(c.key.begin(), c.key.end());
  }
}

TEST(RegistryFormat, DecodesEveryEscape) {
  const struct {
    const char* text;
    std::u16string expected;
  } cases[] = {
      {R"(a\\b)", u"a\\b"},
      {R"(a\"b)", u"a\"b"},
      {R"(\a\b\e\f\n\r\t\v)", u"\a\b\x1B\f\n\r\t\v"},
      {R"(\0)", std::u16string(1, u'\0')},
      {R"(\101\60)", u"A0"},
      {R"(\1014)", u"A4"},
      {R"(\777)", u"\u01FF"},
      {R"(\8)", u"8"},
      {R"(\x41)", u"A"},
      {R"(\x20ac)", u"\u20AC"},
      {R"(\x20ACD)", u"\u20ACD"},
      {R"(\xe9t\xe9)", u"\u00E9t\u00E9"},
      {R"(\xg)", u"xg"},
      {R"(\q\[\])", u"q[]"},
      {"caf\xE9", u"caf\u00E9"},
  };
  for (const auto& c : cases) {
    const Hive hive = Hive::Parse(kHeader + "[K]\n\"v\"=\"" + c.text + "\"\n");
    EXPECT_EQ(Get(hive, u"K", u"v"), Sz(1, c.expected)) << c.text;
  }
}

TEST(RegistryFormat, ReadsEveryDataForm) {
  const Hive hive = Hive::Parse(kHeader +
                                "[K]\n"
                                "@=\"default\"\n"
                                "\"sz\"=str:\"a\"\n"
                                "\"expand\"=str(2):\"%WINDIR%\"\n"
                                "\"multi\"=str(7):\"a\\0b\\0\"\n"
                                "\"dword\"=dword:0000000a\n"
                                "\"short\"=dword:43\n"
                                "\"bin\"=hex:01,02,ff\n"
                                "\"empty\"=hex:\n"
                                "\"unterminated\"=hex(1):43,00,3a,00\n"
                                "\"qword\"=hex(b):01,00,00,00,00,00,00,00\n"
                                "\"odd\"=hex(100):aa\n"
                                "  \"spaced\"  =  \"s\"\n"
                                "\"esc\\\"aped\"=\"n\"\n");
  EXPECT_EQ(Get(hive, u"K", u""), Sz(1, u"default"));
  EXPECT_EQ(Get(hive, u"K", u"sz"), Sz(1, u"a"));
  EXPECT_EQ(Get(hive, u"K", u"expand"), Sz(2, u"%WINDIR%"));
  EXPECT_EQ(Get(hive, u"K", u"multi"), Sz(7, std::u16string(u"a\0b\0", 4)));
  EXPECT_EQ(Get(hive, u"K", u"dword"), std::string("4:\x0a\0\0\0", 6));
  EXPECT_EQ(Get(hive, u"K", u"short"), std::string("4:\x43\0\0\0", 6));
  EXPECT_EQ(Get(hive, u"K", u"bin"), "3:\x01\x02\xff");
  EXPECT_EQ(Get(hive, u"K", u"empty"), "3:");
  EXPECT_EQ(Get(hive, u"K", u"unterminated"), std::string("1:C\0:\0", 6));
  EXPECT_EQ(Get(hive, u"K", u"qword"), std::string("11:\x01\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(Get(hive, u"K", u"odd"), "256:\xaa");
  EXPECT_EQ(Get(hive, u"K", u"spaced"), Sz(1, u"s"));
  EXPECT_EQ(Get(hive, u"K", u"esc\"aped"), Sz(1, u"n"));
}

TEST(RegistryFormat, HexDataGoesOnOverContinuationLines) {
  const Hive hive = Hive::Parse(kHeader +
                                "[K]\n"
                                "\"long\"=hex(2):43,00,3a,\\\n"
                                "  00,5c,00,\\\n"
                                "\t00,00\n"
                                "\"after\"=\"ok\"\n");
  EXPECT_EQ(Get(hive, u"K", u"long"), Sz(2, u"C:\\"));
  EXPECT_EQ(Get(hive, u"K", u"after"), Sz(1, u"ok"));
}

// Each malformed line is skipped and the lines around it still load.
TEST(RegistryFormat, SkipsMalformedLines) {
  for (const std::string bad : {
           "\"v\"=\"unterminated\n",
           "\"v\"=\"ends in a backslash\\\n",
           "\"v\"\n",
           "\"v\" \"x\"\n",
           "\"v=\"x\"\n",
           "\"v\"=dword:\n",
           "\"v\"=dword:123456789\n",
           "\"v\"=dword:zz\n",
           "\"v\"=hex:1ff\n",
           "\"v\"=hex:01,zz\n",
           "\"v\"=hex(1:41\n",
           "\"v\"=hex():41\n",
           "\"v\"=hex(123456789):41\n",
           "\"v\"=str(3):\"x\"\n",
           "\"v\"=unknown\n",
           "\"v\"=hex:01,\\\n",
           "junk line\n",
           "]\n",
       }) {
    const Hive hive = Hive::Parse(kHeader + "[K]\n\"before\"=\"1\"\n" + bad + "\"after\"=\"2\"\n");
    EXPECT_EQ(Get(hive, u"K", u"before"), Sz(1, u"1")) << bad;
    EXPECT_EQ(Get(hive, u"K", u"v"), "missing") << bad;
    EXPECT_EQ(Get(hive, u"K", u"after"), Sz(1, u"2")) << bad;
  }
}

TEST(RegistryFormat, ValuesAfterABrokenKeyLineBelongToNoKey) {
  const Hive hive = Hive::Parse(kHeader +
                                "\"early\"=\"0\"\n[K]\n\"a\"=\"1\"\n[Broken\n\"b\"=\"2\"\n"
                                "[L]\n\"c\"=\"3\"\n");
  EXPECT_EQ(Get(hive, u"", u"early"), "missing");
  EXPECT_EQ(Get(hive, u"K", u"b"), "missing");
  EXPECT_EQ(Get(hive, u"K", u"a"), Sz(1, u"1"));
  EXPECT_EQ(Get(hive, u"L", u"c"), Sz(1, u"3"));
}

TEST(RegistryFormat, ALaterValueReplacesAnEarlierOneOfTheSameName) {
  const Hive hive =
      Hive::Parse(kHeader + "[K]\n\"Name\"=\"1\"\n[k]\n\"NAME\"=\"2\"\n\"other\"=\"3\"\n");
  EXPECT_EQ(Get(hive, u"K", u"name"), Sz(1, u"2"));
  EXPECT_EQ(Get(hive, u"K", u"other"), Sz(1, u"3"));
}

TEST(RegistryFormat, IgnoresKeyOptionsAndComments) {
  const Hive hive = Hive::Parse(kHeader +
                                "[K]\n#time=1d9f0e8c3b2a100\n#class=\"c\"\n#link\n"
                                ";\"v\"=\"no\"\n#arch=win64\n\"v\"=\"yes\"\n");
  EXPECT_EQ(Get(hive, u"K", u"v"), Sz(1, u"yes"));
  EXPECT_FALSE(hive.win64()) << "#arch counts only before the first key";
}

TEST(RegistryFormat, ComparesNamesWithTheCodePageCaseMapping) {
  const Hive hive = Hive::Parse(kHeader + "[Caf\\xe9\\\\\\x4e00]\n\"\\xe9\"=\"1\"\n");
  EXPECT_EQ(Get(hive, u"CAF\u00C9\\\u4E00", u"\u00C9"), Sz(1, u"1"));
  EXPECT_EQ(FoldName(u"ab\u00E9\u00FF\u4E00"), u"AB\u00C9\u0178\u4E00");
}

TEST(RegistryFormat, KnowsA64BitPrefix) {
  const Hive hive = Hive::Parse(kHeader + "\n#arch=win64\n[Software\\\\Wow6432Node\\\\TAVOX]\n");
  EXPECT_TRUE(hive.win64());
}

TEST(RegistryFormat, RedirectsSoftwareForA32BitProgram) {
  const struct {
    std::u16string path;
    std::u16string expected;
  } cases[] = {
      {u"SOFTWARE\\TAVOX", u"SOFTWARE\\Wow6432Node\\TAVOX"},
      {u"software", u"software\\Wow6432Node"},
      {u"Software\\wow6432node\\X", u"Software\\wow6432node\\X"},
      {u"\\Software\\\\X\\", u"Software\\Wow6432Node\\X"},
      {u"System\\X", u"System\\X"},
      {u"SoftwareX\\Y", u"SoftwareX\\Y"},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(RedirectFor32Bit(c.path), c.expected);
}

// A very deep key loads and goes away without recursion, and random bytes never read outside
// the text (the sanitizer build checks that).
TEST(RegistryFormat, SurvivesDeepAndRandomInput) {
  std::string deep = kHeader + "[";
  for (int i = 0; i < 200'000; ++i) deep += "k\\\\";
  deep += "]\n\"v\"=\"x\"\n";
  EXPECT_TRUE(Hive::Parse(deep).Find(Hive::kRoot, u"k\\k\\k").has_value());

  std::mt19937 random(11);
  const std::string alphabet = "[]\"@#=\\:,()x0179afstrhexdwo \t\r\n";
  for (int round = 0; round < 300; ++round) {
    std::string text = kHeader + "[K]\n";
    const size_t size = random() % 300;
    for (size_t i = 0; i < size; ++i) {
      text += round % 2 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
    }
    (void)Hive::Parse(text);
  }
}

}  // namespace
}  // namespace tvx::registry
