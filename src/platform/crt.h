// The C run-time subset this program uses, with the behaviour of the Windows C run-time of its
// era. The names live in namespace `crt` so that they can never replace the host C library's own
// `remove` and friends, which the rest of the process (and the host machine) still calls.
#pragma once

namespace crt {

// Buffer sizes of the run-time's path functions, terminating zero included.
constexpr int _MAX_PATH = 260;
constexpr int _MAX_DRIVE = 3;
constexpr int _MAX_DIR = 256;
constexpr int _MAX_FNAME = 256;
constexpr int _MAX_EXT = 256;

// The Windows run-time's errno values. Named with a k so they never meet the host's macros.
constexpr int kEPERM = 1;
constexpr int kENOENT = 2;
constexpr int kEBADF = 9;
constexpr int kENOMEM = 12;
constexpr int kEACCES = 13;
constexpr int kEEXIST = 17;
constexpr int kEINVAL = 22;
constexpr int kERANGE = 34;
constexpr int kENOTEMPTY = 41;

/// The run-time's errno of this thread, as the Windows run-time numbers it.
int& _errno();
/// The Win32 error behind the last failing run-time call (`_doserrno`).
unsigned long& _doserrno();

/// The current directory of the current drive into `buffer`; null (errno ERANGE) when it needs
/// more than `maxlen` bytes with its terminating zero, or when it cannot be read.
char* _getcwd(char* buffer, int maxlen);
/// The current drive, 1 for A to 26 for Z; 0 when the current directory has no drive letter.
int _getdrive();
/// Splits `path` into its drive, directory, base name and extension; any output may be null.
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
/// Makes drive `drive` (1 = A) current in its last current directory. Numbers outside 1 to 31:
/// -1 with errno EACCES and nothing changed. 0 on success, -1 on failure.
int _chdrive(int drive);
/// Makes `dirname` current and records it as the current directory of its drive. 0 or -1.
int _chdir(const char* dirname);
/// Deletes a file (DeleteFileA). 0, or -1 with errno from the Win32 error.
int remove(const char* path);
/// Removes an empty directory (RemoveDirectoryA). 0, or -1 with errno from the Win32 error.
int _rmdir(const char* dirname);
/// Byte-wise comparison: <0, 0 or >0.
int _mbscmp(const unsigned char* string1, const unsigned char* string2);
/// Comparison that folds only A to Z to a to z (the default locale of a single-byte code page).
int _mbsicmp(const unsigned char* string1, const unsigned char* string2);

}  // namespace crt
