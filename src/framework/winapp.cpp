// The application object and the framework's start-up and exit around InitInstance.

#include "framework/winapp.h"

namespace {

// The one application object. Its constructor runs during static initialisation, before the
// framework's main looks for it.
CWinApp* g_app = nullptr;

bool EndsDirectory(char ch) {
  return ch == '\\' || ch == '/' || ch == ':';
}

// The executable's name: its file name without the directory and without the extension.
CString ExecutableName(const char* module_file_name) {
  CString path(module_file_name);
  int start = 0;
  for (int i = 0; i < path.GetLength(); ++i) {
    if (EndsDirectory(path[i])) start = i + 1;
  }
  CString file_name = path.Mid(start);
  for (int i = file_name.GetLength() - 1; i >= 0; --i) {
    if (file_name[i] == '.') return file_name.Left(i);
  }
  return file_name;
}

CString ModuleFileName(HINSTANCE instance) {
  CString name;
  DWORD length = GetModuleFileNameA(instance, name.GetBuffer(MAX_PATH), MAX_PATH);
  name.ReleaseBuffer(length < MAX_PATH ? static_cast<int>(length) : MAX_PATH - 1);
  return name;
}

}  // namespace

CWinApp::CWinApp(LPCTSTR app_name) {
  if (app_name != nullptr) {
    m_strAppName = app_name;
    m_pszAppName = m_strAppName;
  }
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() {
  return g_app;
}

HINSTANCE AfxGetInstanceHandle() {
  return g_app != nullptr ? g_app->m_hInstance : GetModuleHandleA(nullptr);
}

// The program's resources are in its own executable.
HINSTANCE AfxGetResourceHandle() {
  return AfxGetInstanceHandle();
}

void CWinApp::InitApplication(HINSTANCE instance) {
  // Before anything touches a file: no critical-error box and no file-not-found box, for this
  // process and for the programs it starts.
  (void)SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  m_hInstance = instance;

  m_strExeName = ExecutableName(ModuleFileName(instance));
  m_pszExeName = m_strExeName;

  if (m_pszAppName == nullptr) {
    CString title;
    if (!title.LoadString(AFX_IDS_APP_TITLE) || title.IsEmpty()) title = m_strExeName;
    m_strAppName = title;
    m_pszAppName = m_strAppName;
  }

  m_strProfileName = m_strExeName + ".INI";
  m_pszProfileName = m_strProfileName;
}

BOOL CWinApp::InitInstance() {
  return TRUE;
}

int CWinApp::Run() {
  // With no window there is no message to wait for: the program has ended.
  return ExitInstance();
}

int CWinApp::ExitInstance() {
  SaveStdProfileSettings();
  return 0;
}

int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPTSTR command_line, int show) {
  // The program looks at no argument and opens no window.
  (void)previous;
  (void)command_line;
  (void)show;
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  app->InitApplication(instance);
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
