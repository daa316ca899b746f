// The current directory, file deletion, directory removal and the path queries. Every call
// resolves its name above the machine (state.h) and sets the last error on each failure.
#include <cstring>

#include "platform/state.h"
#include "platform/windows.h"

namespace tvx::platform {
namespace {

BOOL Fail(Win32Error error) {
  SetLastError(error);
  return FALSE;
}

// Copies `text` with its zero when it fits in `size` bytes: its length then, else the size it
// needs with the zero (the buffer untouched), as the platform's path queries do.
DWORD CopyIfFits(const std::string& text, char* buffer, DWORD size) {
  if (buffer == nullptr || size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

// Whether `dir` is a directory that can be made current: an existing drive's root, or a real
// directory (never a link).
Win32Error CheckDirectory(const MachinePath& dir) {
  Machine& machine = CurrentMachine();
  if (dir.drive != 0 && dir.IsRoot()) {
    return machine.HasDrive(dir.drive) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
  }
  EntryInfo info;
  if (Win32Error error = machine.Stat(dir, &info)) return error;
  return info.directory && !info.link ? ERROR_SUCCESS : ERROR_DIRECTORY;
}

// True when `path` is the current directory or one above it. The real platform holds the current
// directory open and refuses to remove it; one above it is refused the same way here, before the
// machine is asked, so that no removal can ever leave the process in a directory gone.
bool HoldsCurrentDirectory(const MachinePath& path) {
  MachinePath current = CurrentDirectory();
  if (current.names.size() < path.names.size()) return false;
  current.names.resize(path.names.size());
  return current == path;
}

}  // namespace

}  // namespace tvx::platform

using namespace tvx;
using namespace tvx::platform;

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  return CopyIfFits(ToString(CurrentDirectory()), lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  if (lpPathName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  MachinePath dir;
  if (Win32Error error = ResolvePath(lpPathName, &dir)) return Fail(error);
  if (Win32Error error = CheckDirectory(dir)) return Fail(error);
  // Only the run-time's _chdir records a drive's directory; this call never does.
  SetCurrentDirectoryState(dir, /*record=*/false);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_PATH_NOT_FOUND);
  MachinePath path;
  if (Win32Error error = ResolvePath(lpFileName, &path)) return Fail(error);
  if (path.IsRoot()) return Fail(ERROR_ACCESS_DENIED);
  if (Win32Error error = CurrentMachine().DeleteFile(path)) return Fail(error);
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  if (lpPathName == nullptr) return Fail(ERROR_PATH_NOT_FOUND);
  MachinePath path;
  if (Win32Error error = ResolvePath(lpPathName, &path)) return Fail(error);
  if (path.IsRoot()) return Fail(ERROR_ACCESS_DENIED);
  if (HoldsCurrentDirectory(path)) return Fail(ERROR_SHARING_VIOLATION);
  if (Win32Error error = CurrentMachine().RemoveDirectory(path)) return Fail(error);
  return TRUE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return CopyIfFits(ToString(WindowsDirectory()), lpBuffer, uSize);
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  MachinePath path;
  if (Win32Error error = ResolvePath(lpFileName, &path)) return Fail(error);
  std::string full = ToString(path);
  // A name that ends in a separator keeps it, and has no file part.
  const char last = lpFileName[std::strlen(lpFileName) - 1];
  const bool trailing = last == '\\' || last == '/';
  if (trailing && !path.IsRoot()) full += '\\';
  const DWORD result = CopyIfFits(full, lpBuffer, nBufferLength);
  if (lpFilePart != nullptr && result == full.size()) {
    *lpFilePart =
        path.IsRoot() || trailing ? nullptr : lpBuffer + full.size() - path.names.back().size();
  }
  return result;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  // The process has one module, the executable, whatever handle names it.
  (void)hModule;
  const std::string name = CurrentMachine().ModuleFileName();
  if (lpFilename == nullptr || nSize == 0) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (name.size() < nSize) {
    std::memcpy(lpFilename, name.c_str(), name.size() + 1);
    return static_cast<DWORD>(name.size());
  }
  // Too small: as much as fits with a zero, and the buffer's size as the result.
  std::memcpy(lpFilename, name.data(), nSize - 1);
  lpFilename[nSize - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return nSize;
}
