#include "platform/windows.h"

namespace {

// Each thread has its own last error, as on the real platform.
thread_local DWORD g_last_error = ERROR_SUCCESS;

}  // namespace

DWORD WINAPI GetLastError() {
  return g_last_error;
}

void WINAPI SetLastError(DWORD dwErrCode) {
  g_last_error = dwErrCode;
}
