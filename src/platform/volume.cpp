// GetVolumePathNameA: the mount point a path lies under. A drive's root is one; so is a folder
// that the host machine shows as the root of another drive or as the host's own root.
#include <cstring>

#include "platform/state.h"
#include "platform/windows.h"

namespace {

// The deepest ancestor of `path` (itself included) that is a mount point.
tvx::MachinePath VolumeOf(tvx::MachinePath path) {
  tvx::Machine& machine = tvx::CurrentMachine();
  while (!path.IsRoot() && !machine.IsHostRoot(path)) path = path.Parent();
  return path;
}

}  // namespace

BOOL WINAPI GetVolumePathNameA(LPCSTR lpszFileName, LPSTR lpszVolumePathName,
                               DWORD cchBufferLength) {
  if (lpszFileName == nullptr || lpszVolumePathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  tvx::MachinePath path;
  const tvx::Win32Error error = tvx::platform::ResolvePath(lpszFileName, &path);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  std::string volume = tvx::ToString(VolumeOf(path));
  if (volume.empty() || volume.back() != '\\') volume += '\\';
  if (volume.size() + 1 > cchBufferLength) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  std::memcpy(lpszVolumePathName, volume.c_str(), volume.size() + 1);
  return TRUE;
}
