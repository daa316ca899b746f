// The directory sweep: lists one directory at a time through the process's current directory and
// deletes its entries depth first, keeping what the uninstall program still needs unless told to
// delete everything.
#include <memory>

#include "app/uninstall_app.h"

namespace {

constexpr char kPattern[] = "*.*";
constexpr char kSeparator[] = "\\";
constexpr char kKeptName[] = "SYSTEM";
constexpr char kCommandFilePrefix[] = "DEISL";
constexpr int kCommandTailLength = 10;
constexpr char kExecutablePrefix[] = "UNISTX";
constexpr char kExecutableSuffix[] = ".EXE";
constexpr int kDriveCharacters = 2;
constexpr int kSavedDirectorySize = 256;
constexpr INT_PTR kListBlockSize = 10;

const unsigned char* Bytes(LPCTSTR text) {
  return reinterpret_cast<const unsigned char*>(text);
}

bool Equals(const CString& a, LPCTSTR b) {
  return crt::_mbscmp(Bytes(a), Bytes(b)) == 0;
}

bool EqualsIgnoringCase(const CString& a, LPCTSTR b) {
  return crt::_mbsicmp(Bytes(a), Bytes(b)) == 0;
}

bool IsDotEntry(const CString& name) {
  return Equals(name, ".") || Equals(name, "..");
}

// The command names the setup program's log as its last argument, often in quotes or followed by
// a blank; those characters are no part of the file's name, so they are left out of the tail.
CString CommandTail(const CString& command) {
  int nLength = command.GetLength();
  while (nLength > 0 && (command[nLength - 1] == ' ' || command[nLength - 1] == '"')) --nLength;
  return command.Left(nLength).Right(kCommandTailLength);
}

// What the selective pass leaves for the uninstall program: the system files it runs with, the
// log file its command line names, and its own executables.
bool IsKeptEntry(const CString& name, const CString& command_tail) {
  if (Equals(name, kKeptName)) return true;
  if (EqualsIgnoringCase(name.Left(5), kCommandFilePrefix) &&
      EqualsIgnoringCase(command_tail, name.Right(kCommandTailLength))) {
    return true;
  }
  return EqualsIgnoringCase(name.Left(6), kExecutablePrefix) &&
         EqualsIgnoringCase(name.Right(4), kExecutableSuffix);
}

// Removes every node of the list, freeing the name it holds.
void FreeNames(CPtrList* names) {
  while (!names->IsEmpty()) delete static_cast<CString*>(names->RemoveHead());
}

struct NameListDeleter {
  void operator()(CPtrList* names) const {
    FreeNames(names);
    delete names;
  }
};

// A drive letter in either case gives its drive's number, A = 1; a path without a drive gives 0,
// which no drive switch accepts.
int DriveNumber(LPTSTR drive) {
  if (drive[0] == '\0') return 0;
  (void)CharUpperA(drive);
  return static_cast<unsigned char>(drive[0]) - 64;
}

}  // namespace

void CUninstallApp::SweepDirectory(const CString& path, const CString& command, int mode) {
  char szSavedDir[kSavedDirectorySize];
  if (crt::_getcwd(szSavedDir, kSavedDirectorySize) == nullptr) return;
  const int nSavedDrive = crt::_getdrive();

  char szDrive[crt::_MAX_DRIVE];
  char szDir[crt::_MAX_DIR];
  crt::_splitpath(path, szDrive, szDir, nullptr, nullptr);
  if (crt::_chdrive(DriveNumber(szDrive)) != 0) return;

  (void)SweepEntries(path, command, mode);

  // A start directory without a drive letter has no drive to switch back to. Making it current
  // again is still needed: otherwise the swept directory would stay current, and the uninstall
  // program would start in it and the directory could not be removed.
  if (nSavedDrive != 0 && crt::_chdrive(nSavedDrive) != 0) return;
  (void)crt::_chdir(szSavedDir);
}

int CUninstallApp::SweepEntries(const CString& path, const CString& command, int mode) {
  CString strEntryPath;
  std::unique_ptr<CPtrList, NameListDeleter> pNames(new CPtrList(kListBlockSize));
  const CString strRelativeDir = path.Right(path.GetLength() - kDriveCharacters) + kSeparator;
  (void)ListDirectory(kPattern, strRelativeDir, pNames.get());

  // The tail is the same for every entry; it is taken once.
  const CString strTail = CommandTail(command);
  POSITION pos = pNames->GetHeadPosition();
  while (pos != nullptr) {
    const POSITION posEntry = pos;
    CString* pName = static_cast<CString*>(pNames->GetNext(pos));
    strEntryPath = path + kSeparator + *pName;
    const bool bDelete =
        !IsDotEntry(*pName) && (mode == SWEEP_ALL || !IsKeptEntry(*pName, strTail));
    // A failed file deletion is the only test of whether the entry is a directory.
    if (bDelete && crt::remove(strEntryPath) != 0) {
      SweepDirectory(strEntryPath, command, mode);
      (void)crt::_rmdir(strEntryPath);
    }
    pNames->RemoveAt(posEntry);
    delete pName;
  }
  return 1;
}

int CUninstallApp::ListDirectory(LPCTSTR pattern, const CString& directory, CPtrList* names) {
  FreeNames(names);
  if (Equals(directory, "")) return 1;
  if (crt::_chdir(directory) != 0) return 0;

  WIN32_FIND_DATAA findData;
  const HANDLE hFind = FindFirstFileA(pattern, &findData);
  if (hFind == INVALID_HANDLE_VALUE) return 1;
  do {
    auto* pName = new CString(findData.cFileName);
    pName->MakeUpper();
    (void)names->AddTail(pName);
  } while (FindNextFileA(hFind, &findData));
  (void)FindClose(hFind);
  return 1;
}
