// The framework's message boxes and its 3-D control support.

#include "framework/winapp.h"

namespace {

// The platform version whose own controls already look three-dimensional.
constexpr DWORD kFirstVersionWith3dControls = 4;

DWORD MajorVersion(DWORD version) {
  return version & 0xFF;
}

}  // namespace

int CWinApp::DoMessageBox(LPCTSTR prompt, UINT type, UINT prompt_id) {
  // There is no help system, so the prompt's row names no help topic.
  (void)prompt_id;
  if ((type & MB_ICONMASK) == 0) type |= MB_ICONEXCLAMATION;
  // The main window would own the box; this program never opens one.
  HWND owner = static_cast<HWND>(m_pMainWnd);
  return MessageBoxA(owner, prompt, m_pszAppName, type);
}

int AfxMessageBox(LPCTSTR text, UINT type, UINT help_id) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return MessageBoxA(/*hWnd=*/nullptr, text, /*lpCaption=*/nullptr, type);
  return app->DoMessageBox(text, type, help_id);
}

int AfxMessageBox(UINT prompt_id, UINT type, UINT help_id) {
  CString prompt;
  (void)prompt.LoadString(prompt_id);
  if (help_id == static_cast<UINT>(-1)) help_id = prompt_id;
  return AfxMessageBox(prompt, type, help_id);
}

BOOL CWinApp::Enable3dControlsStatic() {
  // From version 4 on, the platform's own dialog and message boxes look three-dimensional and
  // there is nothing to register. Earlier versions would need the 3-D control library, which
  // this platform does not carry; it always reports version 4 or later.
  if (MajorVersion(GetVersion()) < kFirstVersionWith3dControls) return FALSE;
  return TRUE;
}
