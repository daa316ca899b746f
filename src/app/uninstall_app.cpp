#include "app/uninstall_app.h"

#include <cstring>

#include "res/resource.h"

namespace {

// Each product setting is read into one path buffer.
constexpr DWORD kValueBufferSize = MAX_PATH;
// The framework's recent-file list is asked for four entries, as the framework's wizard sets it.
constexpr UINT kRecentFileCount = 4;
constexpr char kBackslash[] = "\\";

bool IsEmptyText(LPCTSTR text) {
  return crt::_mbscmp(reinterpret_cast<const unsigned char*>(text),
                      reinterpret_cast<const unsigned char*>("")) == 0;
}

// The sweeps act on the directory that the drive letter and the rest of the path name together,
// so "C:", "C:\.", "C:\TAVOX\.." and a folder that is itself a drive's root on the host all mean a
// whole disk. Such a value is taken as no product directory at all.
bool NamesDriveRoot(const CString& dir) {
  char szFull[MAX_PATH];
  const DWORD nFull = GetFullPathNameA(dir + kBackslash, MAX_PATH, szFull, nullptr);
  if (nFull == 0 || nFull >= MAX_PATH) return false;
  char szVolume[MAX_PATH];
  if (!GetVolumePathNameA(szFull, szVolume, MAX_PATH)) return false;
  return crt::_mbsicmp(reinterpret_cast<const unsigned char*>(szFull),
                       reinterpret_cast<const unsigned char*>(szVolume)) == 0;
}

// "C:TAVOX" names a directory relative to drive C's current one, which the sweep itself moves
// while it works: its entry paths would then name files outside the directory it listed.
bool IsDriveRelative(const CString& dir) {
  return dir.GetLength() >= 2 && dir[1] == ':' &&
         (dir.GetLength() == 2 || (dir[2] != '\\' && dir[2] != '/'));
}

bool IsProductDirectory(const CString& dir) {
  return !IsEmptyText(dir) && !IsDriveRelative(dir) && !NamesDriveRoot(dir);
}

// A registry value counts only as text that ends inside the buffer. Data of another type may come
// without a terminating zero: it is ended where its bytes end, and data that fills the whole
// buffer without one is taken as absent rather than read past its end.
bool TerminateValue(LPTSTR buffer, DWORD size, DWORD data_size) {
  if (std::memchr(buffer, '\0', data_size) != nullptr) return true;
  if (data_size >= size) return false;
  buffer[data_size] = '\0';
  return true;
}

}  // namespace

CUninstallApp::CUninstallApp() : CWinApp(/*app_name=*/nullptr) {}

CUninstallApp::~CUninstallApp() = default;

BOOL CUninstallApp::InitInstance() {
  (void)Enable3dControlsStatic();
  LoadStdProfileSettings(kRecentFileCount);

  CString strSection;
  CString strDirectoryKey;
  CString strDefault;
  CString strProfileFile;
  CString strCommandKey;
  char szValue[kValueBufferSize];
  (void)strSection.LoadString(IDS_SECTION);
  (void)strDirectoryKey.LoadString(IDS_DIRECTORY_KEY);
  (void)strDefault.LoadString(IDS_DEFAULT_DIRECTORY);
  (void)strProfileFile.LoadString(IDS_PROFILE_FILE);

  (void)ReadSetting(strSection, strDirectoryKey, strDefault, szValue, kValueBufferSize,
                    strProfileFile);
  m_strInstallDir = szValue;
  if (m_strInstallDir.Right(1) == kBackslash) {
    m_strInstallDir = m_strInstallDir.Left(m_strInstallDir.GetLength() - 1);
  }

  if (AfxMessageBox(IDS_CONFIRM_PROMPT, MB_YESNO) != IDYES) return FALSE;

  (void)strCommandKey.LoadString(IDS_COMMAND_KEY);
  strDefault = "";
  (void)ReadSetting(strSection, strCommandKey, strDefault, szValue, kValueBufferSize,
                    strProfileFile);
  m_strUninstallCmd = szValue;

  if (IsProductDirectory(m_strInstallDir)) {
    SweepDirectory(m_strInstallDir, m_strUninstallCmd, SWEEP_SELECTIVE);
  }
  if (!IsEmptyText(m_strUninstallCmd)) {
    (void)RunUninstaller(m_strUninstallCmd, /*arguments=*/CString());
  }
  if (IsProductDirectory(m_strInstallDir)) {
    SweepDirectory(m_strInstallDir, m_strUninstallCmd, SWEEP_ALL);
    (void)crt::_rmdir(m_strInstallDir);
  }
  return FALSE;
}

int CUninstallApp::ReadSetting(LPCTSTR section, LPCTSTR key, LPCTSTR default_value, LPTSTR buffer,
                               DWORD size, LPCTSTR file) {
  CString strKeyPath;
  CString strInfoSection;
  (void)strKeyPath.LoadString(IDS_REGISTRY_KEY);
  (void)strInfoSection.LoadString(IDS_SECTION);
  if (crt::_mbscmp(reinterpret_cast<const unsigned char*>(section),
                   reinterpret_cast<const unsigned char*>(static_cast<LPCTSTR>(strInfoSection))) !=
      0) {
    strKeyPath += CString(kBackslash) + section;
  }

  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKeyPath, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
    DWORD dwType = REG_SZ;
    DWORD dwSize = size;
    const LSTATUS lResult =
        RegQueryValueExA(hKey, key, nullptr, &dwType, reinterpret_cast<LPBYTE>(buffer), &dwSize);
    const bool bFound =
        lResult == ERROR_SUCCESS && TerminateValue(buffer, size, dwSize) && buffer[0] != '\0';
    (void)RegCloseKey(hKey);
    if (bFound) return static_cast<int>(std::strlen(buffer));
  }
  return static_cast<int>(
      GetPrivateProfileStringA(section, key, default_value, buffer, size, file));
}
