#include "platform/host/errors.h"

#include <cerrno>

#include "platform/windows.h"

namespace tvx::host {
namespace {

struct ErrnoMapping {
  int error;
  Win32Error win32;
};

// Errors no entry names fall back to ERROR_ACCESS_DENIED: the operation could not be done, and
// every caller treats that as a plain failure.
constexpr ErrnoMapping kErrnoTable[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_PATH_NOT_FOUND},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EAGAIN, ERROR_NOT_ENOUGH_MEMORY},
    {EIO, ERROR_WRITE_FAULT},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
    {E2BIG, ERROR_INVALID_PARAMETER},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENXIO, ERROR_NOT_READY},
    {ENODEV, ERROR_NOT_READY},
};

}  // namespace

Win32Error ErrorFromErrno(int error) {
  if (error == 0) return ERROR_SUCCESS;
  for (const ErrnoMapping& mapping : kErrnoTable) {
    if (mapping.error == error) return mapping.win32;
  }
  return ERROR_ACCESS_DENIED;
}

Win32Error PathErrorFromErrno(int error) {
  const Win32Error win32 = ErrorFromErrno(error);
  return win32 == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : win32;
}

}  // namespace tvx::host
