// The framework's application object, its start-up and exit around InitInstance and ExitInstance,
// and the calls programs make of it. The program defines one static object of a class derived
// from CWinApp; the framework's main finds it, starts it and ends the process with its exit code.
#pragma once

#include "framework/cstring.h"
#include "platform/windows.h"

/// The string-table row that holds the application title.
#define AFX_IDS_APP_TITLE 0xE000

class CWinApp {
 public:
  /// A null `app_name` makes the framework take the title from row AFX_IDS_APP_TITLE during
  /// start-up, or else the executable's name.
  explicit CWinApp(LPCTSTR app_name = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  /// The program's start-up routine; the framework's own returns TRUE.
  virtual BOOL InitInstance();
  /// Writes back the standard settings and returns the process exit code, 0.
  virtual int ExitInstance();
  /// Runs the message loop; this framework has no windows, so it returns ExitInstance().
  virtual int Run();
  /// Shows `prompt` with MessageBoxA: no owner, the title as caption, MB_ICONEXCLAMATION added
  /// when `type` names no icon. Returns the button pressed, or 0.
  virtual int DoMessageBox(LPCTSTR prompt, UINT type, UINT prompt_id);

  /// On a platform version below 4 would register the 3-D controls; on 4 and later does nothing.
  BOOL Enable3dControlsStatic();
  /// Reads the recent-file list of `max_mru` entries and "Settings"/"PreviewPages" from the
  /// settings file.
  void LoadStdProfileSettings(UINT max_mru = 4);
  /// Writes them back: section "Recent File List" deleted, then each non-empty entry written;
  /// "PreviewPages" written only when not 0.
  void SaveStdProfileSettings();

  LPCTSTR m_pszAppName = nullptr;      // the title
  LPCTSTR m_pszExeName = nullptr;      // the executable's name without directory and extension
  LPCTSTR m_pszProfileName = nullptr;  // the settings file: m_pszExeName + ".INI"
  LPCTSTR m_pszRegistryKey = nullptr;  // always null: settings live in the profile file
  HINSTANCE m_hInstance = nullptr;
  void* m_pMainWnd = nullptr;          // never set: the program opens no window
  UINT m_nNumPreviewPages = 0;
  UINT m_nMaxMRU = 0;
  CString m_strRecentFiles[16];  // File1..FileN of "Recent File List"

  /// The framework's start-up: error mode, names, title, settings file name. Cannot fail.
  void InitApplication(HINSTANCE instance);

 private:
  CString m_strAppName;
  CString m_strExeName;
  CString m_strProfileName;
};

/// The one application object, or null before it is constructed.
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

/// Loads row `prompt_id` and shows it through the application's DoMessageBox.
int AfxMessageBox(UINT prompt_id, UINT type = MB_OK, UINT help_id = static_cast<UINT>(-1));
int AfxMessageBox(LPCTSTR text, UINT type = MB_OK, UINT help_id = 0);

/// Runs the application object: start-up, InitInstance, then Run or ExitInstance. Returns the
/// process exit code.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPTSTR command_line, int show);

/// Ends the process for want of memory: one line on standard error, exit code 3.
[[noreturn]] void AfxThrowMemoryException();
