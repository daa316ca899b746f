// Windows paths to host entries, one name at a time from the drive's root, never following a
// link below it. A few directories stay open with their name indexes, so that the common case
// (a name in a directory just used) costs one check per directory on the way.
#pragma once

#include <sys/stat.h>

#include <array>
#include <string>
#include <vector>

#include "platform/host/directory.h"
#include "platform/host/drives.h"
#include "platform/machine.h"

namespace tvx::host {

/// The last entry of a path, as found in its directory.
struct Located {
  DirRef parent;
  std::string host_name;  // the name on the host
  struct stat st {};      // lstat of the entry
};

class Resolver {
 public:
  explicit Resolver(const Drives& drives) : drives_(drives) {}

  /// The directory at `path`. ERROR_PATH_NOT_FOUND when a name on the way or the last one is
  /// missing, a file or a link; ERROR_BAD_NETPATH for a UNC root other than "\\?\unix".
  Win32Error OpenDirectory(const MachinePath& path, DirRef* dir);
  /// The entry a non-root `path` names, in its directory. ERROR_FILE_NOT_FOUND when the last name
  /// is missing (`out->parent` is then set), errors of OpenDirectory for the directories.
  Win32Error Locate(const MachinePath& path, Located* out, bool need_stat = true);
  /// Finds `name` (code page 1252) in `dir`: exactly, then ignoring case. Returns 0 or an errno.
  /// Without `need_stat`, `st` may hold only the mode a fresh listing saw.
  int Lookup(HostDir& dir, const std::string& name, std::string* host_name, struct stat* st,
             bool need_stat = true);

  /// Forgets a directory this machine removed.
  void Forget(const struct stat& removed);

 private:
  Win32Error Walk(const MachinePath& path, DirRef* dir);
  Win32Error LocateOnce(const MachinePath& path, Located* out, bool need_stat);
  Win32Error OpenRoot(const MachinePath& path, DirRef* root);
  Win32Error ResolveRoot(const MachinePath& path, DirRef* root);
  bool RefreshRoot(const MachinePath& path);
  Win32Error Enter(const DirRef& dir, const std::string& name, DirRef* child);
  bool FindIndexed(HostDir& dir, const std::string& upper, std::string* host_name, struct stat* st);
  DirRef HeldParent(const MachinePath& parent) const;
  void Hold(const MachinePath& path, size_t depth, const DirRef& dir);
  DirRef Cached(const struct stat& st);
  DirRef Remember(UniqueFd fd);

  const Drives& drives_;
  std::vector<DirRef> cache_;  // least recently used first
  // Each drive's root as first resolved ('A'..'Z', then the host's "/"), held for the machine's
  // life: the drive map does not change during a run, and a miss below a root resolves it anew.
  std::array<DirRef, 27> roots_;
  // The directories on the path last walked from its root, outermost first, by upper-case name;
  // only the innermost few keep their descriptors.
  struct Held {
    std::string upper;
    DirRef dir;
  };
  MachinePath chain_root_;
  std::vector<Held> chain_;
};

}  // namespace tvx::host
