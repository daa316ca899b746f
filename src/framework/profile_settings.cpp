// The framework's standard settings: the recent-file list and the number of preview pages, kept
// in the application's own settings file. The application names no registry key, so both live
// in the profile file m_pszProfileName, which the platform keeps in the Windows directory.
//
// They are written back only when they were loaded: a program that never calls
// LoadStdProfileSettings leaves its settings file alone, except for a preview-page count it set
// itself.

#include <cstdio>

#include "framework/winapp.h"

namespace {

constexpr char kRecentFileSection[] = "Recent File List";
constexpr char kRecentFileEntry[] = "File%d";
constexpr char kPreviewSection[] = "Settings";
constexpr char kPreviewEntry[] = "PreviewPages";
// The recent-file list holds at most as many entries as m_strRecentFiles has room for.
constexpr UINT kMaxRecentFiles = sizeof(CWinApp::m_strRecentFiles) / sizeof(CString);
// The first buffer a settings value is read into; longer values make it grow.
constexpr int kFirstValueBuffer = 256;
constexpr int kLastValueBuffer = 1 << 20;

// `format` (holding one "%d") with `value`.
CString FormatNumber(const char* format, int value) {
  char text[32];
  int length = std::snprintf(text, sizeof(text), format, value);
  return CString(text, length < 0 ? 0 : length);
}

// The key of the recent-file list's entry at `index` (from 0): File1, File2...
CString RecentFileKey(UINT index) {
  return FormatNumber(kRecentFileEntry, static_cast<int>(index + 1));
}

// A value of any length: the platform cuts a value to the buffer, so a value that fills it is
// read again with twice the room.
CString ReadProfileText(LPCTSTR section, LPCTSTR key, LPCTSTR file) {
  CString value;
  for (int size = kFirstValueBuffer;; size *= 2) {
    DWORD copied = GetPrivateProfileStringA(section, key, "", value.GetBuffer(size - 1),
                                            static_cast<DWORD>(size), file);
    if (copied < static_cast<DWORD>(size - 1) || size >= kLastValueBuffer) {
      value.ReleaseBuffer(static_cast<int>(copied));
      return value;
    }
  }
}

}  // namespace

void CWinApp::LoadStdProfileSettings(UINT max_mru) {
  m_nMaxMRU = max_mru < kMaxRecentFiles ? max_mru : kMaxRecentFiles;
  for (UINT i = 0; i < m_nMaxMRU; ++i) {
    m_strRecentFiles[i] = ReadProfileText(kRecentFileSection, RecentFileKey(i), m_pszProfileName);
  }
  m_nNumPreviewPages =
      GetPrivateProfileIntA(kPreviewSection, kPreviewEntry, /*nDefault=*/0, m_pszProfileName);
}

void CWinApp::SaveStdProfileSettings() {
  if (m_nMaxMRU > 0) {
    // Deleting the section first drops entries beyond the list's size and any stray key, so
    // the section holds exactly the list afterwards.
    (void)WritePrivateProfileStringA(kRecentFileSection, /*lpKeyName=*/nullptr,
                                     /*lpString=*/nullptr, m_pszProfileName);
    for (UINT i = 0; i < m_nMaxMRU; ++i) {
      if (m_strRecentFiles[i].IsEmpty()) continue;
      (void)WritePrivateProfileStringA(kRecentFileSection, RecentFileKey(i), m_strRecentFiles[i],
                                       m_pszProfileName);
    }
  }
  if (m_nNumPreviewPages != 0) {
    (void)WritePrivateProfileStringA(kPreviewSection, kPreviewEntry,
                                     FormatNumber("%d", static_cast<int>(m_nNumPreviewPages)),
                                     m_pszProfileName);
  }
}
