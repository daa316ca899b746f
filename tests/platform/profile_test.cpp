// Contract tests of GetPrivateProfileStringA, GetPrivateProfileIntA and
// WritePrivateProfileStringA on the machines of machine_fixture.h, and of the atomic replace on
// a real prefix.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>

#include "platform/profile_format.h"
#include "platform/windows.h"
#include "tests/support/fake_machine.h"
#include "tests/support/machine_fixture.h"

namespace tvx::testing {
namespace {

using ::testing::ElementsAre;

struct Lookup {
  DWORD count;
  std::string buffer;  // the whole buffer and two guard bytes after it
  DWORD error;
  std::string Text() const { return std::string(buffer.c_str()); }
};

Lookup GetString(LPCSTR section, LPCSTR key, LPCSTR fallback, LPCSTR file, DWORD size = 260) {
  std::string buffer(size + 2, '#');
  SetLastError(0);
  const DWORD count = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file);
  return {count, buffer, GetLastError()};
}

std::string Utf16File(std::u16string_view text) {
  return std::string(profile::kUtf16LeBom) + profile::EncodeUtf16Le(text);
}

template <class F>
class ProfileTest : public MachineTest<F> {
 protected:
  std::string Content(const std::string& path) {
    if constexpr (std::is_same_v<F, FakeMachineFixture>) {
      return this->world_.fake().FileContent(path);
    } else {
      return this->world_.prefix().Read(this->world_.HostPath(path));
    }
  }
};
// These calls hold no rule of the machine, so their contract is checked on both machines.
using BothMachines = ::testing::Types<FakeMachineFixture, HostMachineFixture>;
TYPED_TEST_SUITE(ProfileTest, BothMachines, MachineFixtureNames);

TYPED_TEST(ProfileTest, ABareFileNameIsReadFromTheWindowsDirectoryOnly) {
  this->world_.MakeFile("C:\\windows\\tavox.ini", "[TAVOX_INFO]\r\nTavoxDirectory=D:\\GAMES\r\n");
  this->world_.MakeFile("C:\\tavox.ini", "[TAVOX_INFO]\r\nTavoxDirectory=WRONG\r\n");
  const Lookup lookup = GetString("TAVOX_INFO", "TavoxDirectory", "C:\\TAVOX", "tavox.ini");
  EXPECT_EQ(lookup.Text(), "D:\\GAMES");
  EXPECT_EQ(lookup.count, 8u);
}

TYPED_TEST(ProfileTest, APathIsResolvedAgainstTheCurrentDirectory) {
  this->world_.MakeFile("C:\\work\\sub\\x.ini", "[s]\r\nk=found\r\n");
  this->world_.Start("C:\\work");
  for (const char* file : {".\\sub\\x.ini", "sub/x.ini", "C:\\work\\sub\\x.ini",
                           "\\WORK\\SUB\\X.INI", "C:sub\\x.ini"}) {
    EXPECT_EQ(GetString("s", "k", "no", file).Text(), "found") << file;
  }
}

TYPED_TEST(ProfileTest, AMissingFileGivesTheDefaultAndErrorFileNotFound) {
  const Lookup lookup = GetString("s", "k", "C:\\TAVOX", "tavox.ini");
  EXPECT_EQ(lookup.Text(), "C:\\TAVOX");
  EXPECT_EQ(lookup.count, 8u);
  EXPECT_EQ(lookup.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TYPED_TEST(ProfileTest, DefaultsLoseTrailingSpacesOnly) {
  this->world_.MakeFile("C:\\windows\\x.ini", "[s]\r\n");
  EXPECT_EQ(GetString("s", "k", nullptr, "x.ini").buffer.substr(0, 2), std::string("\0#", 2));
  EXPECT_EQ(GetString("s", "k", nullptr, "x.ini").count, 0u);
  EXPECT_EQ(GetString("s", "k", "default  ", "x.ini").count, 7u);
  EXPECT_EQ(GetString("s", "k", "   default   ", "x.ini").Text(), "   default");
  EXPECT_EQ(GetString("s", "k", "\tdefault\t", "x.ini").Text(), "\tdefault\t");
  EXPECT_EQ(GetString("s", "", "empty key", "x.ini").Text(), "empty key");
}

TYPED_TEST(ProfileTest, AValueIsCutToTheBuffer) {
  this->world_.MakeFile("C:\\windows\\x.ini", "[s]\r\nk=val1\r\na=a\r\n");
  const Lookup cut = GetString("s", "k", "", "x.ini", 4);
  EXPECT_EQ(cut.buffer, std::string("val\0##", 6));
  EXPECT_EQ(cut.count, 3u);
  EXPECT_EQ(cut.error, static_cast<DWORD>(ERROR_MORE_DATA));
  const Lookup whole = GetString("s", "k", "", "x.ini", 5);
  EXPECT_EQ(whole.buffer, std::string("val1\0##", 7));
  EXPECT_EQ(whole.count, 4u);
  EXPECT_EQ(whole.error, 0u);
  EXPECT_EQ(GetString("s", "a", "", "x.ini", 1).buffer, std::string("\0##", 3));
  const Lookup none = GetString("s", "a", "", "x.ini", 0);
  EXPECT_EQ(none.buffer, "##");
  EXPECT_EQ(none.count, 0u);
}

TYPED_TEST(ProfileTest, ListsSectionsAndKeysEndedByADoubleZero) {
  this->world_.MakeFile("C:\\windows\\x.ini", "[ab]\r\nk=1\r\n;c=2\r\nj=3\r\n[cd]\r\n");
  const Lookup sections = GetString(nullptr, "ignored", "dflt", "x.ini", 20);
  EXPECT_EQ(sections.buffer.substr(0, 7), std::string("ab\0cd\0\0", 7));
  EXPECT_EQ(sections.count, 6u);
  const Lookup keys = GetString("AB", nullptr, "dflt", "x.ini", 20);
  EXPECT_EQ(keys.buffer.substr(0, 5), std::string("k\0j\0\0", 5));
  EXPECT_EQ(keys.count, 4u);
  const Lookup cut = GetString(nullptr, nullptr, "", "x.ini", 6);
  EXPECT_EQ(cut.buffer, std::string("ab\0c\0\0##", 8));
  EXPECT_EQ(cut.count, 4u);
  EXPECT_EQ(cut.error, static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(GetString(nullptr, nullptr, "", "x.ini", 1).count, 0u);
  const Lookup missing = GetString("none", nullptr, "dflt", "x.ini", 4);
  EXPECT_EQ(missing.buffer, std::string("\0\0####", 6));
  EXPECT_EQ(missing.count, 0u);
  EXPECT_EQ(GetString(nullptr, nullptr, "", "nofile.ini", 4).buffer, std::string("\0\0####", 6));
}

TYPED_TEST(ProfileTest, FileNamesThatNameNoFile) {
  EXPECT_EQ(GetString("s", "k", "d", "").error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetString("s", "k", "d", ".").error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetString("s", "k", "d", "C:\\windows").error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  const std::string long_name = "C:\\" + std::string(300, 'a') + "\\x.ini";
  const Lookup lookup = GetString("s", "k", "d", long_name.c_str());
  EXPECT_EQ(lookup.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(lookup.Text(), "d");
}

TYPED_TEST(ProfileTest, AUtf8ByteOrderMarkSpoilsTheFirstLine) {
  this->world_.MakeFile("C:\\windows\\x.ini", "\xEF\xBB\xBF[s]\r\nk=v\r\n[t]\r\nk=w\r\n");
  EXPECT_EQ(GetString("s", "k", "d", "x.ini").Text(), "d");
  EXPECT_EQ(GetString("t", "k", "d", "x.ini").Text(), "w");
}

TYPED_TEST(ProfileTest, AUnicodeFileIsReadAndStaysUnicodeWhenWritten) {
  this->world_.MakeFile("C:\\windows\\u.ini", Utf16File(u"[S]\r\nk=caf\u00E9\u4E00\r\n"));
  EXPECT_EQ(GetString("s", "K", "", "u.ini").Text(), "caf\xE9?");
  ASSERT_TRUE(WritePrivateProfileStringA("s", "n", "\x80", "u.ini"));
  EXPECT_EQ(this->Content("C:\\windows\\u.ini"),
            Utf16File(u"[S]\r\nk=caf\u00E9\u4E00\r\nn=\u20AC\r\n"));
}

TYPED_TEST(ProfileTest, ReadsIntegers) {
  this->world_.MakeFile("C:\\windows\\x.ini",
                        "[s]\r\none=1\r\nneg=-1\r\nmix=12abc\r\nletter=B4294967297\r\nempty=\r\n");
  EXPECT_EQ(GetPrivateProfileIntA("s", "one", 5, "x.ini"), 1u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "neg", 5, "x.ini"), 4294967295u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "mix", 5, "x.ini"), 12u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "letter", 5, "x.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "empty", 5, "x.ini"), 5u);
  EXPECT_EQ(GetPrivateProfileIntA("s", "missing", -1, "x.ini"), 4294967295u);
  EXPECT_EQ(GetPrivateProfileIntA("Settings", "PreviewPages", 0, "none.ini"), 0u);
}

TYPED_TEST(ProfileTest, WritingCreatesAMissingFileInTheWindowsDirectory) {
  SetLastError(0);
  EXPECT_TRUE(WritePrivateProfileStringA("App", "key", "string", "new.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(this->Content("C:\\windows\\new.ini"), "[App]\r\nkey=string\r\n");
}

TYPED_TEST(ProfileTest, WritingNeverMakesADirectory) {
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "string", "C:\\nodir\\x.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(this->world_.Exists("C:\\nodir"));
}

TYPED_TEST(ProfileTest, WritingWithoutASectionFails) {
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "key", "string", "x.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "x.ini"));
  EXPECT_FALSE(this->world_.Exists("C:\\windows\\x.ini"));
}

// What the framework does at exit: the recent-file list goes and its entries come back.
TYPED_TEST(ProfileTest, DeletesASectionAndWritesSettingsBack) {
  this->world_.MakeFile("C:\\windows\\APP.INI",
                        "[Recent File List]\r\nFile1=C:\\a.txt\r\nOther=x\r\n; note\r\n"
                        "[Settings]\r\nPreviewPages=3\r\n");
  EXPECT_TRUE(WritePrivateProfileStringA("Recent File List", nullptr, nullptr, "APP.INI"));
  EXPECT_TRUE(WritePrivateProfileStringA("Recent File List", "File1", "C:\\a.txt", "APP.INI"));
  EXPECT_TRUE(WritePrivateProfileStringA("Settings", "PreviewPages", "3", "APP.INI"));
  EXPECT_EQ(this->Content("C:\\windows\\APP.INI"),
            "; note\r\n[Settings]\r\nPreviewPages=3\r\n[Recent File List]\r\nFile1=C:\\a.txt\r\n");
}

TYPED_TEST(ProfileTest, DeletingWhatIsMissingChangesNothing) {
  EXPECT_TRUE(WritePrivateProfileStringA("Recent File List", nullptr, nullptr, "none.ini"));
  EXPECT_FALSE(this->world_.Exists("C:\\windows\\none.ini"));
  this->world_.MakeFile("C:\\windows\\x.ini", "[s]\nk=v");
  EXPECT_TRUE(WritePrivateProfileStringA("s", "missing", nullptr, "x.ini"));
  EXPECT_TRUE(WritePrivateProfileStringA("t", nullptr, nullptr, "x.ini"));
  EXPECT_EQ(this->Content("C:\\windows\\x.ini"), "[s]\nk=v");
  EXPECT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, "x.ini"));
  EXPECT_EQ(this->Content("C:\\windows\\x.ini"), "[s]\n");
}

TYPED_TEST(ProfileTest, AFailedWriteReportsItsErrorAndKeepsTheFile) {
  this->world_.MakeFile("C:\\windows\\ro.ini", "[s]\r\nk=old\r\n", /*readonly=*/true);
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "new", "ro.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(this->Content("C:\\windows\\ro.ini"), "[s]\r\nk=old\r\n");
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "new", "C:\\windows"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TYPED_TEST(ProfileTest, AWrittenValueIsVerbatimAndReadBackTrimmed) {
  ASSERT_TRUE(WritePrivateProfileStringA("  s  ", " k ", " v ", "x.ini"));
  EXPECT_EQ(this->Content("C:\\windows\\x.ini"), "[s]\r\nk= v \r\n");
  EXPECT_EQ(GetString("S", "K", "", "x.ini").Text(), "v");
}

TEST(ProfileFake, ReadsTheFileOnceAndWritesItOnceThroughTheAtomicReplace) {
  FakeMachine machine;
  ScopedMachine scoped(machine);
  machine.MakeFile("C:\\windows\\x.ini", "[s]\r\nk=v\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "w", "x.ini"));
  EXPECT_THAT(machine.CallsOf("ReadFile"), ElementsAre("C:\\windows\\x.ini"));
  EXPECT_THAT(machine.CallsOf("ReplaceFile"), ElementsAre("C:\\windows\\x.ini"));
  machine.calls.clear();
  ASSERT_TRUE(WritePrivateProfileStringA("s", "missing", nullptr, "x.ini"));
  EXPECT_THAT(machine.CallsOf("ReplaceFile"), ::testing::IsEmpty());
}

// The host replaces the file by a rename: a reader that opened the old file before the write
// still reads the old content whole, and nothing is left beside the file.
TEST(ProfileHost, ReplacesTheFileRatherThanWritingIntoIt) {
  TempPrefix prefix;
  const std::string ini = prefix.Host("C:\\windows\\x.ini");
  prefix.MakeFile(ini, "[s]\r\nk=old\r\n");
  std::ifstream reader(ini, std::ios::binary);
  ASSERT_TRUE(reader.is_open());
  const std::unique_ptr<Machine> machine = prefix.MakeMachine();
  ScopedMachine scoped(*machine);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "new", "x.ini"));
  EXPECT_EQ(prefix.Read(ini), "[s]\r\nk=new\r\n");
  const std::string old((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
  EXPECT_EQ(old, "[s]\r\nk=old\r\n");
  EXPECT_THAT(prefix.Tree(prefix.Host("C:\\windows")), ElementsAre("x.ini"));
}

// Found by the fuzzer: a zero byte inside a value ends the text, and the count says so.
TEST(ProfileFake, ValueHoldingAZeroByteEndsThere) {
  FakeMachine fake;
  ScopedMachine scoped(fake);
  fake.MakeFile("C:\\windows\\z.ini", std::string("[s]\r\nk=ab\0cd\r\n", 14));
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buffer, sizeof buffer, "z.ini"), 2u);
  EXPECT_STREQ(buffer, "ab");
}

}  // namespace
}  // namespace tvx::testing
