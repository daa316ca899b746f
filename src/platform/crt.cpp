// The C run-time's directory, file and comparison functions, over the Win32 calls of this layer.
// A failing call sets errno from the Win32 error through the run-time's one table.
#include "platform/crt.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/state.h"
#include "platform/windows.h"

namespace crt {
namespace {

thread_local int g_errno = 0;
thread_local unsigned long g_doserrno = 0;

// The run-time's mapping of Win32 errors onto errno; anything it does not name is EINVAL.
int ErrnoOf(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return kENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NOT_LOCKED:
      return kEACCES;
    case ERROR_DIR_NOT_EMPTY:
      return kENOTEMPTY;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return kEEXIST;
    case ERROR_INVALID_HANDLE:
      return kEBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
      return kENOMEM;
    default:
      return kEINVAL;
  }
}

int FailFromWin32(unsigned long error) {
  g_doserrno = error;
  g_errno = ErrnoOf(error);
  return -1;
}

std::string CurrentDirectoryText() {
  std::string text(GetCurrentDirectoryA(0, nullptr), '\0');
  text.resize(GetCurrentDirectoryA(static_cast<DWORD>(text.size()), text.data()));
  return text;
}

// Copies `part` into `out` cut to `size` bytes with the zero; a null `out` is not wanted.
void PutPart(std::string_view part, char* out, size_t size) {
  if (out == nullptr) return;
  const size_t length = std::min(part.size(), size - 1);
  if (length > 0) std::memcpy(out, part.data(), length);
  out[length] = '\0';
}

int Compare(const unsigned char* a, const unsigned char* b, unsigned char (*fold)(unsigned char)) {
  for (;; ++a, ++b) {
    const int difference = fold(*a) - fold(*b);
    if (difference != 0 || *a == '\0') return difference;
  }
}

// A null string compares as the run-time's error value (_NLSCMPERROR) with errno EINVAL.
int NoStrings() {
  g_errno = kEINVAL;
  return INT_MAX;
}

unsigned char Same(unsigned char c) {
  return c;
}
unsigned char LowerAsciiLetter(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

}  // namespace

int& _errno() {
  return g_errno;
}
unsigned long& _doserrno() {
  return g_doserrno;
}

char* _getcwd(char* buffer, int maxlen) {
  const std::string cwd = CurrentDirectoryText();
  const size_t needed = cwd.size() + 1;
  if (buffer == nullptr) {
    // The caller frees what the run-time allocates: at least maxlen bytes, more if needed.
    const size_t size = std::max(needed, maxlen > 0 ? static_cast<size_t>(maxlen) : 0);
    buffer = static_cast<char*>(std::malloc(size));
    if (buffer == nullptr) {
      g_errno = kENOMEM;
      return nullptr;
    }
  } else if (maxlen < 0 || needed > static_cast<size_t>(maxlen)) {
    g_errno = kERANGE;
    return nullptr;
  }
  std::memcpy(buffer, cwd.c_str(), needed);
  return buffer;
}

int _getdrive() {
  const std::string cwd = CurrentDirectoryText();
  if (cwd.size() < 2 || cwd[1] != ':') return 0;
  const char letter = cwd[0] >= 'a' && cwd[0] <= 'z' ? static_cast<char>(cwd[0] - 32) : cwd[0];
  return letter - 64;
}

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
  std::string_view rest = path != nullptr ? path : "";
  std::string_view drive_part, dir_part, ext_part;
  if (rest.size() >= 2 && rest[1] == ':') {
    drive_part = rest.substr(0, 2);
    rest.remove_prefix(2);
  }
  const size_t separator = rest.find_last_of("\\/");
  if (separator != std::string_view::npos) {
    dir_part = rest.substr(0, separator + 1);
    rest.remove_prefix(separator + 1);
  }
  const size_t dot = rest.rfind('.');
  if (dot != std::string_view::npos) {
    ext_part = rest.substr(dot);
    rest = rest.substr(0, dot);
  }
  PutPart(drive_part, drive, _MAX_DRIVE);
  PutPart(dir_part, dir, _MAX_DIR);
  PutPart(rest, fname, _MAX_FNAME);
  PutPart(ext_part, ext, _MAX_EXT);
}

int _chdrive(int drive) {
  // The run-time of this era accepts 27 to 31 as well; they name no drive and fail below.
  if (drive < 1 || drive > 31) {
    g_doserrno = ERROR_INVALID_DRIVE;
    g_errno = kEACCES;
    return -1;
  }
  const char drive_name[3] = {static_cast<char>(drive + 64), ':', '\0'};
  if (!SetCurrentDirectoryA(drive_name)) return FailFromWin32(GetLastError());
  return 0;
}

int _chdir(const char* dirname) {
  if (dirname == nullptr) return FailFromWin32(ERROR_INVALID_PARAMETER);
  if (!SetCurrentDirectoryA(dirname)) return FailFromWin32(GetLastError());
  // The run-time keeps each drive's last directory for a later "X:"; a UNC one has no drive.
  const tvx::MachinePath current = tvx::platform::CurrentDirectory();
  if (current.drive != 0) tvx::platform::SetCurrentDirectoryState(current, /*record=*/true);
  return 0;
}

int remove(const char* path) {
  if (!DeleteFileA(path)) return FailFromWin32(GetLastError());
  return 0;
}

int _rmdir(const char* dirname) {
  if (!RemoveDirectoryA(dirname)) return FailFromWin32(GetLastError());
  return 0;
}

int _mbscmp(const unsigned char* string1, const unsigned char* string2) {
  if (string1 == nullptr || string2 == nullptr) return NoStrings();
  return Compare(string1, string2, Same);
}

int _mbsicmp(const unsigned char* string1, const unsigned char* string2) {
  if (string1 == nullptr || string2 == nullptr) return NoStrings();
  return Compare(string1, string2, LowerAsciiLetter);
}

}  // namespace crt
