// The one translation of host errno values into Win32 error codes.
#pragma once

#include "platform/machine.h"

namespace tvx::host {

/// The Win32 error for an errno value (0 for 0).
Win32Error ErrorFromErrno(int error);

/// The error for a directory on the way to a path that could not be entered: a missing name,
/// a file or a link there all read as ERROR_PATH_NOT_FOUND.
Win32Error PathErrorFromErrno(int error);

}  // namespace tvx::host
