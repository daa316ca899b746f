// Starts the setup program's own uninstaller and waits a bounded time for it to end.
#include <cstring>

#include "app/uninstall_app.h"

namespace {

constexpr char kArgumentSeparator[] = " ";
// The command line travels in a buffer of its own, zero included; a longer one is not started.
constexpr int kCommandLineSize = 256;
// The start-up record's size on the 32-bit platform this program was written for.
constexpr DWORD kStartupRecordSize = 68;
constexpr int kMostWaits = 24;
constexpr DWORD kWaitMilliseconds = 5000;

STARTUPINFOA MakeStartupInfo() {
  STARTUPINFOA si;
  std::memset(&si, 0, sizeof(si));
  si.cb = kStartupRecordSize;
  si.wShowWindow = SW_SHOW;  // carried, but not in force: dwFlags stays 0
  return si;
}

// Waits for the process until it is seen to end or the waits are spent; returns its exit code,
// STILL_ACTIVE when it was not seen to end.
DWORD WaitForExit(HANDLE hProcess) {
  DWORD dwExitCode = STILL_ACTIVE;
  for (int nWaits = 0; nWaits < kMostWaits;) {
    (void)WaitForSingleObject(hProcess, kWaitMilliseconds);
    if (!GetExitCodeProcess(hProcess, &dwExitCode)) return STILL_ACTIVE;
    ++nWaits;
    if (dwExitCode != STILL_ACTIVE) break;
  }
  return dwExitCode;
}

BOOL FailedStart() {
  (void)MessageBeep(MB_OK);
  return FALSE;
}

}  // namespace

BOOL CUninstallApp::RunUninstaller(const CString& command, CString arguments) {
  CString strCommandLine = command;
  if (!arguments.IsEmpty()) strCommandLine += kArgumentSeparator + arguments;

  char szCommandLine[kCommandLineSize];
  if (strCommandLine.GetLength() >= kCommandLineSize) return FailedStart();
  std::memcpy(szCommandLine, static_cast<LPCTSTR>(strCommandLine), strCommandLine.GetLength() + 1);

  STARTUPINFOA si = MakeStartupInfo();
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof(pi));
  if (!CreateProcessA(/*lpApplicationName=*/nullptr, szCommandLine, nullptr, nullptr,
                      /*bInheritHandles=*/FALSE, /*dwCreationFlags=*/0, /*lpEnvironment=*/nullptr,
                      /*lpCurrentDirectory=*/nullptr, &si, &pi)) {
    return FailedStart();
  }

  const DWORD dwExitCode = WaitForExit(pi.hProcess);
  (void)CloseHandle(pi.hThread);
  (void)CloseHandle(pi.hProcess);
  if (dwExitCode != STILL_ACTIVE) return TRUE;
  return FailedStart();
}
