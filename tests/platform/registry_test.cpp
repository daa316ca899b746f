// Contract tests of RegOpenKeyExA, RegQueryValueExA and RegCloseKey on the machines of
// machine_fixture.h, with the lookups the uninstaller makes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "platform/windows.h"
#include "tests/support/machine_fixture.h"

namespace tvx::testing {
namespace {

constexpr const char* kHeader = "WINE REGISTRY Version 2\n";
const std::string kTavox = "[Software\\\\TAVOX]\n";

struct Query {
  LSTATUS status;
  DWORD type;
  DWORD size;
  std::string buffer;  // the whole buffer
};

// Queries `name` of an open key into a buffer of `size` bytes filled with '#' beforehand, with
// the type and size variables set as the uninstaller sets them.
Query QueryValue(HKEY key, LPCSTR name, DWORD size = 260) {
  Query query{0, REG_SZ, size, std::string(size, '#')};
  query.status = RegQueryValueExA(key, name, nullptr, &query.type,
                                  reinterpret_cast<LPBYTE>(query.buffer.data()), &query.size);
  return query;
}

template <class F>
class RegistryTest : public MachineTest<F> {
 protected:
  /// Gives the machine a hive file: the header line, then `body`.
  void SetRegistry(const std::string& body) { SetRegistryFile(kHeader + body); }
  void SetRegistryFile(const std::string& text) {
    if constexpr (std::is_same_v<F, FakeMachineFixture>) {
      this->world_.fake().SetRegistryText(text);
    } else {
      const std::string file = this->world_.prefix().prefix() + "/system.reg";
      this->world_.prefix().MakeFile(file, text);
    }
  }

