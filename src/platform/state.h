// What the platform keeps above the seam, shared by its files: path resolution against the
// current drive and directory, and the Windows directory.
#pragma once

#include <string>

#include "platform/machine.h"

namespace tvx::platform {

/// Resolves a Windows path as the system does for a file name: "X:\a", "X:rel" (against drive
/// X's recorded directory), "\a" (on the current drive), "rel", "\\server\share\a"; "/" counts as
/// "\", "." and ".." are applied, trailing dots and blanks of a name are dropped. Fails with
/// ERROR_PATH_NOT_FOUND for an empty or malformed path, ERROR_INVALID_NAME for a name holding a
/// wildcard or a character no name may hold, ERROR_FILENAME_EXCED_RANGE when the result needs
/// MAX_PATH characters or more.
Win32Error ResolvePath(const std::string& path, MachinePath* out);

/// The current directory (absolute).
MachinePath CurrentDirectory();

/// Makes `dir` current and, for a path on a drive, its drive's recorded directory too when
/// `record` is set (as the run-time's _chdir does; SetCurrentDirectoryA does not record).
void SetCurrentDirectoryState(const MachinePath& dir, bool record);

/// The recorded directory of drive `letter`, or its root when none was recorded.
MachinePath DriveDirectory(char letter);

/// C:\windows.
MachinePath WindowsDirectory();

}  // namespace tvx::platform
