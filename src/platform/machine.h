// The one seam between the Win32 layer and whatever plays the machine: the real host (a prefix on
// the host file system, real child processes, the terminal) or a fake one in tests.
//
// Everything Windows programs observe as rules (MAX_PATH, buffer truncation, "." and "..", the
// current drive and directory, the per-drive records, STILL_ACTIVE, handles, error codes of the
// run-time) is decided above this seam, once. The machine sees only absolute, normalised paths and
// answers with Win32 error codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/listing.h"

namespace tvx {

/// A Win32 error code: 0 (ERROR_SUCCESS) or one of the ERROR_* values of windows.h.
using Win32Error = uint32_t;

/// An absolute, normalised Windows path. Names are in code page 1252, never empty, never "." or
/// "..", never holding "\" or "/". Names keep the case the caller gave; the machine compares them
/// ignoring case.
struct MachinePath {
  /// 'A'..'Z' for a path on a drive; 0 for a UNC path.
  char drive = 0;
  /// UNC paths only: the root without a trailing backslash, such as "\\server\share" or
  /// "\\?\unix" (the host's own file system).
  std::string unc;
  std::vector<std::string> names;

  bool IsRoot() const { return names.empty(); }
  MachinePath Parent() const;  // the root's parent is the root
  MachinePath Child(const std::string& name) const;
  bool operator==(const MachinePath& other) const;  // ignores case like the machine does
};

/// "C:\", "C:\A\B", "\\server\share\A".
std::string ToString(const MachinePath& path);

/// What the machine knows of one directory entry.
struct EntryInfo {
  std::string name;  // code page 1252, as stored
  bool directory = false;
  bool readonly = false;
  bool link = false;  // a symbolic link: never followed; shown as a file with the reparse bit
  uint64_t size = 0;
  uint64_t write_time = 0;  // FILETIME units: 100 ns since 1601
};

/// A process the machine started; the platform maps handles onto these.
using ProcessId = uint64_t;

class Machine {
 public:
  virtual ~Machine() = default;

  // --- Start-up facts.

  /// True when drive `letter` ('A'..'Z') exists and its root is a directory.
  virtual bool HasDrive(char letter) = 0;
  /// The host's current directory at start as an absolute Windows path: on the drive whose root
  /// holds it (the deepest root wins), else "\\?\unix" followed by the host path.
  virtual std::string StartDirectory() = 0;
  /// The running executable as an absolute Windows path (same form as StartDirectory).
  virtual std::string ModuleFileName() = 0;
  /// True when the directory at `path` is, on the host, a drive's root or the host's "/".
  virtual bool IsHostRoot(const MachinePath& path) = 0;

  // --- Files. Links below a drive's root are never followed.

  /// Fills `info` for the entry at `path`. ERROR_FILE_NOT_FOUND when the last name is missing,
  /// ERROR_PATH_NOT_FOUND when a directory on the way is missing, is a file or is a link.
  virtual Win32Error Stat(const MachinePath& path, EntryInfo* info) = 0;
  /// A snapshot of the directory's entries, without "." and "..", in no promised order. Names the
  /// machine cannot show to a Windows program are left out. ERROR_PATH_NOT_FOUND when `dir` is
  /// missing or not a directory (a link to one included); ERROR_ACCESS_DENIED when unreadable.
  virtual Win32Error List(const MachinePath& dir, Listing* entries) = 0;
  /// The same as a vector of records, for callers that want each entry whole.
  Win32Error List(const MachinePath& dir, std::vector<EntryInfo>* entries);
  /// Deletes a file or a link (the link itself). ERROR_ACCESS_DENIED for a directory or a
  /// read-only file (also for root); ERROR_SHARING_VIOLATION for a file in use;
  /// ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND as for Stat.
  virtual Win32Error DeleteFile(const MachinePath& path) = 0;
  /// Removes an empty directory. ERROR_DIR_NOT_EMPTY when it holds anything (also entries the
  /// machine does not show); ERROR_DIRECTORY for a file or a link; ERROR_ACCESS_DENIED for a
  /// drive's root; ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND as for Stat.
  virtual Win32Error RemoveDirectory(const MachinePath& path) = 0;
  /// The whole content of a file. ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
  /// ERROR_ACCESS_DENIED (a directory or an unreadable file).
  virtual Win32Error ReadFile(const MachinePath& path, std::string* bytes) = 0;
  /// Replaces (or creates) a file atomically: a temporary file beside it, then a rename, so that a
  /// failure leaves the old content whole. ERROR_PATH_NOT_FOUND when the directory is missing,
  /// ERROR_ACCESS_DENIED when the name is a directory or cannot be written, ERROR_DISK_FULL.
  virtual Win32Error ReplaceFile(const MachinePath& path, const std::string& bytes) = 0;

  // --- Registry.

  /// The text of the machine's HKEY_LOCAL_MACHINE hive file; false when there is none or it
  /// cannot be read.
  virtual bool ReadRegistryText(std::string* text) = 0;

  // --- Processes.

  /// Starts `image` (a resolved, existing file) as a separate process with `command_line` as its
  /// whole command line, in `directory`, with this process's environment. ERROR_BAD_EXE_FORMAT
  /// when the file is no program this machine can run, ERROR_ACCESS_DENIED when not executable,
  /// ERROR_DIRECTORY when `directory` cannot be entered.
  virtual Win32Error StartProcess(const MachinePath& image, const std::string& command_line,
                                  const MachinePath& directory, ProcessId* process) = 0;
  /// Waits until the process ends or `milliseconds` pass; true when it has ended. Returns as soon
  /// as the process ends. Never ends or signals it.
  virtual bool WaitProcess(ProcessId process, uint32_t milliseconds) = 0;
  /// 259 (STILL_ACTIVE) while it runs, its exit value afterwards (a value other than 259 for one
  /// killed by a signal). False when the query fails.
  virtual bool ProcessExitCode(ProcessId process, uint32_t* code) = 0;
  /// Forgets the process; a running one goes on running and is reaped when it ends.
  virtual void CloseProcess(ProcessId process) = 0;

  // --- The user.

  /// Shows a message box of `type` (MB_* flags) and returns the button chosen (IDYES...), or 0
  /// when the box cannot be shown.
  virtual int AskQuestion(const std::string& caption, const std::string& text, uint32_t type) = 0;
  /// Plays the beep of `type`.
  virtual void Beep(uint32_t type) = 0;
};

inline Win32Error Machine::List(const MachinePath& dir, std::vector<EntryInfo>* entries) {
  Listing listing;
  if (const Win32Error error = List(dir, &listing)) return error;
  entries->clear();
  entries->reserve(listing.size());
  for (size_t i = 0; i < listing.size(); ++i) entries->push_back(listing.At(i));
  return 0;
}

/// The process-wide machine. On first use it is the host machine, set up from the environment.
Machine& CurrentMachine();

/// Counts machine changes, so that state kept above the seam (current directory, handles, the
/// loaded registry) can tell that it belongs to an earlier machine and start afresh.
uint64_t MachineGeneration();

/// Makes `machine` current for its lifetime, and the previous one current again afterwards. All
/// platform state (current drive and directory, per-drive records, handles, error mode, the loaded
/// registry) starts afresh each time the machine changes.
class ScopedMachine {
 public:
  explicit ScopedMachine(Machine& machine);
  ~ScopedMachine();
  ScopedMachine(const ScopedMachine&) = delete;
  ScopedMachine& operator=(const ScopedMachine&) = delete;

 private:
  Machine* previous_;
};

}  // namespace tvx
