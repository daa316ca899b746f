// RegOpenKeyExA, RegQueryValueExA and RegCloseKey over the machine's HKEY_LOCAL_MACHINE hive. The
// hive is read from the machine on the first call after the machine changes and is never written.
// The other predefined roots stand for hives this machine does not have: every key and value
// below them is missing (ERROR_FILE_NOT_FOUND). A handle that is neither a predefined root nor
// an open key gives ERROR_INVALID_HANDLE. These calls return their error and leave the last
// error alone.
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/base/codepage.h"
#include "platform/machine.h"
#include "platform/registry_format.h"
#include "platform/windows.h"

namespace {

using tvx::registry::Hive;

// Open keys get multiples of four from here on, far from the predefined roots; numbers are never
// reused, so a handle of an earlier machine never names a key of the current one.
constexpr uintptr_t kFirstHandle = 0x1000;

struct Registry {
  uint64_t generation = 0;
  bool loaded = false;
  Hive hive;
  std::map<uintptr_t, Hive::KeyId> open;
  uintptr_t next = kFirstHandle;
};

std::mutex g_mutex;

// The registry of the current machine (the caller holds g_mutex). It lives until the process
// ends, so that exit-time code may still close its keys.
Registry& Current() {
  static Registry* registry = new Registry;
  const uint64_t generation = tvx::MachineGeneration();
  if (!registry->loaded || registry->generation != generation) {
    std::string text;
    const bool found = tvx::CurrentMachine().ReadRegistryText(&text);
    registry->hive = found ? Hive::Parse(std::move(text)) : Hive();
    registry->open.clear();
    registry->generation = generation;
    registry->loaded = true;
  }
  return *registry;
}

uintptr_t Number(HKEY key) {
  return reinterpret_cast<uintptr_t>(key);
}

bool IsPredefined(HKEY key) {
  return Number(key) >= Number(HKEY_CLASSES_ROOT) &&
         Number(key) < Number(HKEY_CLASSES_ROOT) + 0x100;
}

// The key behind a handle: HKEY_LOCAL_MACHINE is the hive's root.
LSTATUS Resolve(const Registry& registry, HKEY key, Hive::KeyId* id) {
  if (key == HKEY_LOCAL_MACHINE) {
    *id = Hive::kRoot;
    return ERROR_SUCCESS;
  }
  if (IsPredefined(key)) return ERROR_FILE_NOT_FOUND;
  const auto open = registry.open.find(Number(key));
  if (open == registry.open.end()) return ERROR_INVALID_HANDLE;
  *id = open->second;
  return ERROR_SUCCESS;
}

std::u16string Widen(LPCSTR text) {
  std::u16string out;
  for (; text != nullptr && *text != '\0'; ++text) {
    out.push_back(tvx::cp1252::ToUnicode(static_cast<unsigned char>(*text)));
  }
  return out;
}

bool IsString(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// What the ANSI call hands out: strings converted from UTF-16 (an odd last byte dropped) to code
// page 1252, "?" for what it lacks; every other type as stored.
std::string AnsiData(const tvx::registry::Value& value) {
  if (!IsString(value.type)) return value.data;
  std::u16string units;
  for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(value.data[i]) |
                                          (static_cast<unsigned char>(value.data[i + 1]) << 8)));
  }
  return tvx::cp1252::FromUtf16(units);
}

// Copies a found value into a buffer of *size bytes. A string stored without its zero gets one
// after the data when the buffer has room; it is not counted.
LSTATUS CopyData(DWORD type, const std::string& bytes, LPBYTE data, LPDWORD size) {
  const DWORD needed = static_cast<DWORD>(bytes.size());
  if (data != nullptr) {
    if (needed > *size) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    const bool unterminated = bytes.empty() || bytes.back() != '\0';
    if (IsString(type) && unterminated && needed < *size) data[needed] = 0;
  }
  if (size != nullptr) *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
  (void)ulOptions;
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  Registry& registry = Current();
  Hive::KeyId from = Hive::kRoot;
  const LSTATUS status = Resolve(registry, hKey, &from);
  if (status != ERROR_SUCCESS) return status;
  if (lpSubKey != nullptr && lpSubKey[0] == '\\') return ERROR_BAD_PATHNAME;
  if ((lpSubKey == nullptr || lpSubKey[0] == '\0') && IsPredefined(hKey)) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  std::u16string path = Widen(lpSubKey);
  // This is a 32-bit program: in a 64-bit hive it sees Software through Wow6432Node, unless it
  // asks for the 64-bit view.
  const bool view64 = (samDesired & KEY_WOW64_64KEY) != 0;
  if (hKey == HKEY_LOCAL_MACHINE && registry.hive.win64() && !view64) {
    path = tvx::registry::RedirectFor32Bit(path);
  }
  const std::optional<Hive::KeyId> key = registry.hive.Find(from, path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  const uintptr_t handle = registry.next;
  registry.next += 4;
  registry.open.emplace(handle, *key);
  *phkResult = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  const Registry& registry = Current();
  Hive::KeyId key = Hive::kRoot;
  const LSTATUS status = Resolve(registry, hKey, &key);
  if (status == ERROR_INVALID_HANDLE) return status;
  const tvx::registry::Value* value =
      status == ERROR_SUCCESS ? registry.hive.FindValue(key, Widen(lpValueName)) : nullptr;
  if (value == nullptr) {
    // A size query for a missing value reports 0; a given buffer's size is left alone.
    if (lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
    return ERROR_FILE_NOT_FOUND;
  }
  if (lpType != nullptr) *lpType = value->type;
  return CopyData(value->type, AnsiData(*value), lpData, lpcbData);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(g_mutex);
  Registry& registry = Current();
  return registry.open.erase(Number(hKey)) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
