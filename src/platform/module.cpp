// The running module: its handle, its string table and the version of the system it runs on.
//
// Choices where the real platform's behaviour is not known or cannot apply here:
// - This platform runs one module, the program itself. GetModuleHandleA(NULL) gives the handle
//   that stands for it; a name gives the same handle when it names the program's file (as the real
//   call does: ".dll" is the default extension, a trailing "." means none), else NULL.
// - LoadStringA accepts NULL and the program's handle as the module. A missing row, or one whose
//   text is empty (a string table holds no empty rows), gives 0 and an empty buffer.
// - GetVersion reports Windows 7 with Service Pack 1 (6.1, build 7601), a system of the NT family
//   (high bit clear): of version 4 or later, so a program asking for "new shell" behaviour gets it.
#include <algorithm>
#include <string>
#include <string_view>

#include "platform/base/codepage.h"
#include "platform/handles.h"
#include "platform/machine.h"
#include "platform/resources.h"
#include "platform/windows.h"

namespace tvx {
namespace {

constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorResourceNameNotFound = 1814;

// Registered during static initialisation, so plain constant-initialised values: they are set
// before any constructor runs that might register a table.
constinit const StringResource* g_rows = nullptr;
constinit size_t g_count = 0;

const char* FindRow(unsigned int id) {
  for (size_t i = 0; i < g_count; ++i) {
    if (g_rows[i].id == id) return g_rows[i].text;
  }
  return nullptr;
}

std::string_view LastName(std::string_view path) {
  const size_t slash = path.find_last_of("\\/:");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The module name as the real call completes it: ".dll" when it has no extension, and a trailing
// "." only marks a name without one.
std::string CompleteModuleName(std::string_view name) {
  std::string full(name);
  if (LastName(full).find('.') == std::string_view::npos) return full + ".dll";
  if (full.back() == '.') full.pop_back();
  return full;
}

bool NamesRunningModule(std::string_view name) {
  const std::string file = CurrentMachine().ModuleFileName();
  const std::string full = CompleteModuleName(name);
  if (LastName(full).size() != full.size()) return cp1252::EqualsIgnoringCase(full, file);
  return cp1252::EqualsIgnoringCase(full, LastName(file));
}

}  // namespace

void RegisterStringTable(const StringResource* rows, size_t count) {
  g_rows = rows;
  g_count = rows != nullptr ? count : 0;
}

}  // namespace tvx

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName == nullptr || tvx::NamesRunningModule(lpModuleName))
    return tvx::platform::RunningModule();
  SetLastError(tvx::kErrorModNotFound);
  return nullptr;
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (hInstance != nullptr && hInstance != tvx::platform::RunningModule()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
  // Resource identifiers are 16-bit numbers; the real call ignores the rest.
  const char* text = tvx::FindRow(uID & 0xFFFF);
  const std::string_view row = text != nullptr ? text : "";
  const size_t copied = std::min(row.size(), static_cast<size_t>(cchBufferMax) - 1);
  row.copy(lpBuffer, copied);
  lpBuffer[copied] = '\0';
  if (row.empty()) SetLastError(tvx::kErrorResourceNameNotFound);
  return static_cast<int>(copied);
}

DWORD WINAPI GetVersion() {
  constexpr DWORD kMajor = 6;
  constexpr DWORD kMinor = 1;
  constexpr DWORD kBuild = 7601;
  return kMajor | (kMinor << 8) | (kBuild << 16);
}