  /// Opens HKLM\SOFTWARE\TAVOX as the uninstaller does; fails the test when it cannot.
  HKEY OpenTavox() {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVOX", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    return key;
  }
};
// These calls hold no rule of the machine, so their contract is checked on both machines.
using BothMachines = ::testing::Types<FakeMachineFixture, HostMachineFixture>;
TYPED_TEST_SUITE(RegistryTest, BothMachines, MachineFixtureNames);

TYPED_TEST(RegistryTest, ReadsAStringValueInCodePage1252) {
  this->SetRegistry(kTavox +
                    "\"TavoxDirectory\"=\"C:\\\\TAVOX\"\n\"Name\"=\"\\x20ac caf\\xe9 \\x4e00\"\n");
  const HKEY key = this->OpenTavox();
  const Query query = QueryValue(key, "tavoxdirectory");
  EXPECT_EQ(query.status, ERROR_SUCCESS);
  EXPECT_EQ(query.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(query.size, 9u);
  EXPECT_EQ(query.buffer.substr(0, 10), std::string("C:\\TAVOX\0#", 10));
  EXPECT_EQ(std::string(QueryValue(key, "Name").buffer.c_str()), "\x80 caf\xE9 ?");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TYPED_TEST(RegistryTest, AMissingValueLeavesTheBufferAndItsSize) {
  this->SetRegistry(kTavox + "\"TavoxDirectory\"=\"C:\\\\TAVOX\"\n");
  const HKEY key = this->OpenTavox();
  const Query query = QueryValue(key, "UninstallString");
  EXPECT_EQ(query.status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(query.size, 260u);
  EXPECT_EQ(query.buffer, std::string(260, '#'));
  DWORD size = 99;
  EXPECT_EQ(RegQueryValueExA(key, "UninstallString", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TYPED_TEST(RegistryTest, AnEmptyValueIsOneZeroByte) {
  this->SetRegistry(kTavox + "\"TavoxDirectory\"=\"\"\n");
  const HKEY key = this->OpenTavox();
  const Query query = QueryValue(key, "TavoxDirectory");
  EXPECT_EQ(query.status, ERROR_SUCCESS);
  EXPECT_EQ(query.size, 1u);
  EXPECT_EQ(query.buffer[0], '\0');
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TYPED_TEST(RegistryTest, A259CharacterValueFitsAndA260CharacterOneDoesNot) {
  this->SetRegistry(kTavox + "\"Fits\"=\"" + std::string(259, 'a') + "\"\n\"TooLong\"=\"" +
                    std::string(260, 'b') + "\"\n");
  const HKEY key = this->OpenTavox();
  const Query fits = QueryValue(key, "Fits");
  EXPECT_EQ(fits.status, ERROR_SUCCESS);
  EXPECT_EQ(fits.size, 260u);
  EXPECT_EQ(fits.buffer, std::string(259, 'a') + '\0');
  const Query too_long = QueryValue(key, "TooLong");
  EXPECT_EQ(too_long.status, ERROR_MORE_DATA);
  EXPECT_EQ(too_long.size, 261u);
  EXPECT_EQ(too_long.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(too_long.buffer, std::string(260, '#'));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "TooLong", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 261u);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// Measured on the real platform: the data as stored, and a zero after it only when it has room.
TYPED_TEST(RegistryTest, AStringStoredWithoutItsZeroGetsOneOnlyWhenThereIsRoom) {
  this->SetRegistry(kTavox +
                    "\"Cut\"=hex(1):46,00,75,00,6c,00,6c,00,53,00,74,00,72,00,69,00,6e,00\n"
                    "\"Empty\"=hex(1):\n");
  const HKEY key = this->OpenTavox();
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Cut", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 9u);
  const Query exact = QueryValue(key, "Cut", 9);
  EXPECT_EQ(exact.status, ERROR_SUCCESS);
  EXPECT_EQ(exact.buffer, "FullStrin");
  const Query roomy = QueryValue(key, "Cut", 11);
  EXPECT_EQ(roomy.size, 9u);
  EXPECT_EQ(roomy.buffer, std::string("FullStrin\0#", 11));
  // No data at all still leaves an empty text, never the buffer's earlier content.
  const Query empty = QueryValue(key, "Empty", 2);
  EXPECT_EQ(empty.size, 0u);
  EXPECT_EQ(empty.buffer, std::string("\0#", 2));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TYPED_TEST(RegistryTest, OtherTypesComeBackRaw) {
  this->SetRegistry(kTavox +
                    "\"Dword\"=dword:00000043\n\"Bin\"=hex:41,42\n"
                    "\"Expand\"=str(2):\"%WINDIR%\\\\x\"\n\"Multi\"=str(7):\"a\\0b\\0\"\n");
  const HKEY key = this->OpenTavox();
  const Query dword = QueryValue(key, "Dword", 8);
  EXPECT_EQ(dword.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(dword.size, 4u);
  EXPECT_EQ(dword.buffer, std::string("C\0\0\0####", 8));
  const Query small = QueryValue(key, "Dword", 3);
  EXPECT_EQ(small.status, ERROR_MORE_DATA);
  EXPECT_EQ(small.size, 4u);
  EXPECT_EQ(QueryValue(key, "Bin", 4).buffer, "AB##");
  const Query expand = QueryValue(key, "Expand");
  EXPECT_EQ(expand.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(std::string(expand.buffer.c_str()), "%WINDIR%\\x");
  const Query multi = QueryValue(key, "Multi", 6);
  EXPECT_EQ(multi.type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(multi.buffer, std::string("a\0b\0\0#", 6));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TYPED_TEST(RegistryTest, AMissingKeyIsNotOpened) {
  this->SetRegistry("[Software\\\\Other]\n\"v\"=\"x\"\n");
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVOX", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TYPED_TEST(RegistryTest, AMissingOrMalformedFileIsAnEmptyRegistry) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVOX", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  this->SetRegistryFile("REGEDIT4\n\n[Software\\\\TAVOX]\n\"v\"=\"x\"\n");
  this->world_.Start();
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVOX", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TYPED_TEST(RegistryTest, A64BitPrefixIsReadThroughWow6432Node) {
  this->SetRegistryFile(std::string(kHeader) +
                        "\n#arch=win64\n\n[Software\\\\TAVOX]\n\"v\"=\"64\"\n"
                        "[Software\\\\Wow6432Node\\\\TAVOX]\n\"v\"=\"32\"\n");
  const HKEY key = this->OpenTavox();
  EXPECT_EQ(std::string(QueryValue(key, "v").buffer.c_str()), "32");
  HKEY wide = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\TAVOX", 0, KEY_READ | KEY_WOW64_64KEY, &wide),
      ERROR_SUCCESS);
  EXPECT_EQ(std::string(QueryValue(wide, "v").buffer.c_str()), "64");
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\", 0, KEY_READ, &software), ERROR_SUCCESS);
  HKEY below = nullptr;
  ASSERT_EQ(RegOpenKeyExA(software, "tavox", 0, KEY_READ, &below), ERROR_SUCCESS);
  EXPECT_EQ(std::string(QueryValue(below, "v").buffer.c_str()), "32");
  for (HKEY open : {key, wide, software, below}) EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
}

TYPED_TEST(RegistryTest, KeyPathsAndHandles) {
  this->SetRegistry(kTavox + "@=\"default\"\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\TAVOX", 0, KEY_READ, &key),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\tavox\\\\", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(QueryValue(key, nullptr).buffer.c_str()), "default");
  EXPECT_EQ(std::string(QueryValue(key, "").buffer.c_str()), "default");
  HKEY same = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &same), ERROR_SUCCESS);
  EXPECT_NE(same, key);
  HKEY root = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &root), ERROR_SUCCESS);
  EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(same), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(QueryValue(key, "").status, ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TYPED_TEST(RegistryTest, OtherRootsHoldNothingAndStrangeHandlesAreInvalid) {
  this->SetRegistry(kTavox + "\"v\"=\"x\"\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\TAVOX", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QueryValue(HKEY_USERS, "v").status, ERROR_FILE_NOT_FOUND);
  const HKEY strange = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234567));
  EXPECT_EQ(RegOpenKeyExA(strange, "SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(QueryValue(strange, "v").status, ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(strange), ERROR_INVALID_HANDLE);
}

TEST(RegistryFake, ReadsTheHiveOncePerMachineAndForgetsHandlesOfAnEarlierOne) {
  FakeMachine first;
  first.SetRegistryText(std::string(kHeader) + kTavox + "\"v\"=\"first\"\n");
  HKEY key = nullptr;
  {
    ScopedMachine scoped(first);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVOX", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(QueryValue(key, "v").buffer.c_str()), "first");
    EXPECT_EQ(QueryValue(key, "v").status, ERROR_SUCCESS);
    EXPECT_EQ(first.CallsOf("ReadRegistryText").size(), 1u);
  }
  FakeMachine second;
  second.SetRegistryText(std::string(kHeader) + kTavox + "\"v\"=\"second\"\n");
  ScopedMachine scoped(second);
  EXPECT_EQ(QueryValue(key, "v").status, ERROR_INVALID_HANDLE);
  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVOX", 0, KEY_READ, &again),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(QueryValue(again, "v").buffer.c_str()), "second");
  EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
}

}  // namespace
}  // namespace tvx::testing
