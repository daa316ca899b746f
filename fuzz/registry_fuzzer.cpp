// The system.reg reader on any bytes: the parser itself, the lookups the registry calls make, and
// the values read the way the program reads them, into buffers of exactly the size given, so that
// the address sanitizer sees any byte written past one.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_machine.h"
#include "platform/registry_format.h"
#include "platform/windows.h"

namespace {

using tvx::registry::Hive;

void LookUpInTheHive(const Hive& hive) {
  for (const std::u16string_view path :
       {u"", u"Software", u"Software\\TAVOX", u"SOFTWARE\\tavox\\", u"Software\\Wow6432Node\\TAVOX",
        u"K", u"\\\\", u"Software\\TAVOX\\TAVOX_INFO"}) {
    const auto key = hive.Find(Hive::kRoot, path);
    if (!key) continue;
    for (const std::u16string_view name : {u"", u"TavoxDirectory", u"UninstallString", u"v"}) {
      if (const tvx::registry::Value* value = hive.FindValue(*key, name)) {
        (void)value->data.size();
      }
    }
    (void)tvx::registry::RedirectFor32Bit(path);
  }
}

// One value read into a heap buffer of `capacity` bytes, checking what the call promises.
void Query(HKEY key, const char* name, DWORD capacity) {
  std::unique_ptr<BYTE[]> buffer(new BYTE[capacity == 0 ? 1 : capacity]);
  BYTE* data = capacity == 0 ? nullptr : buffer.get();
  DWORD type = REG_SZ;
  DWORD size = capacity;
  const LSTATUS result = RegQueryValueExA(key, name, nullptr, &type, data, &size);
  if (result == ERROR_SUCCESS && data != nullptr) TVX_FUZZ_CHECK(size <= capacity);
  if (result == ERROR_MORE_DATA) TVX_FUZZ_CHECK(size > capacity);
}

void ReadAsTheProgramDoes(const std::string& text) {
  tvx::fuzz::FuzzMachine machine;
  machine.registry = text;
  const tvx::ScopedMachine scope(machine);
  for (const char* path : {"SOFTWARE\\TAVOX", "Software\\TAVOX\\TAVOX_INFO", "K", "", "\\"}) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    for (const char* name : {"TavoxDirectory", "UninstallString", "v", ""}) {
      for (const DWORD capacity : {0u, 1u, 2u, 4u, 259u, 260u}) Query(key, name, capacity);
    }
    TVX_FUZZ_CHECK(RegCloseKey(key) == ERROR_SUCCESS);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  LookUpInTheHive(Hive::Parse(text));
  ReadAsTheProgramDoes(text);
  return 0;
}
