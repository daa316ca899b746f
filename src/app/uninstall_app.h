// The uninstaller's application object. Its start-up routine runs the whole uninstall in one pass:
// find the product directory, ask once, clear the directory selectively, run the setup program's
// own uninstaller, then delete what is left and the directory itself.
#pragma once

#include "framework/afx.h"

/// How a sweep treats the entries it finds. Only SWEEP_ALL is tested for; any other value
/// behaves as SWEEP_SELECTIVE.
#define SWEEP_SELECTIVE 0
#define SWEEP_ALL 1

class CUninstallApp : public CWinApp {
 public:
  CUninstallApp();
  ~CUninstallApp() override;

  /// Runs the uninstall and returns FALSE, so that the framework opens no window.
  BOOL InitInstance() override;

  /// Looks `key` up in HKEY_LOCAL_MACHINE\SOFTWARE\TAVOX, else in section `section` of profile
  /// `file`, else takes `default_value`. Returns the characters placed in `buffer`.
  int ReadSetting(LPCTSTR section, LPCTSTR key, LPCTSTR default_value, LPTSTR buffer, DWORD size,
                  LPCTSTR file);

  /// Deletes what lies in the directory `path` (not the directory itself), keeping the uninstall
  /// program's files unless `mode` is SWEEP_ALL. Current drive and directory are restored.
  void SweepDirectory(const CString& path, const CString& command, int mode);
  /// Deletes the entries of `path`, which lies on the current drive. Always returns 1.
  int SweepEntries(const CString& path, const CString& command, int mode);
  /// Makes `directory` current and fills `names` with its entries, upper-cased, on the heap.
  /// 0 when the directory cannot be made current, otherwise 1.
  int ListDirectory(LPCTSTR pattern, const CString& directory, CPtrList* names);

  /// Starts `command` (with `arguments` appended after one blank when not empty) and waits up to
  /// 24 x 5000 ms for it to end. TRUE when it was seen to end; FALSE, after one beep, otherwise.
  BOOL RunUninstaller(const CString& command, CString arguments);

  CString m_strInstallDir;
  CString m_strUninstallCmd;
};
